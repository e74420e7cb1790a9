#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSData.h"
#include "Foundation/NSError.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSURL.h"
#include "VMGeometry.h"
#include "VMOverlay.h"

class VMImageDownloader;

// One tile of the quadtree tiling: column, row, zoom level and the screen's pixels per point.
struct VMTileOverlayPath {
    int64_t x = 0;
    int64_t y = 0;
    int64_t z = 0;
    double scale = 0;
};

// Square raster tiles named by a URL template with {x}, {y}, {z} and {scale}.
class VMTileOverlay : public NSObject, public VMOverlay {
  public:
    // Called once, on a download thread, with the tile's bytes or why there are none.
    using ResultBlock = std::function<void(std::optional<NSData> data, NSErrorOpt error)>;

    static std::shared_ptr<VMTileOverlay> create();
    static std::shared_ptr<VMTileOverlay> createWithURLTemplate(std::string URLTemplate);
    ~VMTileOverlay() override;

    CLLocationCoordinate2D coordinate() const override { return {0, 0}; }
    VMMapRect boundingMapRect() const override;
    void setBoundingMapRect(VMMapRect rect);
    bool canReplaceMapContent() const { return canReplaceMapContent_; }
    void setCanReplaceMapContent(bool replace) { canReplaceMapContent_ = replace; }
    int64_t minimumZ() const { return minimumZ_; }
    void setMinimumZ(int64_t z) { minimumZ_ = z; }
    int64_t maximumZ() const { return maximumZ_; }
    void setMaximumZ(int64_t z) { maximumZ_ = z; }
    const std::optional<std::string>& URLTemplate() const { return URLTemplate_; }
    CGSize tileSize() const { return tileSize_; }

    std::shared_ptr<NSURL> URLForTilePath(const VMTileOverlayPath& path) const;
    // May be called from any thread. A block made by a VMTileRequests counts the download as
    // that requester's; one whose requester has gone starts none.
    virtual void loadTileAtPath(const VMTileOverlayPath& path, ResultBlock result);
    // Ends every download in flight or waiting, whoever asked; the next load starts afresh.
    void cancelDownload();

  protected:
    VMTileOverlay() = default;

  private:
    std::optional<std::string> URLTemplate_;
    std::atomic<bool> canReplaceMapContent_{false};
    std::atomic<int64_t> minimumZ_{0};
    std::atomic<int64_t> maximumZ_{20};
    const CGSize tileSize_{256, 256};
    mutable std::mutex mutex_;  // guards boundingMapRect_ and imageDownloader_
    VMMapRect boundingMapRect_{{0, 0}, {4294967295.0, 4294967295.0}};
    std::shared_ptr<VMImageDownloader> imageDownloader_;
};

// The downloads one requester (a tile view) asked a tile overlay for. Several maps may show one
// overlay, whose one downloader serves them all: dropping this cancels what still waits or runs
// for this requester, and no one else's. Safe to use from any thread.
class VMTileRequests {
  public:
    VMTileRequests();
    ~VMTileRequests();
    VMTileRequests(const VMTileRequests&) = delete;
    VMTileRequests& operator=(const VMTileRequests&) = delete;

    // The block to hand the overlay's loadTileAtPath: it passes the result on, and marks the
    // overlay's download for it as this requester's. An overlay that makes its tiles itself
    // simply calls it.
    VMTileOverlay::ResultBlock track(VMTileOverlay::ResultBlock result) const;

  private:
    friend class VMTileOverlay;
    struct State;
    struct Tracked;

    const std::shared_ptr<State> state_;
};
