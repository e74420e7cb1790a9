#include "VMResources.h"

#include <filesystem>

#include "Foundation/Dispatch.h"
#include "Foundation/NSData.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSPathUtilities.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIScreen.h"
#include "VMBase64.h"

namespace {

// A 2048-bit key, valid for a hundred years; the private half is not part of the kit (the
// devserver holds it, to read the analytics records sealed with this one).
constexpr std::string_view kPublicKeyCertificate =
    "MIIDGTCCAgGgAwIBAgIUUwKhvUFH5k0pQcfNQn6z1OmhjuswDQYJKoZIhvcNAQELBQAwGzEZMBcG"
    "A1UEAwwQQnJpc2ZvbGQgbWFwIGtpdDAgFw0yNjEyMDYyMzU2MzRaGA8yMTI2MTExMjIzNTYzNFow"
    "GzEZMBcGA1UEAwwQQnJpc2ZvbGQgbWFwIGtpdDCCASIwDQYJKoZIhvcNAQEBBQADggEPADCCAQoC"
    "ggEBAL9VKhkUCjTqSNMN4C/9JoqvbFpIJaAJ3ssstNZxzONoJCnjtKzO2SAEWlw8sC5MneYZT3KC"
    "Yceh4hdBtptFgZ7m8v7OS2GR0dCTposwyu8Sr/ipZxQoVXgy5HR8msNUD3NhiAtW4YDZ5pOJzV/c"
    "wTjdDv/+lJohWq79XmkcsaxDMCfZF2J4CapXx17y2F9ZoG7YF1go6CmUYd+PkNdDeXc0r5YB9xEP"
    "IJI6BjUVOsbHEtpvvgS4V7Op+gWvNoxUXfMux3Tdl0iBbEkqOmkJCHDbdpKDrYTPRuImHmv1qJIQ"
    "dRss3cPc8xn2hAJEdFysVoLy/ZpuEAKGmQHKcZQ9JT0CAwEAAaNTMFEwHQYDVR0OBBYEFLW3G0Dy"
    "SDv608zx9/YchJryb0LwMB8GA1UdIwQYMBaAFLW3G0DySDv608zx9/YchJryb0LwMA8GA1UdEwEB"
    "/wQFMAMBAf8wDQYJKoZIhvcNAQELBQADggEBAA9TnRPEMmlSLPo8nG85higgLA5/u8uLo/X5Y6vF"
    "/VcL0vUc2WWr82JmmH6bqx6xs5I7BiIGnnmFwvbFAd1po5u+xZWwuhS3PVRT89rZ830M3JFbGVCX"
    "6y1OLTEHBo+d6dRdu2XB+X7UhakzEceFodNAW8A4n5x1bVEVkm7EhhsE+02mbC6tnn66S2Itq2G+"
    "7B7v1z5dI7YVLYjT4DQZ6cIK/w5xDaIODgrANPD4OfjT0yo4+/Q5LukPb6sh1uzS/xTOK+OQ5ZIZ"
    "Wfbf2w7Huy4isVQOt2dvTQWI1np0e+9UCcxTgELYYlLGy3fX/xWORQAJG7slnQMgJiirlV6wBNg=";

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
    return NSDataWithContentsOfFile(path);
}

}  // namespace

std::shared_ptr<VMResources> VMResources::sharedResources() {
    static std::once_flag once;
    static std::shared_ptr<VMResources> shared;
    std::call_once(once, [] {
        shared = std::shared_ptr<VMResources>(new VMResources());
        shared->setUpBundle();
        shared->setUpDefaultDataPaths();
        shared->imageCache_->setCountLimit(kImageCacheLimit);
    });
    return shared;
}

void VMResources::setUpBundle() {
    if (auto path = NSBundle::mainBundle()->pathForResource("VAva", "bundle");
        path && std::filesystem::is_directory(*path)) {
        bundle_ = NSBundle::bundleWithPath(*path);
        return;
    }
    // One line that tells a programmer where the kit looked and how to point it elsewhere: a
    // program built against an installed kit that was moved since still names the old place.
    NSLog(
        "[ZIRidUdo] %s No VAva.bundle in %s, so the map shows no pins: set "
        "BRISFOLD_RESOURCES_DIR to the directory that holds it (the installed kit's "
        "share/brisfold/resources) or call NSBundle::setMainBundlePath before making a map view.",
        kInvalidBundleMessage, NSBundle::mainBundle()->bundlePath().c_str());
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
    if (auto hit = imageCache_->objectForKey(key)) return hit;
    auto path = bundle_->pathForResource("images/" + name, "png");
    auto image = path ? UIImage::imageWithContentsOfFile(*path) : nullptr;
    // A name the bundle does not hold is not remembered: the bundle may gain it later.
    if (!image) return nullptr;
    imageCache_->setObjectForKey(image, key);
    return image;
}

std::shared_ptr<UIImage> VMResources::embeddedImageNamed(const std::string& name) const {
    static constexpr std::pair<std::string_view, std::string_view (*)()> kEmbedded[] = {
        {"zaroruda", &VMResources::zaroruda}, {"zaroruda2x", &VMResources::zaroruda2x}};
    const CGFloat scale = UIScreen::mainScreen()->scale();
    const std::string key = scale == 2.0 ? name + "2x" : name;
    for (const auto& [embedded, base64] : kEmbedded) {
        if (embedded != key) continue;
        const auto bytes = madataWithBase64EncodedString(base64());
        return bytes ? UIImage::imageWithData(*bytes, scale) : nullptr;
    }
    NSLog("Could not find an embedded image for %s", key.c_str());
    return nullptr;
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
