#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "Foundation/NSData.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSThread.h"
#include "OpenGLES/ES1.h"
#include "UIKit/UIImage.h"
#include "VMTileOverlay.h"

// What the view knows of one tile; touched on the render thread only. Empty while requested,
// then the picture (or the raw bytes that did not decode), then the texture made from it.
struct VMTileEntry {
    std::shared_ptr<UIImage> image;
    std::optional<NSData> rawData;
    std::optional<GLuint> textureID;
    bool arrived() const { return image || rawData; }
};

// A tile to load and the entry its result goes to.
struct VMTileLoadJob {
    std::weak_ptr<VMTileEntry> renderDic;
    VMTileOverlayPath tilePath;
};

// The jobs between the render thread, which appends, and the loader, which takes them first
// in, first out and sleeps while there are none.
class VMTileLoadQueue {
  public:
    void append(VMTileLoadJob job);
    // The oldest job, waiting for one; nothing once stopped.
    std::optional<VMTileLoadJob> take();
    void stop();
    std::size_t count() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<VMTileLoadJob> jobs_;
    bool stopped_ = false;
};

class VMTileOverlayView;

// Owns the "NetworkLoad" thread, which hands each queued tile to the model; results reach
// their entries on the main queue. Going away stops the thread, joins it and cancels the
// downloads it asked for, leaving those of other views of the same model alone.
class VMTileOverlayViewRender : public NSObject {
  public:
    static std::shared_ptr<VMTileOverlayViewRender> create(std::shared_ptr<VMTileLoadQueue> queue,
                                                           std::shared_ptr<VMTileOverlay> model);
    ~VMTileOverlayViewRender() override;

    // The view that owns the loader, cleared as it goes.
    std::shared_ptr<VMTileOverlayView> tileOverlayView() const { return tileOverlayView_.lock(); }
    void setTileOverlayView(std::weak_ptr<VMTileOverlayView> view) {
        tileOverlayView_ = std::move(view);
    }

  private:
    VMTileOverlayViewRender() = default;
    static void loadTileThread(const std::shared_ptr<VMTileLoadQueue>& queue,
                               const std::shared_ptr<VMTileOverlay>& model,
                               const VMTileRequests& requests);

    std::shared_ptr<VMTileLoadQueue> queue_;
    // Outlives the thread, which uses it.
    std::unique_ptr<VMTileRequests> requests_;
    std::shared_ptr<NSThread> thread_;
    std::weak_ptr<VMTileOverlayView> tileOverlayView_;
};
