#pragma once

#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "NSObject.h"

// A bundle is a directory of resources. The main bundle is the directory of the resources the
// program ships: the environment's BRISFOLD_RESOURCES_DIR when set, else as the build that made
// the program names it (the BRISFOLD_RESOURCES_DIR definition: the build tree's copy of
// resources/ for this tree's programs, the installed kit's bundle for a program that finds the
// kit with find_package), else the program's own directory. Nested bundles are "Name.bundle"
// directories inside it.
class NSBundle : public NSObject {
  public:
    static std::shared_ptr<NSBundle> mainBundle();
    // Points the main bundle elsewhere (tests, a program that ships resources of its own).
    static void setMainBundlePath(const std::string& path);
    static std::shared_ptr<NSBundle> bundleWithPath(const std::string& path);

    const std::string& bundlePath() const { return path_; }
    const std::string& resourcePath() const { return path_; }
    // The path of "name.type" (or of name when type is empty) if the file exists.
    std::optional<std::string> pathForResource(const std::string& name,
                                               const std::string& type = {}) const;

    // The bundle's Info.plist (XML or binary) as a dictionary, read once; empty (and logged) when
    // the file is missing or damaged.
    const nlohmann::json& infoDictionary() const;
    // Null when absent.
    nlohmann::json objectForInfoDictionaryKey(const std::string& key) const;
    // "CFBundleIdentifier", or empty.
    std::string bundleIdentifier() const;

  private:
    explicit NSBundle(std::string path) : path_(std::move(path)) {}
    std::string path_;
    mutable std::once_flag infoOnce_;
    mutable nlohmann::json info_ = nlohmann::json::object();
};
