#include "VMTileOverlay.h"

#include <cstdio>
#include <vector>

#include "VMImageDownloader.h"

struct VMTileRequests::State {
    std::mutex mutex;  // guards the two below
    bool closed = false;
    std::vector<std::weak_ptr<VMImageDownloaderOperation>> operations;

    // One that comes after the requester has gone (its download was on the way in) is
    // cancelled at once.
    void add(const std::shared_ptr<VMImageDownloaderOperation>& operation) {
        {
            std::lock_guard guard(mutex);
            if (!closed) {
                std::erase_if(operations, [](const auto& held) {
                    const auto o = held.lock();
                    return !o || o->isFinished();
                });
                operations.push_back(operation);
                return;
            }
        }
        operation->cancel();
    }

    // Those waiting go first: a running one cancelled frees its place, which must not go to
    // another download of this requester.
    void close() {
        std::vector<std::shared_ptr<VMImageDownloaderOperation>> cancelling;
        {
            std::lock_guard guard(mutex);
            closed = true;
            for (const auto& held : operations)
                if (auto operation = held.lock()) cancelling.push_back(std::move(operation));
            operations.clear();
        }
        for (const auto& operation : cancelling)
            if (!operation->isExecuting()) operation->cancel();
        for (const auto& operation : cancelling)
            if (!operation->isCancelled()) operation->cancel();
    }
};

// The block's own type, so that the overlay can find its requester in it.
struct VMTileRequests::Tracked {
    std::weak_ptr<State> owner;
    VMTileOverlay::ResultBlock result;

    void operator()(std::optional<NSData> data, NSErrorOpt error) const {
        result(std::move(data), std::move(error));
    }
};

VMTileRequests::VMTileRequests() : state_(std::make_shared<State>()) {}

VMTileRequests::~VMTileRequests() { state_->close(); }

VMTileOverlay::ResultBlock VMTileRequests::track(VMTileOverlay::ResultBlock result) const {
    return Tracked{state_, std::move(result)};
}

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
    std::shared_ptr<VMTileRequests::State> requester;
    if (const auto* tracked = result.target<VMTileRequests::Tracked>()) {
        requester = tracked->owner.lock();
        if (!requester) return;
    }
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
    auto operation = downloader->downloadWithUrl(std::move(url), std::move(result));
    if (requester) requester->add(operation);
}

void VMTileOverlay::cancelDownload() {
    std::shared_ptr<VMImageDownloader> downloader;
    {
        std::lock_guard guard(mutex_);
        downloader.swap(imageDownloader_);
    }
    if (downloader) downloader->cancelDownload();
}
