#include "VMZipArchive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <unzip.h>
#include <zip.h>
#include <zlib.h>

#include <array>
#include <cerrno>
#include <ctime>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string_view>
#include <utility>

#include "Foundation/NSLog.h"
#include "NSFileManager+VMZipArchive.h"

namespace {

constexpr std::size_t kChunk = 256 * 1024;

class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~UniqueFd() { reset(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closing reports the last write errors of some file systems.
    bool close() { return fd_ < 0 || ::close(std::exchange(fd_, -1)) == 0; }

  private:
    void reset() {
        if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    }
    int fd_ = -1;
};

// Local midnight of 1 January 1980, the origin of entry times.
std::time_t date1980() {
    std::tm tm{};
    tm.tm_year = 80;
    tm.tm_mon = 0;
    tm.tm_mday = 1;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

struct EntryName {
    std::vector<std::string> components;
    std::string cleaned;  // backslashes made slashes
    bool directory = false;
};

// The entry's place below the destination, or nullopt for a name that would leave it or
// cannot be told apart from another.
std::optional<EntryName> parseEntryName(std::string_view raw) {
    if (raw.empty()) return std::nullopt;
    EntryName name;
    name.directory = raw.back() == '/' || raw.back() == '\\';
    name.cleaned.reserve(raw.size());
    for (const char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0 || byte >= 0x80) return std::nullopt;
        name.cleaned.push_back(c == '\\' ? '/' : c);
    }
    if (name.cleaned.front() == '/') return std::nullopt;
    std::string_view rest = name.cleaned;
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") return std::nullopt;
        name.components.emplace_back(part);
    }
    if (name.components.empty()) return std::nullopt;
    return name;
}

// Opens (making it when missing) the folder below `parent`, refusing a symbolic link.
UniqueFd openChildFolder(int parent, const std::string& name) {
    if (::mkdirat(parent, name.c_str(), 0755) != 0 && errno != EEXIST) return UniqueFd();
    return UniqueFd(
        ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// A file system with no room left, in blocks or for the user.
bool diskFull(int error) { return error == ENOSPC || error == EDQUOT; }

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string printable(std::string_view raw) {
    std::string out;
    for (const char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        out.push_back(byte >= 0x20 && byte < 0x7f ? c : '?');
    }
    return out;
}

// The traditional zip encryption, done here because the system's minizip is built without it.
class ZipCrypto {
  public:
    explicit ZipCrypto(std::string_view password) {
        for (const char c : password) update(static_cast<std::uint8_t>(c));
    }
    std::uint8_t decode(std::uint8_t c) {
        c ^= stream();
        update(c);
        return c;
    }
    std::uint8_t encode(std::uint8_t plain) {
        const std::uint8_t mask = stream();
        update(plain);
        return plain ^ mask;
    }

  private:
    std::uint8_t stream() const {
        const std::uint32_t t = (keys_[2] & 0xffff) | 2;
        return static_cast<std::uint8_t>(((t * (t ^ 1)) >> 8) & 0xff);
    }
    static std::uint32_t crcByte(std::uint32_t crc, std::uint8_t b) {
        return static_cast<std::uint32_t>(get_crc_table()[(crc ^ b) & 0xff]) ^ (crc >> 8);
    }
    void update(std::uint8_t c) {
        keys_[0] = crcByte(keys_[0], c);
        keys_[1] = (keys_[1] + (keys_[0] & 0xff)) * 134775813u + 1;
        keys_[2] = crcByte(keys_[2], static_cast<std::uint8_t>(keys_[1] >> 24));
    }
    std::uint32_t keys_[3] = {305419896u, 591751049u, 878082192u};
};

constexpr std::size_t kCryptHeader = 12;

std::optional<std::string> rawDeflate(const std::string& plain) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        return std::nullopt;
    }
    std::string out(deflateBound(&stream, static_cast<uLong>(plain.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    stream.avail_in = static_cast<uInt>(plain.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) return std::nullopt;
    return out;
}

// Reads the current entry's data: through minizip, or, for an encrypted entry, its raw bytes
// decrypted and inflated here, with the size and CRC checked here.
class EntryReader {
  public:
    EntryReader(unzFile file, const unz_file_info64& info, const std::string& password)
        : file_(file),
          info_(info),
          password_(password),
          encrypted_((info.flag & 1) != 0 && !password.empty()) {}
    ~EntryReader() {
        if (opened_) close();
    }

    bool open() {
        if (!encrypted_) return opened_ = unzOpenCurrentFile(file_) == UNZ_OK;
        int method = 0, level = 0;
        if (unzOpenCurrentFile2(file_, &method, &level, 1) != UNZ_OK) return false;
        opened_ = true;
        crypto_.emplace(password_);
        std::array<char, kCryptHeader> header{};
        if (unzReadCurrentFile(file_, header.data(), kCryptHeader) != kCryptHeader) return false;
        std::uint8_t last = 0;
        for (const char c : header) last = crypto_->decode(static_cast<std::uint8_t>(c));
        const std::uint8_t check = (info_.flag & 8) != 0
                                       ? static_cast<std::uint8_t>(info_.dosDate >> 8)
                                       : static_cast<std::uint8_t>(info_.crc >> 24);
        if (last != check) return false;
        if (method == Z_DEFLATED) {
            inflating_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK;
            return inflating_;
        }
        return method == 0;
    }

    // Bytes read, 0 at the end, negative on an error.
    int read(char* out, unsigned size) {
        if (!encrypted_) return unzReadCurrentFile(file_, out, size);
        if (!inflating_) {
            const int n = unzReadCurrentFile(file_, out, size);
            if (n > 0) decode(out, static_cast<std::size_t>(n));
            return account(out, n);
        }
        stream_.next_out = reinterpret_cast<Bytef*>(out);
        stream_.avail_out = size;
        while (stream_.avail_out == size && !ended_) {
            if (stream_.avail_in == 0) {
                const int n =
                    unzReadCurrentFile(file_, input_.data(), static_cast<unsigned>(input_.size()));
                if (n < 0) return n;
                decode(input_.data(), static_cast<std::size_t>(n));
                stream_.next_in = reinterpret_cast<Bytef*>(input_.data());
                stream_.avail_in = static_cast<uInt>(n);
            }
            const int result = inflate(&stream_, Z_NO_FLUSH);
            if (result == Z_STREAM_END) {
                ended_ = true;
            } else if (result != Z_OK) {
                return -1;
            }
        }
        return account(out, static_cast<int>(size - stream_.avail_out));
    }

    // False when the data did not match its CRC.
    bool close() {
        opened_ = false;
        const int closed = unzCloseCurrentFile(file_);
        if (inflating_) inflateEnd(&stream_);
        inflating_ = false;
        if (!encrypted_) return closed != UNZ_CRCERROR;
        return crc_ == info_.crc && total_ == info_.uncompressed_size;
    }

  private:
    void decode(char* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            data[i] = static_cast<char>(crypto_->decode(static_cast<std::uint8_t>(data[i])));
        }
    }
    int account(const char* data, int n) {
        if (n <= 0) return n;
        total_ += static_cast<ZPOS64_T>(n);
        // No more than the entry says it holds.
        if (total_ > info_.uncompressed_size) return -1;
        crc_ = crc32(crc_, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(n));
        return n;
    }

    unzFile file_;
    const unz_file_info64& info_;
    const std::string& password_;
    const bool encrypted_;
    bool opened_ = false;
    std::optional<ZipCrypto> crypto_;
    z_stream stream_{};
    bool inflating_ = false;
    bool ended_ = false;
    std::array<char, 64 * 1024> input_{};
    uLong crc_ = crc32(0L, Z_NULL, 0);
    ZPOS64_T total_ = 0;
};

}  // namespace

VMZipArchive::VMZipArchive(std::shared_ptr<NSFileManager> fileManager)
    : fileManager_(fileManager ? std::move(fileManager) : NSFileManager::defaultManager()) {}

std::shared_ptr<VMZipArchive> VMZipArchive::create(std::shared_ptr<NSFileManager> fileManager) {
    return std::shared_ptr<VMZipArchive>(new VMZipArchive(std::move(fileManager)));
}

VMZipArchive::~VMZipArchive() {
    CloseZipFile2();
    UnzipCloseFile();
}

bool VMZipArchive::CreateZipFile2(const std::string& path) {
    if (zipFile_) CloseZipFile2();
    zipFile_ = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    return zipFile_ != nullptr;
}

bool VMZipArchive::CreateZipFile2(const std::string& path, const std::string& password) {
    password_ = password;
    return CreateZipFile2(path);
}

bool VMZipArchive::addFileToZip(const std::string& file, const std::string& newname) {
    if (!zipFile_) return false;
    std::time_t stamp = std::time(nullptr);
    if (auto attributes = attributesOfItemAtPath(*fileManager_, file, true)) {
        stamp = std::chrono::system_clock::to_time_t(attributes->modificationDate) - date1980();
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    zip_fileinfo info{};
    info.dosDate = static_cast<uLong>(stamp);

    if (!password_.empty()) {
        std::ostringstream plain;
        plain << in.rdbuf();
        if (in.bad()) return false;
        return addEncryptedEntry(newname, info.dosDate, std::move(plain).str());
    }
    if (zipOpenNewFileInZip(zipFile_, newname.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                            Z_DEFLATED, Z_DEFAULT_COMPRESSION) != ZIP_OK) {
        return false;
    }
    std::vector<char> buffer(kChunk);
    bool ok = true;
    while (ok && (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) ||
                  in.gcount() > 0)) {
        ok = zipWriteInFileInZip(zipFile_, buffer.data(), static_cast<unsigned>(in.gcount())) ==
             ZIP_OK;
    }
    ok = ok && !in.bad();
    return zipCloseFileInZip(zipFile_) == ZIP_OK && ok;
}

bool VMZipArchive::addEncryptedEntry(const std::string& newname, unsigned long dosDate,
                                     const std::string& plain) {
    zip_fileinfo info{};
    info.dosDate = dosDate;
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(plain.data()),
                            static_cast<uInt>(plain.size()));
    const auto deflated = rawDeflate(plain);
    if (!deflated) return false;
    ZipCrypto crypto(password_);
    std::random_device random;
    std::string out;
    out.reserve(kCryptHeader + deflated->size());
    for (std::size_t i = 0; i + 1 < kCryptHeader; ++i) {
        out.push_back(static_cast<char>(crypto.encode(static_cast<std::uint8_t>(random()))));
    }
    out.push_back(static_cast<char>(crypto.encode(static_cast<std::uint8_t>(crc >> 24))));
    for (const char c : *deflated) {
        out.push_back(static_cast<char>(crypto.encode(static_cast<std::uint8_t>(c))));
    }
    // Written raw with the encrypted flag: the bytes are deflated and encrypted already.
    if (zipOpenNewFileInZip4(zipFile_, newname.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                             Z_DEFLATED, Z_DEFAULT_COMPRESSION, 1, -MAX_WBITS, 8,
                             Z_DEFAULT_STRATEGY, nullptr, 0, 0, 1) != ZIP_OK) {
        return false;
    }
    const bool written =
        zipWriteInFileInZip(zipFile_, out.data(), static_cast<unsigned>(out.size())) == ZIP_OK;
    return zipCloseFileInZipRaw(zipFile_, static_cast<uLong>(plain.size()), crc) == ZIP_OK &&
           written;
}

bool VMZipArchive::CloseZipFile2() {
    password_.clear();
    if (!zipFile_) return false;
    const bool closed = zipClose(zipFile_, nullptr) == ZIP_OK;
    zipFile_ = nullptr;
    return closed;
}

bool VMZipArchive::UnzipOpenFile(const std::string& path) {
    unzippedFiles_.clear();
    if (unzFile_) unzClose(unzFile_);
    numFiles_ = 0;
    unzFile_ = unzOpen(path.c_str());
    if (!unzFile_) return false;
    unz_global_info info{};
    if (unzGetGlobalInfo(unzFile_, &info) == UNZ_OK) {
        numFiles_ = static_cast<std::uint32_t>(info.number_entry);
    }
    return true;
}

bool VMZipArchive::UnzipOpenFile(const std::string& path, const std::string& password) {
    password_ = password;
    return UnzipOpenFile(path);
}

bool VMZipArchive::UnzipCloseFile() {
    password_.clear();
    if (!unzFile_) return true;
    const bool closed = unzClose(unzFile_) == UNZ_OK;
    unzFile_ = nullptr;
    return closed;
}

bool VMZipArchive::UnzipFileTo(const std::string& path, bool overWrite) {
    ranOutOfSpace_ = false;
    if (!unzFile_) return false;
    if (unzGoToFirstFile(unzFile_) != UNZ_OK) OutputErrorMessage("Failed");
    // Everything below is opened relative to this, so no entry can step outside it.
    UniqueFd destination(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!destination.valid()) {
        NSError error;
        fileManager_->createDirectoryAtPath(path, true, &error);
        destination = UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    if (!destination.valid()) {
        OutputErrorMessage("Failed to open output file for writing");
        return false;
    }
    // A bomb declares what it will become: refuse it before the disk fills, not partway.
    const auto free = freeSpace(destination.get(), path);
    if (free && declaredSize() > *free) {
        ranOutOfSpace_ = true;
        OutputErrorMessage("Not enough free space for the archive");
        return false;
    }
    bool success = true;
    int done = 0;
    for (;;) {
        const EntryResult result = unzipCurrentEntry(destination.get(), path, overWrite);
        if (result != EntryResult::Done) success = false;
        if (result == EntryResult::StopWalk) break;
        if (progressBlock_ && numFiles_ != 0) {
            ++done;
            progressBlock_(static_cast<int>(static_cast<std::uint64_t>(done) * 100 / numFiles_),
                           done, static_cast<int>(numFiles_));
        }
        if (unzGoToNextFile(unzFile_) != UNZ_OK) break;
    }
    return success;
}

VMZipArchive::EntryResult VMZipArchive::unzipCurrentEntry(int destination, const std::string& root,
                                                          bool overWrite) {
    unz_file_info64 info{};
    std::array<char, 65536> rawName{};
    if (unzGetCurrentFileInfo64(unzFile_, &info, rawName.data(), rawName.size() - 1, nullptr, 0,
                                nullptr, 0) != UNZ_OK) {
        OutputErrorMessage("Error occurs while getting file info");
        return EntryResult::StopWalk;
    }
    EntryReader entry(unzFile_, info, password_);
    if (!entry.open()) {
        OutputErrorMessage("Error occurs");
        return EntryResult::StopWalk;
    }
    const std::string_view raw(rawName.data(),
                               std::min<std::size_t>(info.size_filename, rawName.size() - 1));
    const auto name = parseEntryName(raw);
    if (!name) {
        OutputErrorMessage("Refused entry name that leaves the destination: " + printable(raw));
        return EntryResult::Failed;
    }
    const std::string target = root + "/" + name->cleaned;

    // Folders are opened one by one without following links.
    const std::size_t folders =
        name->directory ? name->components.size() : name->components.size() - 1;
    UniqueFd parent(::dup(destination));
    for (std::size_t i = 0; i < folders && parent.valid(); ++i) {
        parent = openChildFolder(parent.get(), name->components[i]);
    }
    if (!parent.valid()) {
        ranOutOfSpace_ = ranOutOfSpace_ || diskFull(errno);
        OutputErrorMessage("Failed to open output file for writing");
        return EntryResult::Failed;
    }
    if (name->directory) return entry.close() ? EntryResult::Done : EntryResult::Failed;

    const std::string& leaf = name->components.back();
    struct stat existing {};
    if (!overWrite && ::fstatat(parent.get(), leaf.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISDIR(existing.st_mode) && !OverWrite(target)) {
        return EntryResult::Done;
    }
    const auto free = freeSpace(parent.get(), target);
    if (free && info.uncompressed_size > *free) {
        ranOutOfSpace_ = true;
        OutputErrorMessage("Not enough free space for " + name->cleaned);
        return EntryResult::Failed;
    }
    UniqueFd out(::openat(parent.get(), leaf.c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!out.valid()) {
        ranOutOfSpace_ = ranOutOfSpace_ || diskFull(errno);
        OutputErrorMessage("Failed to open output file for writing");
        return EntryResult::Failed;
    }
    bool ok = true;
    std::vector<char> buffer(kChunk);
    for (;;) {
        const int read = entry.read(buffer.data(), static_cast<unsigned>(buffer.size()));
        if (read < 0) {
            OutputErrorMessage("Failed to read zip file");
            ok = false;
            break;
        }
        if (read == 0) break;
        if (!writeAll(out.get(), buffer.data(), static_cast<std::size_t>(read))) {
            ranOutOfSpace_ = ranOutOfSpace_ || diskFull(errno);
            OutputErrorMessage("Failed to write output file");
            ok = false;
            break;
        }
    }
    if (info.dosDate != 0) {
        const timespec times[2] = {{0, UTIME_OMIT},
                                   {date1980() + static_cast<std::time_t>(info.dosDate), 0}};
        if (::futimens(out.get(), times) != 0) NSLog("Failed to set attributes");
    }
    if (!out.close()) {
        ranOutOfSpace_ = ranOutOfSpace_ || diskFull(errno);
        ok = false;
    }
    unzippedFiles_.push_back(target);
    if (!entry.close()) {
        OutputErrorMessage("file was unzipped but failed crc check");
        ok = false;
    }
    return ok ? EntryResult::Done : EntryResult::Failed;
}

std::optional<std::uint64_t> VMZipArchive::freeSpace(int folder, const std::string& path) const {
    if (freeSpaceQuery_) return freeSpaceQuery_(path);
    struct statvfs space {};
    if (::fstatvfs(folder, &space) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
}

// The sum of the entries' declared sizes, saturating; leaves the archive at its first entry.
std::uint64_t VMZipArchive::declaredSize() {
    std::uint64_t total = 0;
    if (unzGoToFirstFile(unzFile_) != UNZ_OK) return total;
    do {
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(unzFile_, &info, nullptr, 0, nullptr, 0, nullptr, 0) !=
            UNZ_OK) {
            break;
        }
        const std::uint64_t size = info.uncompressed_size;
        total = size > UINT64_MAX - total ? UINT64_MAX : total + size;
    } while (unzGoToNextFile(unzFile_) == UNZ_OK);
    unzGoToFirstFile(unzFile_);
    return total;
}

std::vector<std::string> VMZipArchive::getZipFileContents() {
    std::vector<std::string> names;
    if (!unzFile_ || unzGoToFirstFile(unzFile_) != UNZ_OK) return names;
    do {
        if (unzOpenCurrentFile(unzFile_) != UNZ_OK) {
            OutputErrorMessage("Error occured");
            break;
        }
        unz_file_info64 info{};
        std::array<char, 65536> rawName{};
        const int got = unzGetCurrentFileInfo64(unzFile_, &info, rawName.data(), rawName.size() - 1,
                                                nullptr, 0, nullptr, 0);
        unzCloseCurrentFile(unzFile_);
        if (got != UNZ_OK) {
            OutputErrorMessage("Error occurs while getting file info");
            break;
        }
        const std::string_view raw(rawName.data(),
                                   std::min<std::size_t>(info.size_filename, rawName.size() - 1));
        if (auto name = parseEntryName(raw)) names.push_back(name->cleaned);
    } while (unzGoToNextFile(unzFile_) == UNZ_OK);
    return names;
}

void VMZipArchive::OutputErrorMessage(const std::string& message) {
    if (auto delegate = delegate_.lock()) delegate->ErrorMessage(message);
}

bool VMZipArchive::OverWrite(const std::string& path) {
    auto delegate = delegate_.lock();
    if (!delegate) return true;
    return delegate->OverWriteOperation(path).value_or(true);
}
