#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "DataProvider/VMCallbackBridge.h"
#include "Foundation/NSError.h"
#include "Foundation/NSObject.h"
#include "OpenGLES/EAGLContext.h"
#include "QuartzCore/CAEAGLLayer.h"
#include "UIKit/UIBezierPath.h"
#include "UIKit/UIImage.h"
#include "vmap_core/MapEngine.h"

class VURI1Vovure;

// What the renderer tells the map view; every method is optional.
class VURI1VovureDelegate {
  public:
    virtual ~VURI1VovureDelegate() = default;
    virtual void renderState(VURI1Vovure&, int /*state*/) {}
    virtual void referenceDidChange() {}
    virtual void willStartLoading() {}
    virtual void didFinishLoadingWithDataSize(uint32_t /*bytes*/) {}
    virtual void didFailLoadingWithError(const NSError&) {}
};

// Owns the GL ES 1.1 context, the framebuffer made from the GL view's layer and the map
// engine, which exists from construction on. Renders one engine frame per call of render()
// and keeps the pending view record that the map view edits between frames.
class VURI1Vovure : public NSObject {
  public:
    // Null when no GL context can be made.
    static std::shared_ptr<VURI1Vovure> create();
    ~VURI1Vovure() override;

    // Drops the framebuffer; the next render() rebuilds it from the layer.
    bool resizeFromLayer(const std::shared_ptr<CAEAGLLayer>& layer);
    void render();

    // The pending view record, copied from the engine on first use; null without an engine.
    MapViewState* projection();
    void cleanProjection();
    // Destroys the engine now; the next render() makes a new one.
    void reconstructMapEngine();

    MapEngine* mapEngine() const { return mapEngine_; }
    const std::shared_ptr<EAGLContext>& context() const { return context_; }
    // The framebuffer belongs to the context it was made in: it goes with the old context and
    // the next render() builds one in the new. Null is refused.
    void setContext(std::shared_ptr<EAGLContext> context);
    // Read by the data provider's download threads, let go of on the main thread.
    std::shared_ptr<VURI1VovureDelegate> delegate() const {
        std::lock_guard lock(delegateMutex_);
        return delegate_.lock();
    }
    void setDelegate(std::weak_ptr<VURI1VovureDelegate> d) {
        std::lock_guard lock(delegateMutex_);
        delegate_ = std::move(d);
    }
    bool renderDisabled() const { return renderDisabled_; }
    void setRenderDisabled(bool disabled) { renderDisabled_ = disabled; }
    const std::shared_ptr<CAEAGLLayer>& eaglLayer() const { return eaglLayer_; }
    // Taken when the framebuffer is next built; resizeFromLayer() also drops the current one.
    void setEaglLayer(std::shared_ptr<CAEAGLLayer> layer) { eaglLayer_ = std::move(layer); }
    int backingWidth() const { return backingWidth_; }
    int backingHeight() const { return backingHeight_; }
    // Read by the engine's worker when it asks for data.
    std::shared_ptr<VMCallbackBridge> callbackBridge() const {
        std::lock_guard lock(callbackBridgeMutex_);
        return callbackBridge_;
    }
    void setCallbackBridge(std::shared_ptr<VMCallbackBridge> bridge) {
        std::lock_guard lock(callbackBridgeMutex_);
        callbackBridge_ = std::move(bridge);
    }

    // Read-back: while enabled, the next presented frame becomes snapshotImage() (device
    // pixels, upright, clipped by the path when one is set), then the request and the path are
    // dropped. A frame of no size gives a null image.
    bool snapshotEnabled() const { return snapshotEnabled_; }
    void setSnapshotEnabled(bool enabled) { snapshotEnabled_ = enabled; }
    const std::shared_ptr<UIBezierPath>& snapshotPath() const { return snapshotPath_; }
    void setSnapshotPath(std::shared_ptr<UIBezierPath> path) { snapshotPath_ = std::move(path); }
    const std::shared_ptr<UIImage>& snapshotImage() const { return snapshotImage_; }
    void setSnapshotImage(std::shared_ptr<UIImage> image) { snapshotImage_ = std::move(image); }

    // The engine's data directory with "/" appended, made with its subdirectories.
    static std::string getBasePath();

    // Engine callbacks, by slot.
    void createMap() {}
    void processMapEvent();
    void renderMap(int state);
    void initMap(int /*width*/, int /*height*/) {}
    void destroyMap() {}
    void mapDataRequired(MapDataType dataType, const char* names, int count);
    void labelsRequired(const uint16_t* codes, int count);
    // The glyph bitmap of one UTF-16 code, valid on the calling thread until its next glyph.
    static const uint8_t* getCharBitmap(uint16_t code);
    static void requireAsciiCharWidths(uint8_t* widths, int fontSize);
    void requireCharWidths(const uint16_t* characters, int count, int fontSize, uint8_t* results);
    void referenceChanged(const char* oldGrid, const char* newGrid);
    void networkActivityChange(int active);
    void downloadData(int failed, uint32_t urlHash, uint32_t dataSize, const NSError* error);

  private:
    VURI1Vovure() = default;
    void createMapEngine();
    void setUpCallback();
    void cleanupCallback();
    void createFramebufferFromLayer(const std::shared_ptr<CAEAGLLayer>& layer);
    void deleteFramebuffer();
    void presentFramebuffer();
    void takeSnapshot();
    bool makeCurrent();

    MapEngine* mapEngine_ = nullptr;
    MapViewState* projection_ = nullptr;
    GLuint defaultFrameBuffer_ = 0;
    GLuint colorRenderBuffer_ = 0;
    GLuint depthBuffer_ = 0;
    int backingWidth_ = 0;
    int backingHeight_ = 0;
    bool renderDisabled_ = false;
    bool snapshotEnabled_ = false;
    mutable std::mutex delegateMutex_;  // guards delegate_
    std::weak_ptr<VURI1VovureDelegate> delegate_;
    std::shared_ptr<EAGLContext> context_;
    std::shared_ptr<CAEAGLLayer> eaglLayer_;
    mutable std::mutex callbackBridgeMutex_;  // guards callbackBridge_
    // Made before the engine, whose worker may ask for data at once.
    std::shared_ptr<VMCallbackBridge> callbackBridge_;
    std::shared_ptr<UIImage> snapshotImage_;
    std::shared_ptr<UIBezierPath> snapshotPath_;
};
