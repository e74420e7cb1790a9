#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "NSData.h"
#include "NSDate.h"
#include "NSError.h"
#include "NSFileError.h"
#include "NSObject.h"

enum class NSFileType { Regular, Directory, SymbolicLink, Other };

struct NSFileAttributes {
    std::uint64_t size = 0;
    NSDate modificationDate;
    NSFileType type = NSFileType::Other;
    unsigned posixPermissions = 0;
};

struct NSFileSystemAttributes {
    std::uint64_t systemSize = 0;
    std::uint64_t systemFreeSize = 0;  // what an unprivileged process may still write
};

// Walks a directory tree, parents before their contents, giving paths relative to the root.
// Symbolic links are listed, not followed; unreadable directories are skipped.
class NSDirectoryEnumerator {
  public:
    explicit NSDirectoryEnumerator(std::filesystem::path root);
    std::optional<std::string> nextObject();
    // Does not descend into the directory nextObject() returned last.
    void skipDescendants();

  private:
    std::filesystem::path root_;
    std::filesystem::recursive_directory_iterator it_;
    bool started_ = false;
};

// Errors are NSCocoaErrorDomain file errors (NSFileError.h) with the POSIX cause in userInfo.
class NSFileManager : public NSObject {
  public:
    static std::shared_ptr<NSFileManager> defaultManager();

    // Follows symbolic links, as the platform does.
    bool fileExistsAtPath(const std::string& path, bool* isDirectory = nullptr) const;
    // An existing directory is success with intermediates, NSFileWriteFileExistsError without.
    bool createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories,
                               NSError* error = nullptr);
    // Names (not paths), sorted.
    std::optional<std::vector<std::string>> contentsOfDirectoryAtPath(const std::string& path,
                                                                      NSError* error = nullptr);
    // nullptr when the path is not a readable directory.
    std::unique_ptr<NSDirectoryEnumerator> enumeratorAtPath(const std::string& path);

    // Move and copy refuse an existing destination (NSFileWriteFileExistsError) rather than
    // replace it. A move across file systems copies and then removes the source; a failed copy
    // removes what it had copied.
    bool moveItemAtPath(const std::string& source, const std::string& destination,
                        NSError* error = nullptr);
    bool copyItemAtPath(const std::string& source, const std::string& destination,
                        NSError* error = nullptr);
    // Removes files, links and whole directory trees; a missing item is NSFileNoSuchFileError.
    bool removeItemAtPath(const std::string& path, NSError* error = nullptr);

    // Of the item itself (a link is not followed).
    std::optional<NSFileAttributes> attributesOfItemAtPath(const std::string& path,
                                                           NSError* error = nullptr);
    std::optional<NSFileSystemAttributes> attributesOfFileSystemForPath(const std::string& path,
                                                                        NSError* error = nullptr);
    bool setModificationDate(NSDate date, const std::string& path, NSError* error = nullptr);

    bool createSymbolicLinkAtPath(const std::string& path, const std::string& destination,
                                  NSError* error = nullptr);
    std::optional<std::string> destinationOfSymbolicLinkAtPath(const std::string& path,
                                                               NSError* error = nullptr);

    std::optional<NSData> contentsAtPath(const std::string& path, NSError* error = nullptr) const;
    // Creates or replaces the file atomically.
    bool createFileAtPath(const std::string& path, const NSData& contents,
                          NSError* error = nullptr);

    // The exclude-from-backup mark: the user xattr "user.brisfold.exclude-from-backup". Best
    // effort: file systems without user xattrs report the failure and nothing else changes.
    bool setExcludedFromBackup(bool excluded, const std::string& path, NSError* error = nullptr);
    bool isExcludedFromBackup(const std::string& path) const;

  private:
    NSFileManager() = default;
};
