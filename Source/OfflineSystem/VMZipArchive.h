#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Foundation/NSFileManager.h"
#include "Foundation/NSObject.h"

// Hears an archive's errors and decides about replacing files. Both methods are optional.
class VMZipArchiveDelegate {
  public:
    virtual ~VMZipArchiveDelegate() = default;
    virtual void ErrorMessage(const std::string& /*message*/) {}
    // nullopt: no answer, which lets the file be replaced.
    virtual std::optional<bool> OverWriteOperation(const std::string& /*path*/) {
        return std::nullopt;
    }
};

// Writes and reads zip archives. Entry times are whole seconds since local midnight of
// 1 January 1980, stored as they are in the entry's date-time field; our packages carry them so.
//
// Unpacking never writes outside the destination: entry names that are empty, absolute, not
// ASCII, hold a NUL or a ".." component are refused; folders below the destination are made and
// files opened without following symbolic links; an archive whose declared sizes add up to more
// than the free space is refused before its first byte, and no entry yields more bytes than it
// declares.
class VMZipArchive : public NSObject {
  public:
    using ProgressBlock = std::function<void(int percentage, int filesDone, int numFiles)>;
    // Free bytes in the file system of a folder; nullopt when unknown.
    using FreeSpaceQuery = std::function<std::optional<std::uint64_t>(const std::string& folder)>;

    static std::shared_ptr<VMZipArchive> create(
        std::shared_ptr<NSFileManager> fileManager = nullptr);
    ~VMZipArchive() override;

    bool CreateZipFile2(const std::string& path);
    bool CreateZipFile2(const std::string& path, const std::string& password);
    bool addFileToZip(const std::string& file, const std::string& newname);
    bool CloseZipFile2();

    bool UnzipOpenFile(const std::string& path);
    bool UnzipOpenFile(const std::string& path, const std::string& password);
    bool UnzipFileTo(const std::string& path, bool overWrite);
    bool UnzipCloseFile();
    std::vector<std::string> getZipFileContents();

    void OutputErrorMessage(const std::string& message);
    bool OverWrite(const std::string& path);

    std::shared_ptr<VMZipArchiveDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<VMZipArchiveDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    void setProgressBlock(ProgressBlock block) { progressBlock_ = std::move(block); }
    // The file system's own answer unless set (a test's small disk).
    void setFreeSpaceQuery(FreeSpaceQuery query) { freeSpaceQuery_ = std::move(query); }
    std::uint32_t numFiles() const { return numFiles_; }
    const std::vector<std::string>& unzippedFiles() const { return unzippedFiles_; }
    // Whether the last unpacking failed for want of room: refused by the free-space checks
    // before a byte was written, or a write the file system refused as full.
    bool ranOutOfSpace() const { return ranOutOfSpace_; }
    const std::string& password() const { return password_; }
    const std::shared_ptr<NSFileManager>& fileManager() const { return fileManager_; }

  private:
    explicit VMZipArchive(std::shared_ptr<NSFileManager> fileManager);
    enum class EntryResult { Done, Failed, StopWalk };
    EntryResult unzipCurrentEntry(int destination, const std::string& root, bool overWrite);
    std::optional<std::uint64_t> freeSpace(int folder, const std::string& path) const;
    std::uint64_t declaredSize();
    bool addEncryptedEntry(const std::string& newname, unsigned long dosDate,
                           const std::string& plain);

    void* zipFile_ = nullptr;
    void* unzFile_ = nullptr;
    std::uint32_t numFiles_ = 0;
    std::string password_;
    std::weak_ptr<VMZipArchiveDelegate> delegate_;
    std::vector<std::string> unzippedFiles_;
    std::shared_ptr<NSFileManager> fileManager_;
    ProgressBlock progressBlock_;
    FreeSpaceQuery freeSpaceQuery_;
    bool ranOutOfSpace_ = false;
};
