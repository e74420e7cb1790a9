#include "NSFileManager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace fs = std::filesystem;

namespace {
constexpr const char* kExcludeFromBackup = "user.brisfold.exclude-from-backup";

bool lstatExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool fail(NSError* error, int cause, const std::string& path, bool writing) {
    NSSetError(error, NSFileErrorWithErrno(cause, path, writing));
    return false;
}

int errnoOf(const std::error_code& ec) {
    return ec.category() == std::generic_category() || ec.category() == std::system_category()
               ? ec.value()
               : EIO;
}
}  // namespace

NSDirectoryEnumerator::NSDirectoryEnumerator(fs::path root) : root_(std::move(root)) {}

std::optional<std::string> NSDirectoryEnumerator::nextObject() {
    std::error_code ec;
    if (!started_) {
        started_ = true;
        it_ = fs::recursive_directory_iterator(root_, fs::directory_options::skip_permission_denied,
                                               ec);
        if (ec) return std::nullopt;
    } else if (it_ != fs::recursive_directory_iterator()) {
        it_.increment(ec);
        if (ec) {
            it_ = fs::recursive_directory_iterator();
            return std::nullopt;
        }
    }
    if (it_ == fs::recursive_directory_iterator()) return std::nullopt;
    return it_->path().lexically_relative(root_).string();
}

void NSDirectoryEnumerator::skipDescendants() {
    if (started_ && it_ != fs::recursive_directory_iterator()) it_.disable_recursion_pending();
}

std::shared_ptr<NSFileManager> NSFileManager::defaultManager() {
    static const std::shared_ptr<NSFileManager> manager(new NSFileManager());
    return manager;
}

bool NSFileManager::fileExistsAtPath(const std::string& path, bool* isDirectory) const {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    if (isDirectory) *isDirectory = S_ISDIR(st.st_mode);
    return true;
}

bool NSFileManager::createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories,
                                          NSError* error) {
    if (!withIntermediateDirectories) {
        if (::mkdir(path.c_str(), 0755) != 0) return fail(error, errno, path, true);
        return true;
    }
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) return fail(error, errnoOf(ec), path, true);
    bool isDirectory = false;
    if (!fileExistsAtPath(path, &isDirectory) || !isDirectory)
        return fail(error, EEXIST, path, true);
    return true;
}

std::optional<std::vector<std::string>> NSFileManager::contentsOfDirectoryAtPath(
    const std::string& path, NSError* error) {
    std::error_code ec;
    fs::directory_iterator it(path, ec);
    if (ec) {
        fail(error, errnoOf(ec), path, false);
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        names.push_back(it->path().filename().string());
    }
    if (ec) {
        fail(error, errnoOf(ec), path, false);
        return std::nullopt;
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::unique_ptr<NSDirectoryEnumerator> NSFileManager::enumeratorAtPath(const std::string& path) {
    bool isDirectory = false;
    if (!fileExistsAtPath(path, &isDirectory) || !isDirectory) return nullptr;
    return std::make_unique<NSDirectoryEnumerator>(path);
}

bool NSFileManager::moveItemAtPath(const std::string& source, const std::string& destination,
                                   NSError* error) {
    if (!lstatExists(source)) return fail(error, ENOENT, source, false);
    if (lstatExists(destination)) return fail(error, EEXIST, destination, true);
    if (::rename(source.c_str(), destination.c_str()) == 0) return true;
    if (errno != EXDEV) return fail(error, errno, destination, true);
    return copyItemAtPath(source, destination, error) && removeItemAtPath(source, error);
}

bool NSFileManager::copyItemAtPath(const std::string& source, const std::string& destination,
                                   NSError* error) {
    if (!lstatExists(source)) return fail(error, ENOENT, source, false);
    if (lstatExists(destination)) return fail(error, EEXIST, destination, true);
    std::error_code ec;
    fs::copy(source, destination, fs::copy_options::recursive | fs::copy_options::copy_symlinks,
             ec);
    if (!ec) return true;
    std::error_code ignored;
    fs::remove_all(destination, ignored);
    return fail(error, errnoOf(ec), destination, true);
}

bool NSFileManager::removeItemAtPath(const std::string& path, NSError* error) {
    if (!lstatExists(path)) return fail(error, ENOENT, path, true);
    std::error_code ec;
    fs::remove_all(path, ec);
    if (ec) return fail(error, errnoOf(ec), path, true);
    return true;
}

std::optional<NSFileAttributes> NSFileManager::attributesOfItemAtPath(const std::string& path,
                                                                      NSError* error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        fail(error, errno, path, false);
        return std::nullopt;
    }
    NSFileAttributes attributes;
    attributes.size = static_cast<std::uint64_t>(st.st_size);
    attributes.modificationDate = NSDate(std::chrono::duration_cast<NSDate::duration>(
        std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
    attributes.type = S_ISREG(st.st_mode)   ? NSFileType::Regular
                      : S_ISDIR(st.st_mode) ? NSFileType::Directory
                      : S_ISLNK(st.st_mode) ? NSFileType::SymbolicLink
                                            : NSFileType::Other;
    attributes.posixPermissions = st.st_mode & 07777;
    return attributes;
}

std::optional<NSFileSystemAttributes> NSFileManager::attributesOfFileSystemForPath(
    const std::string& path, NSError* error) {
    struct statvfs vfs {};
    if (::statvfs(path.c_str(), &vfs) != 0) {
        fail(error, errno, path, false);
        return std::nullopt;
    }
    NSFileSystemAttributes attributes;
    attributes.systemSize = static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    attributes.systemFreeSize = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    return attributes;
}

bool NSFileManager::setModificationDate(NSDate date, const std::string& path, NSError* error) {
    const auto since = date.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds.count());
    times[1].tv_nsec = static_cast<long>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count());
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return fail(error, errno, path, true);
    return true;
}

bool NSFileManager::createSymbolicLinkAtPath(const std::string& path,
                                             const std::string& destination, NSError* error) {
    if (::symlink(destination.c_str(), path.c_str()) != 0) return fail(error, errno, path, true);
    return true;
}

std::optional<std::string> NSFileManager::destinationOfSymbolicLinkAtPath(const std::string& path,
                                                                          NSError* error) {
    std::error_code ec;
    fs::path target = fs::read_symlink(path, ec);
    if (ec) {
        fail(error, errnoOf(ec), path, false);
        return std::nullopt;
    }
    return target.string();
}

std::optional<NSData> NSFileManager::contentsAtPath(const std::string& path, NSError* error) const {
    return NSDataWithContentsOfFile(path, error);
}

bool NSFileManager::createFileAtPath(const std::string& path, const NSData& contents,
                                     NSError* error) {
    return NSDataWriteToFile(contents, path, true, error);
}

bool NSFileManager::setExcludedFromBackup(bool excluded, const std::string& path, NSError* error) {
    if (excluded) {
        if (::setxattr(path.c_str(), kExcludeFromBackup, "1", 1, 0) != 0)
            return fail(error, errno, path, true);
        return true;
    }
    if (::removexattr(path.c_str(), kExcludeFromBackup) != 0 && errno != ENODATA)
        return fail(error, errno, path, true);
    return true;
}

bool NSFileManager::isExcludedFromBackup(const std::string& path) const {
    char value[4] = {};
    const ssize_t n = ::getxattr(path.c_str(), kExcludeFromBackup, value, sizeof value);
    return n == 1 && value[0] == '1';
}
