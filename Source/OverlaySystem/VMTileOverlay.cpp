#include "VMTileOverlay.h"

#include <cstdio>

#include "VMImageDownloader.h"

namespace {

void replaceAll(std::string& text, std::string_view key, const std::string& value) {
    for (size_t at = text.find(key); at != std::string::npos;
         at = text.find(key, at + value.size())) {
        text.replace(at, key.size(), value);
    }
}

}  // namespace

std::shared_ptr<VMTileOverlay> VMTileOverlay::create() {
    return std::shared_ptr<VMTileOverlay>(new VMTileOverlay());
}

std::shared_ptr<VMTileOverlay> VMTileOverlay::createWithURLTemplate(std::string URLTemplate) {
    auto overlay = create();
    overlay->URLTemplate_ = std::move(URLTemplate);
    return overlay;
}

VMTileOverlay::~VMTileOverlay() = default;

VMMapRect VMTileOverlay::boundingMapRect() const {
    std::lock_guard guard(mutex_);
    return boundingMapRect_;
}

void VMTileOverlay::setBoundingMapRect(VMMapRect rect) {
    std::lock_guard guard(mutex_);
    boundingMapRect_ = rect;
}

std::shared_ptr<NSURL> VMTileOverlay::URLForTilePath(const VMTileOverlayPath& path) const {
    if (!URLTemplate_) return nullptr;
    std::string url = *URLTemplate_;
    replaceAll(url, "{x}", std::to_string(path.x));
    replaceAll(url, "{y}", std::to_string(path.y));
    replaceAll(url, "{z}", std::to_string(path.z));
    char scale[64];
    std::snprintf(scale, sizeof scale, "%f", path.scale);
    replaceAll(url, "{scale}", scale);
    return NSURL::URLWithString(url);
}

void VMTileOverlay::loadTileAtPath(const VMTileOverlayPath& path, ResultBlock result) {
    auto url = URLForTilePath(path);
    if (!url) {
        result(std::nullopt, NSError::make("NSURLDomain", 0, "url is nil!"));
        return;
    }
    std::shared_ptr<VMImageDownloader> downloader;
    {
        std::lock_guard guard(mutex_);
        if (!imageDownloader_) imageDownloader_ = VMImageDownloader::create();
        downloader = imageDownloader_;
    }
    downloader->downloadWithUrl(std::move(url), std::move(result));
}

void VMTileOverlay::cancelDownload() {
    std::shared_ptr<VMImageDownloader> downloader;
    {
        std::lock_guard guard(mutex_);
        downloader.swap(imageDownloader_);
    }
    if (downloader) downloader->cancelDownload();
}
