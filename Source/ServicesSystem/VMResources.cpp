#include "VMResources.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "Foundation/Dispatch.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSPathUtilities.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIScreen.h"
#include "VMBase64.h"
#include "VMEmbeddedImages.h"

namespace {

// A 2048-bit key, valid for a hundred years; the private half is not part of the kit.
constexpr std::string_view kPublicKeyCertificate =
    "MIIDGTCCAgGgAwIBAgIUKJu/IlitLGtM/zpiSjAzo6hRnecwDQYJKoZIhvcNAQELBQAwGzEZMBcG"
    "A1UEAwwQQnJpc2ZvbGQgbWFwIGtpdDAgFw0yNjEyMDYyMzAzMDhaGA8yMTI2MTExMjIzMDMwOFow"
    "GzEZMBcGA1UEAwwQQnJpc2ZvbGQgbWFwIGtpdDCCASIwDQYJKoZIhvcNAQEBBQADggEPADCCAQoC"
    "ggEBALndN1mQfJ9+WhZgaKeS9WGXTOaqhUNpRsIuUgftOIDv7DXIcLLDT5arxFRcsTkqYLj8cHFB"
    "3F3hV6C7zRUC/aoy2HXKno7u7+C39ngXxX/zpEMX8alEyVCQ77cPqO2cgrAC59xcKOqIQvQp2ak1"
    "EgxDjvfmb5XYe0fmr6YTroem97LjbflCAk0oMwAFjHKr4t3WajpigEShy3XJ82oIkgNgYM987AIy"
    "PbKF7f5ws2g743cglHp/AZTtlZL+nv/vWo6A6FUSHjkI9oHoPRNx6M46QfLunV+NWmuGw3rVmHQB"
    "nmtYzAbXgm9lp+yrrUkIdhYAVSV9DG+APWqyb4doLC0CAwEAAaNTMFEwHQYDVR0OBBYEFG0CprpG"
    "6eCEyQ7IVPUVze+Y58oCMB8GA1UdIwQYMBaAFG0CprpG6eCEyQ7IVPUVze+Y58oCMA8GA1UdEwEB"
    "/wQFMAMBAf8wDQYJKoZIhvcNAQELBQADggEBAJKp17PzuQhbPogX4y+uhpMHb7arnsL58H7pbX87"
    "DcMn9rLrIPkRiBpb9A78jAD1h2T7VpgLoze4vQjitSe7WW+CgyVw2kTmXT+2FJY5Cy5AFtJDgGKs"
    "3NdA7nWryZJ2DW05Gl3pAR1QCVWnBwC1oV/CBmMX/9+RNhu16pZuBtTRT1LMhS3OZEmnHlS73Xab"
    "x1WZMp94IFlAzhzM5D7C7ci4I0LUeFt48BazFtXirachJtfgfyyc0NJndmUGIDstrXxJnjzXzygz"
    "2iy36JTCkVYoiUI/aaXSURi1cO9sYzd8BijK4mBCyDhtd3WJIsEwIElUffgeI502qTHL4xqeQas=";

constexpr const char* kInvalidBundleMessage = "无效的资源bundle，请检查VAva.bundle是否正确导入。";

constexpr const char* kStyleFiles[VMResources::kStyleTypeCount] = {
    "style_1_6_1437557915", "style_1_6_1437557915", "style_3_6_1434940538", "style_4_6_1434940785",
    "style_5_6_1434940825", "style_6_6_1435142215", "style_6_6_1435142215"};

constexpr const char* kTextureFiles[VMResources::kTextureTypeCount] = {"icons_1_6_1437392382",
                                                                       "icons_2_6_1434795022",
                                                                       "icons_3_6_1435140626",
                                                                       "icons_4_6_1437480571",
                                                                       "bktile_1",
                                                                       "bktile_2",
                                                                       "roadarrow",
                                                                       "lineround",
                                                                       "dash",
                                                                       "dash_tq",
                                                                       "dash_cd",
                                                                       "tgl",
                                                                       "tgl_n",
                                                                       "tgl_l",
                                                                       "tyl",
                                                                       "tyl_n",
                                                                       "tyl_l",
                                                                       "trl",
                                                                       "trl_n",
                                                                       "trl_l",
                                                                       "tbl",
                                                                       "tbl_n",
                                                                       "tbl_l",
                                                                       "tnl",
                                                                       "tnl_n",
                                                                       "tnl_l",
                                                                       "1001_1",
                                                                       "1001_2",
                                                                       "1002_1",
                                                                       "1002_2",
                                                                       "1003_1",
                                                                       "1003_2",
                                                                       "1004_1",
                                                                       "1004_2",
                                                                       "1005_1",
                                                                       "1005_2",
                                                                       "1006_1",
                                                                       "1006_2",
                                                                       "1007_1",
                                                                       "1007_2",
                                                                       "1020_1",
                                                                       "1020_2",
                                                                       "3d_sky_1",
                                                                       "3d_sky_2"};

std::optional<std::vector<std::uint8_t>> readFile(const std::string& path) {
    if (path.empty()) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

}  // namespace

std::shared_ptr<VMResources> VMResources::sharedResources() {
    static std::once_flag once;
    static std::shared_ptr<VMResources> shared;
    std::call_once(once, [] {
        shared = std::shared_ptr<VMResources>(new VMResources());
        shared->setUpBundle();
        shared->setUpDefaultDataPaths();
    });
    return shared;
}

void VMResources::setUpBundle() {
    if (auto path = NSBundle::mainBundle()->pathForResource("VAva", "bundle");
        path && std::filesystem::is_directory(*path)) {
        bundle_ = NSBundle::bundleWithPath(*path);
        return;
    }
    NSLog("%s", (std::string("[ZIRidUdo] ") + kInvalidBundleMessage).c_str());
    DispatchQueue::main()->async(
        [] { UIAlertView::create(kInvalidBundleMessage, "", {}, "OK", {})->show(); });
}

std::string VMResources::dataPath(const std::string& name) const {
    if (!bundle_) return {};
    const std::string path = bundle_->bundlePath() + "/VAva3D.bundle/" + name + ".data";
    return std::filesystem::is_regular_file(path) ? path : std::string();
}

void VMResources::setUpDefaultDataPaths() {
    std::lock_guard lock(mutex_);
    for (const char* name : kStyleFiles) styleDataPaths_.push_back(dataPath(name));
    for (const char* name : kTextureFiles) textureDataPaths_.push_back(dataPath(name));
}

std::vector<std::string> VMResources::styleDataPaths() const {
    std::lock_guard lock(mutex_);
    return styleDataPaths_;
}

std::vector<std::string> VMResources::textureDataPaths() const {
    std::lock_guard lock(mutex_);
    return textureDataPaths_;
}

std::shared_ptr<UIImage> VMResources::imageNamed(const std::string& name) {
    if (name.empty() || !bundle_) return nullptr;
    const std::string key = "/images/" + name;
    {
        std::lock_guard lock(mutex_);
        if (auto hit = imageCache_.find(key); hit != imageCache_.end()) return hit->second;
    }
    auto path = bundle_->pathForResource("images/" + name, "png");
    auto image = path ? UIImage::imageWithContentsOfFile(*path) : nullptr;
    // A name the bundle does not hold is not remembered: the bundle may gain it later.
    if (!image) return nullptr;
    std::lock_guard lock(mutex_);
    if (imageCache_.emplace(key, image).second) {
        cacheOrder_.push_back(key);
        if (cacheOrder_.size() > kImageCacheLimit) {
            imageCache_.erase(cacheOrder_.front());
            cacheOrder_.pop_front();
        }
    }
    return image;
}

std::shared_ptr<UIImage> VMResources::embeddedImageNamed(const std::string& name) const {
    const CGFloat scale = UIScreen::mainScreen()->scale();
    const std::string key = scale == 2.0 ? name + "2x" : name;
    const auto bytes = VMEmbeddedImageData(key);
    if (bytes.empty()) {
        NSLog("Could not find an embedded image for %s", key.c_str());
        return nullptr;
    }
    return UIImage::imageWithData(bytes, scale);
}

std::optional<std::vector<std::uint8_t>> VMResources::vava3DDataForStyleType(int type) const {
    if (type < 0 || type >= kStyleTypeCount) return std::nullopt;
    return readFile(styleDataPaths()[static_cast<size_t>(type)]);
}

std::optional<std::vector<std::uint8_t>> VMResources::vava3DDataForTextureType(int type) const {
    if (type < 0 || type >= kTextureTypeCount) return std::nullopt;
    return readFile(textureDataPaths()[static_cast<size_t>(type)]);
}

bool VMResources::replaceDataPathForStyleType(int type, const std::string& path) {
    if (type < 0 || type >= kStyleTypeCount) return false;
    std::lock_guard lock(mutex_);
    styleDataPaths_[static_cast<size_t>(type)] = path;
    return true;
}

bool VMResources::replaceDataPathForTextureType(int type, const std::string& path) {
    if (type < 0 || type >= kTextureTypeCount) return false;
    std::lock_guard lock(mutex_);
    textureDataPaths_[static_cast<size_t>(type)] = path;
    return true;
}

std::optional<std::string> VMResources::offlinePackagePath() const {
    if (!bundle_) return std::nullopt;
    return bundle_->pathForResource("offline/offlinePackage", "plist");
}

std::string VMResources::coreBasePath() {
    const auto dirs = NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask);
    return (dirs.empty() ? std::string() : dirs.front()) + "/";
}

std::string VMResources::coreCachePath() { return coreBasePath() + "zaroruda/data"; }

std::string_view VMResources::publicKey() { return kPublicKeyCertificate; }

std::vector<std::uint8_t> VMResources::publicKeyData() {
    return madataWithBase64EncodedString(kPublicKeyCertificate)
        .value_or(std::vector<std::uint8_t>{});
}
