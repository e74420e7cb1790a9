#include "NSBundle.h"

#include <filesystem>
#include <mutex>

namespace {
std::mutex gBundleMutex;
std::shared_ptr<NSBundle>& mainSlot() {
    static std::shared_ptr<NSBundle> bundle;
    return bundle;
}
}  // namespace

std::shared_ptr<NSBundle> NSBundle::mainBundle() {
    std::lock_guard lock(gBundleMutex);
    auto& slot = mainSlot();
    if (!slot) slot = std::shared_ptr<NSBundle>(new NSBundle(BRISFOLD_RESOURCES_DIR));
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
