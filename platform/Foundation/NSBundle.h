#pragma once

#include <memory>
#include <optional>
#include <string>

#include "NSObject.h"

// A bundle is a directory of resources. The main bundle is the app's resources/ directory;
// nested bundles are "Name.bundle" directories inside it.
class NSBundle : public NSObject {
public:
    static std::shared_ptr<NSBundle> mainBundle();
    // Points the main bundle elsewhere (tests, the --resources flag).
    static void setMainBundlePath(const std::string& path);
    static std::shared_ptr<NSBundle> bundleWithPath(const std::string& path);

    const std::string& bundlePath() const { return path_; }
    const std::string& resourcePath() const { return path_; }
    // The path of "name.type" (or of name when type is empty) if the file exists.
    std::optional<std::string> pathForResource(const std::string& name,
                                               const std::string& type = {}) const;

private:
    explicit NSBundle(std::string path) : path_(std::move(path)) {}
    std::string path_;
};
