#include "NSBundle.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "NSData.h"
#include "NSLog.h"
#include "NSPropertyListSerialization.h"

// Defined in a program by the build that makes it (the source tree's build, or the installed
// kit's CMake package): where the program's resources are.
extern "C" const char* BrisfoldResourcesDirectory() __attribute__((weak));

namespace {
std::mutex gBundleMutex;
std::shared_ptr<NSBundle>& mainSlot() {
    static std::shared_ptr<NSBundle> bundle;
    return bundle;
}

// The environment wins over the build: a program built against an installed kit that was moved
// afterwards still names the old place. A program whose build named no resources keeps them
// beside itself.
std::string defaultMainBundlePath() {
    if (const char* dir = std::getenv("BRISFOLD_RESOURCES_DIR"); dir && *dir) return dir;
    if (BrisfoldResourcesDirectory) return BrisfoldResourcesDirectory();
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path().string();
}
}  // namespace

std::shared_ptr<NSBundle> NSBundle::mainBundle() {
    std::lock_guard lock(gBundleMutex);
    auto& slot = mainSlot();
    if (!slot) slot = std::shared_ptr<NSBundle>(new NSBundle(defaultMainBundlePath()));
    return slot;
}

void NSBundle::setMainBundlePath(const std::string& path) {
    std::lock_guard lock(gBundleMutex);
    mainSlot() = std::shared_ptr<NSBundle>(new NSBundle(path));
}

std::shared_ptr<NSBundle> NSBundle::bundleWithPath(const std::string& path) {
    if (!std::filesystem::is_directory(path)) return nullptr;
    return std::shared_ptr<NSBundle>(new NSBundle(path));
}

std::optional<std::string> NSBundle::pathForResource(const std::string& name,
                                                     const std::string& type) const {
    std::string file = type.empty() ? name : name + "." + type;
    std::filesystem::path p = std::filesystem::path(path_) / file;
    std::error_code ec;
    if (std::filesystem::exists(p, ec)) return p.string();
    return std::nullopt;
}

const nlohmann::json& NSBundle::infoDictionary() const {
    std::call_once(infoOnce_, [this] {
        const std::string path = (std::filesystem::path(path_) / "Info.plist").string();
        NSError error;
        auto data = NSDataWithContentsOfFile(path, &error);
        if (!data) return;
        auto info = NSPropertyListSerialization::propertyListWithData(*data, nullptr, &error);
        if (info && info->is_object()) {
            info_ = std::move(*info);
            return;
        }
        NSLog("Bundle %s: Info.plist is not a readable dictionary: %s", path_.c_str(),
              error.userInfo.value("NSDebugDescription", "not a dictionary").c_str());
    });
    return info_;
}

nlohmann::json NSBundle::objectForInfoDictionaryKey(const std::string& key) const {
    const nlohmann::json& info = infoDictionary();
    auto it = info.find(key);
    return it == info.end() ? nlohmann::json() : *it;
}

std::string NSBundle::bundleIdentifier() const {
    const nlohmann::json id = objectForInfoDictionaryKey("CFBundleIdentifier");
    return id.is_string() ? id.get<std::string>() : std::string();
}
