#include "NSPathUtilities.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "NSLog.h"

namespace {
std::mutex gHomeMutex;
std::string& homeSlot() {
    static std::string home;
    return home;
}

std::string ensureDirectory(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec || !std::filesystem::is_directory(path, ec)) {
        NSLog("Cannot create directory %s: %s", path.c_str(), ec.message().c_str());
        return {};
    }
    return path.string();
}

std::string currentHome() {
    std::lock_guard lock(gHomeMutex);
    if (homeSlot().empty()) homeSlot() = NSDefaultHomeDirectory();
    return homeSlot();
}
}  // namespace

void NSSetHomeDirectory(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    std::lock_guard lock(gHomeMutex);
    homeSlot() = (ec ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

std::string NSDefaultHomeDirectory() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/') return (std::filesystem::path(xdg) / "brisfold").string();
    const char* home = std::getenv("HOME");
    const std::filesystem::path base = home && *home ? home : "/tmp";
    return (base / ".local" / "share" / "brisfold").string();
}

std::string NSHomeDirectory() { return ensureDirectory(currentHome()); }

std::string NSHomeSubdirectory(std::string_view relative) {
    return ensureDirectory(std::filesystem::path(currentHome()) / relative);
}

std::string NSTemporaryDirectory() {
    const std::string tmp = NSHomeSubdirectory("tmp");
    return tmp.empty() ? tmp : tmp + "/";
}

std::vector<std::string> NSSearchPathForDirectoriesInDomains(NSSearchPathDirectory directory,
                                                             NSSearchPathDomainMask domainMask,
                                                             bool /*expandTilde*/) {
    if (!(domainMask & NSUserDomainMask)) return {};
    std::string path;
    switch (directory) {
        case NSLibraryDirectory:
            path = NSHomeSubdirectory("Library");
            break;
        case NSDocumentDirectory:
            path = NSHomeSubdirectory("Documents");
            break;
        case NSCachesDirectory:
            path = NSHomeSubdirectory("Library/Caches");
            break;
    }
    if (path.empty()) return {};
    return {path};
}
