#include "ZIRidUdoDoNotBackup.h"

#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <limits>
#include <string>
#include <vector>

#include "Foundation/NSLog.h"
#include "UIKit/UIDevice.h"

namespace {

constexpr std::string_view kExcludedAttribute = "user.excluded-from-backup";
constexpr std::string_view kLegacyAttribute = "user.no-backup";

// Components too large for a long count as the largest one rather than wrapping around.
std::vector<long> versionNumbers(std::string_view version) {
    std::vector<long> numbers;
    const char* p = version.data();
    const char* const end = version.data() + version.size();
    while (p != end) {
        long value = 0;
        const auto [next, error] = std::from_chars(p, end, value);
        if (next == p) break;
        numbers.push_back(error == std::errc::result_out_of_range ? std::numeric_limits<long>::max()
                                                                  : value);
        p = next;
        if (p == end || *p != '.') break;
        ++p;
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

std::string describe(std::error_code error) {
    if (error == std::errc::operation_not_supported) {
        return "(the file system keeps no user extended attributes)";
    }
    return error.message();
}

bool mark(const std::filesystem::path& path, std::string_view name, std::string_view value,
          ExtendedAttributeWriter write) {
    const std::error_code error = write(path, name, value);
    if (!error) return true;
    NSLog("Error excluding %s from backup %s", path.filename().c_str(), describe(error).c_str());
    return false;
}

}  // namespace

std::error_code setExtendedAttribute(const std::filesystem::path& path, std::string_view name,
                                     std::string_view value) {
    const std::string attribute(name);
    if (setxattr(path.c_str(), attribute.c_str(), value.data(), value.size(), 0) != 0) {
        return {errno, std::generic_category()};
    }
    return {};
}

bool systemVersionGreaterThanOrEqualTo(std::string_view version) {
    return compareVersions(UIDevice::currentDevice()->systemVersion(), version) >= 0;
}

bool forbidBackup(const std::filesystem::path& path, ExtendedAttributeWriter write) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return false;
    if (systemVersionGreaterThanOrEqualTo("5.1")) return mark(path, kExcludedAttribute, "1", write);
    if (systemVersionGreaterThanOrEqualTo("5.0.1")) {
        return mark(path, kLegacyAttribute, std::string_view("\x01", 1), write);
    }
    return false;
}

bool createDirectoryAndForbidBackup(const std::filesystem::path& path,
                                    ExtendedAttributeWriter write) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error || !std::filesystem::is_directory(path)) {
        const std::string reason =
            error ? error.message() : std::make_error_code(std::errc::not_a_directory).message();
        NSLog("Error create directory %s with: %s", path.c_str(), reason.c_str());
        return false;
    }
    return forbidBackup(path, write);
}
