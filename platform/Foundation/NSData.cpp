#include "NSData.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <utility>

#include "NSFileError.h"

namespace {
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    // Closes now and reports whether the kernel accepted the close.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool writeAll(int fd, std::span<const std::uint8_t> data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string directoryOf(const std::string& path) {
    const std::string dir = std::filesystem::path(path).parent_path().string();
    return dir.empty() ? "." : dir;
}

void syncDirectoryOf(const std::string& path) {
    FileDescriptor fd(::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

std::mutex gWriteFaultMutex;
std::shared_ptr<const NSDataWriteFault> gWriteFault;

int injectedWriteError(const std::string& path) {
    std::shared_ptr<const NSDataWriteFault> fault;
    {
        std::lock_guard lock(gWriteFaultMutex);
        fault = gWriteFault;
    }
    return fault ? (*fault)(path) : 0;
}

// A temporary for path, locked until it has taken path's place so that no cleanup takes it.
// flock, not fcntl: its lock belongs to this descriptor, so a cleanup on another thread of this
// process is refused too, and closing some other descriptor of the file does not let it go.
// Unnamed where the file system allows, so that it is locked before anyone can see it; the
// caller names it once written. Otherwise named beside path at once: a cleanup that came
// between its creation and its lock has removed it, and another is made.
int lockedTemporary(const std::string& path, std::string& temp) {
    temp.clear();
    // Naming it takes /proc, which a chroot may lack.
    if (::access("/proc/self/fd", X_OK) == 0) {
        const int fd = ::open(directoryOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::flock(fd, LOCK_EX);
            return fd;
        }
    }
    constexpr int kAttempts = 8;
    int error = EAGAIN;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        temp = path + ".XXXXXX";
        FileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
        if (fd.get() < 0) return -1;
        struct stat status {};
        if (::flock(fd.get(), LOCK_EX) != 0 || ::fstat(fd.get(), &status) != 0) {
            error = errno;
            ::unlink(temp.c_str());
            continue;
        }
        if (status.st_nlink > 0) return fd.release();
    }
    errno = error;
    return -1;
}

// Gives an unnamed temporary a name beside path, in the form a named one has.
bool nameTemporary(int fd, const std::string& path, std::string& temp) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<size_t> letter(0, sizeof kLetters - 2);
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        temp = path + ".";
        for (int i = 0; i < 6; ++i) temp += kLetters[letter(random)];
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST) break;
    }
    temp.clear();
    return false;
}

// "<target>.XXXXXX" as mkostemp fills it in.
bool isTemporaryName(std::string_view name, std::string_view target) {
    constexpr size_t kSuffix = 6;
    if (name.size() != target.size() + 1 + kSuffix || !name.starts_with(target) ||
        name[target.size()] != '.')
        return false;
    return std::all_of(name.end() - kSuffix, name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

struct EvpMdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct EvpEncodeCtxFree {
    void operator()(EVP_ENCODE_CTX* ctx) const { EVP_ENCODE_CTX_free(ctx); }
};
}  // namespace

NSData NSDataFromString(std::string_view text) { return NSData(text.begin(), text.end()); }

std::string NSStringFromData(std::span<const std::uint8_t> data) {
    return std::string(data.begin(), data.end());
}

std::optional<NSData> NSDataWithContentsOfFile(const std::string& path, NSError* error) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        NSSetError(error, NSFileErrorWithErrno(errno, path, false));
        return std::nullopt;
    }
    NSData data;
    std::uint8_t buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            NSSetError(error, NSFileErrorWithErrno(errno, path, false));
            return std::nullopt;
        }
        if (n == 0) break;
        data.insert(data.end(), buffer, buffer + n);
    }
    return data;
}

