#include "ZIRidUdoDoNotBackup.h"

#include <sys/utsname.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "Foundation/NSLog.h"

namespace {

constexpr const char* kExcludedAttribute = "user.excluded-from-backup";

std::vector<long> versionNumbers(std::string_view version) {
    std::vector<long> numbers;
    std::size_t i = 0;
    while (i < version.size()) {
        long value = 0;
        bool digits = false;
        while (i < version.size() && version[i] >= '0' && version[i] <= '9') {
            value = value * 10 + (version[i] - '0');
            digits = true;
            ++i;
        }
        if (!digits) break;
        numbers.push_back(value);
        if (i >= version.size() || version[i] != '.') break;
        ++i;
    }
    return numbers;
}

// 1 when a > b, 0 when equal, -1 when lower; missing components count as 0.
int compareVersions(std::string_view a, std::string_view b) {
    const auto x = versionNumbers(a);
    const auto y = versionNumbers(b);
    for (std::size_t i = 0; i < std::max(x.size(), y.size()); ++i) {
        const long p = i < x.size() ? x[i] : 0;
        const long q = i < y.size() ? y[i] : 0;
        if (p != q) return p > q ? 1 : -1;
    }
    return 0;
}

}  // namespace

bool systemVersionGreaterThanOrEqualTo(std::string_view version) {
    utsname name{};
    if (uname(&name) != 0) return false;
    return compareVersions(name.release, version) >= 0;
}

bool forbidBackup(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return false;
    }
    if (!systemVersionGreaterThanOrEqualTo("5.1")) {
        return false;
    }
    if (setxattr(path.c_str(), kExcludedAttribute, "1", 1, 0) != 0) {
        NSLog("Error excluding %s from backup %s", path.filename().c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

bool createDirectoryAndForbidBackup(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error || !std::filesystem::is_directory(path)) {
        const std::string reason =
            error ? error.message() : std::make_error_code(std::errc::not_a_directory).message();
        NSLog("Error create directory %s with: %s", path.c_str(), reason.c_str());
        return false;
    }
    return forbidBackup(path);
}
