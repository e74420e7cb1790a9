#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/NSBundle.h"
#include "Foundation/NSCache.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIImage.h"

// The map kit's one door to what it ships and where it keeps data: the resource bundle
// "VAva.bundle" with its images and engine data files, the embedded logo, the shipped offline
// catalogue and the engine's data directory under Documents.
class VMResources : public NSObject {
  public:
    static constexpr int kStyleTypeCount = 7;
    static constexpr int kTextureTypeCount = 44;
    static constexpr size_t kImageCacheLimit = 21;

    static std::shared_ptr<VMResources> sharedResources();

    // Null when the bundle is missing; every lookup in it then answers nothing.
    const std::shared_ptr<NSBundle>& bundle() const { return bundle_; }
    // Paths per type; an entry is empty when its file is missing.
    std::vector<std::string> styleDataPaths() const;
    std::vector<std::string> textureDataPaths() const;

    // "/images/<name>.png" of the bundle, cached (at most 21 images).
    std::shared_ptr<UIImage> imageNamed(const std::string& name);
    // The images imageNamed loaded, by "/images/<name>".
    const std::shared_ptr<NSCache<std::string, UIImage>>& imageCache() const { return imageCache_; }
    // An image compiled into the kit, in its 2x form on a screen of scale 2, decoded from its
    // Base64 text at each call.
    std::shared_ptr<UIImage> embeddedImageNamed(const std::string& name) const;
    std::shared_ptr<UIImage> logoImage() const { return embeddedImageNamed("zaroruda"); }
    // The embedded logo as Base64 text of a PNG file: 122 x 29 pixels, and 244 x 58 for 2x
    // screens.
    static std::string_view zaroruda();
    static std::string_view zaroruda2x();

    // The whole file of a type; nothing for a type out of range or a file that cannot be read.
    std::optional<std::vector<std::uint8_t>> vava3DDataForStyleType(int type) const;
    std::optional<std::vector<std::uint8_t>> vava3DDataForTextureType(int type) const;
    // Later requests for the type read another file; false for a type out of range.
    bool replaceDataPathForStyleType(int type, const std::string& path);
    bool replaceDataPathForTextureType(int type, const std::string& path);

    std::optional<std::string> offlinePackagePath() const;
    // Documents with "/" appended, and the engine's data directory under it.
    static std::string coreBasePath();
    static std::string coreCachePath();

    // The map kit's RSA public-key certificate (X.509, DER) as Base64 text, and its bytes: the
    // key that the kit's encrypted requests are sealed with.
    static std::string_view publicKey();
    static std::vector<std::uint8_t> publicKeyData();

  private:
    VMResources() = default;
    void setUpBundle();
    void setUpDefaultDataPaths();
    std::string dataPath(const std::string& name) const;

    std::shared_ptr<NSBundle> bundle_;
    mutable std::mutex mutex_;  // guards the tables
    std::vector<std::string> styleDataPaths_;
    std::vector<std::string> textureDataPaths_;
    const std::shared_ptr<NSCache<std::string, UIImage>> imageCache_ =
        NSCache<std::string, UIImage>::create();
};