bool NSDataWriteToFile(std::span<const std::uint8_t> data, const std::string& path, bool atomically,
                       NSError* error, unsigned permissions) {
    if (const int injected = injectedWriteError(path)) {
        NSSetError(error, NSFileErrorWithErrno(injected, path, true));
        errno = injected;
        return false;
    }
    const auto mode = static_cast<mode_t>(permissions & 0777);
    if (!atomically) {
        FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
        if (fd.get() < 0 || !writeAll(fd.get(), data) || !fd.close()) {
            NSSetError(error, NSFileErrorWithErrno(errno, path, true));
            return false;
        }
        return true;
    }
    std::string temp;
    FileDescriptor fd(lockedTemporary(path, temp));
    if (fd.get() < 0) {
        NSSetError(error, NSFileErrorWithErrno(errno, path, true));
        return false;
    }
    // Renamed before it is closed: the close lets the lock go.
    const bool written = ::fchmod(fd.get(), mode) == 0 && writeAll(fd.get(), data) &&
                         ::fsync(fd.get()) == 0 &&
                         (!temp.empty() || nameTemporary(fd.get(), path, temp));
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
        const int cause = errno;
        if (!temp.empty()) ::unlink(temp.c_str());
        NSSetError(error, NSFileErrorWithErrno(cause, path, true));
        return false;
    }
    syncDirectoryOf(path);
    return true;
}

void NSDataRemoveStaleTemporaries(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const std::string name = target.filename().string();
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(target.parent_path().empty() ? "." : target.parent_path(), ec),
         end;
         !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (isTemporaryName(it->path().filename().string(), name) &&
            it->symlink_status(typeError).type() == fs::file_type::regular)
            found.push_back(it->path());
    }
    for (const auto& file : found) {
        FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        // One that a write holds is still being written.
        if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
        // The one opened may have become the file itself since, its name gone.
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd.get(), &opened) != 0 || ::lstat(file.c_str(), &named) != 0 ||
            opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)
            continue;
        ::unlink(file.c_str());
    }
}

void NSDataSetWriteFault(NSDataWriteFault fault) {
    auto shared = fault ? std::make_shared<const NSDataWriteFault>(std::move(fault)) : nullptr;
    std::lock_guard lock(gWriteFaultMutex);
    gWriteFault = std::move(shared);
}

std::string md5Hex(std::span<const std::uint8_t> data) {
    std::unique_ptr<EVP_MD_CTX, EvpMdCtxFree> ctx(EVP_MD_CTX_new());
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), data.data(), data.size()) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1)
        return {};
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0xF];
    }
    return hex;
}

std::string md5Hex(std::string_view text) {
    return md5Hex(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string base64Encode(std::span<const std::uint8_t> data) {
    std::string out(4 * ((data.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data.data(),
                                  static_cast<int>(data.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string base64Encode(std::string_view text) {
    return base64Encode(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::optional<NSData> base64Decode(std::string_view text) {
    std::string compact;
    compact.reserve(text.size());
    for (const char c : text) {
        if (c == '\n' || c == '\r') continue;
        const bool valid = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '+' || c == '/' || c == '=';
        if (!valid) return std::nullopt;
        compact += c;
    }
    if (compact.size() % 4 != 0) return std::nullopt;
    const size_t firstPad = compact.find('=');
    if (firstPad != std::string::npos &&
        (compact.size() - firstPad > 2 ||
         compact.find_first_not_of('=', firstPad) != std::string::npos))
        return std::nullopt;
    std::unique_ptr<EVP_ENCODE_CTX, EvpEncodeCtxFree> ctx(EVP_ENCODE_CTX_new());
    if (!ctx) return std::nullopt;
    NSData out(compact.size() / 4 * 3 + 3);
    int produced = 0;
    int tail = 0;
    EVP_DecodeInit(ctx.get());
    if (EVP_DecodeUpdate(ctx.get(), out.data(), &produced,
                         reinterpret_cast<const unsigned char*>(compact.data()),
                         static_cast<int>(compact.size())) < 0 ||
        EVP_DecodeFinal(ctx.get(), out.data() + produced, &tail) != 1)
        return std::nullopt;
    out.resize(static_cast<size_t>(produced + tail));
    return out;
}
