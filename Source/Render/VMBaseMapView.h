#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "OverlaySystem/VMGeometry.h"
#include "QuartzCore/CADisplayLink.h"
#include "QuartzCore/CAEAGLLayer.h"
#include "UIKit/UIView.h"
#include "VMAnimation.h"
#include "VURI1Vovure.h"

class NSTimer;

// What the GL view tells the map view after a frame, and asks it while animating; every
// method is optional. A query answers nothing when the delegate does not offer it.
class VMBaseMapViewDelegate {
  public:
    virtual ~VMBaseMapViewDelegate() = default;
    virtual void animationRenderOver() {}
    virtual void mapDidChanged() {}
    virtual void mapDidReloaded() {}
    // Answers whether the delegate took the notice; one that does not leaves it pending.
    virtual bool mapCenterDidMove() { return false; }
    virtual std::optional<VMMapPoint> centerPointAtZoomLevelUsingScreenAnchor(double /*zoom*/) {
        return std::nullopt;
    }
    virtual std::optional<VMMapPoint> centerPointForMapPivotUsingScreenAnchor(VMMapPoint) {
        return std::nullopt;
    }
    virtual std::optional<VMMapPoint> centerPointAtRotationDegreeUsingScreenAnchor(double) {
        return std::nullopt;
    }
    virtual std::optional<VMMapPoint> centerPointAtCameraHeaderDegreeUsingScreenAnchor(double) {
        return std::nullopt;
    }
};

// The GL view inside the map view: owns the renderer, drives it from a display link on the
// run loop of the thread that starts it, drops to every 30th refresh when the map is idle,
// and advances the camera animations once per frame into the renderer's pending view record.
class VMBaseMapView : public UIView {
  public:
    static constexpr CFTimeInterval kListenFrequencyInterval = 5.0;
    static constexpr long kIdleFrameInterval = 30;

    // Null when no renderer (GL context and engine) can be made.
    static std::shared_ptr<VMBaseMapView> create(CGRect frame);
    ~VMBaseMapView() override;

    void startAnimation();
    void stopAnimation();
    long animationFrameInternal() const { return animationFrameInternal_; }
    void setAnimationFrameInternal(long interval);
    void resumeFrequency();
    void decreaseFrequency();
    void fireListenFrequencyTimer();

    // Rebuilds the engine on the next frame; the delegate hears mapDidReloaded after it.
    void reload();
    void layoutSubviews() override;

    void addAnimation(const std::shared_ptr<VMPropertyAnimation>& animation);
    void removeAnimationKeyPath(const std::string& keyPath);
    void removeAnimationKeyPaths(const std::vector<std::string>& keyPaths);
    // One frame now; nothing at all while the loop is stopped. Only a caller that needs the
    // pixels at once (a snapshot) draws this way; a change of the camera marks the view instead.
    void drawView();
    // The next display-link frame draws the map and then tells the delegate, so the camera
    // changes of one refresh cost one frame however many there are.
    void setNeedsDrawView() { needsDrawView_ = true; }
    bool needsDrawView() const { return needsDrawView_; }
    // Frames drawn since the view was made, for counting frames against refreshes.
    std::uint64_t framesDrawn() const { return framesDrawn_; }

    std::optional<VMAnimationValue> interpolationForAnimation(
        const std::shared_ptr<VMPropertyAnimation>& animation) const;
    void executeInterpolation(const std::optional<VMAnimationValue>& value,
                              const std::shared_ptr<VMPropertyAnimation>& animation);

    // Zoom clamped to 3..19; pitch capped at 65 in sky mode, else 40, a negative one ignored.
    void setZoomLevelWithProjection(MapViewState* projection, float zoomLevel) const;
    void setHeaderAngleWithProjection(MapViewState* projection, float angle) const;
    static double getHeaderAngleWithProjection(const MapViewState* projection);
    // Writes a computed centre, truncated to whole map points; a point that is not finite or
    // lies outside the integer range leaves the record as it was.
    static void setCenterWithProjection(MapViewState* projection, VMMapPoint center);

    bool isSkyeModelEnabled() const { return skyModelEnabled_; }
    void setSkyModelEnabled(bool enabled);
    bool isInSkyMode();
    CGPoint glPointForMapPoint(VMMapPoint point);

    const std::shared_ptr<VURI1Vovure>& render() const { return render_; }
    // The new renderer draws into this view's layer from the next frame; null is refused, the
    // view always has one.
    void setRender(std::shared_ptr<VURI1Vovure> render);
    std::shared_ptr<VMBaseMapViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<VMBaseMapViewDelegate> d) { delegate_ = std::move(d); }
    const std::shared_ptr<CADisplayLink>& displayLink() const { return displayLink_; }
    const std::shared_ptr<NSTimer>& listenFrequencyTimer() const { return listenFrequencyTimer_; }
    std::optional<CFTimeInterval> decreaseFrequencyMinDate() const { return decreaseMinDate_; }
    bool isAnimating() const { return animating_; }
    bool mapResizing() const { return mapResizing_; }
    bool mapEngineReloading() const { return mapEngineReloading_; }
    bool mapCenterMoved() const { return mapCenterMoved_; }
    const std::map<std::string, std::shared_ptr<VMPropertyAnimation>>& animationWrapper() const {
        return animationWrapper_;
    }
    // Key paths whose animation reached its end in the frame being drawn; empty between frames.
    std::vector<std::string> expirationKeys() const;

  protected:
    VMBaseMapView() = default;
    void initWithFrame(CGRect frame) override;
    std::shared_ptr<CALayer> makeLayer() const override { return CAEAGLLayer::layer(); }

  private:
    std::shared_ptr<CAEAGLLayer> eaglLayer() const;
    void displayLinkFired(CADisplayLink&) { drawView(); }
    void anchor(std::optional<VMMapPoint> center);

    bool animating_ = false;
    bool mapResizing_ = false;
    bool mapEngineReloading_ = false;
    bool skyModelEnabled_ = false;
    bool mapCenterMoved_ = false;
    bool needsDrawView_ = false;
    std::uint64_t framesDrawn_ = 0;
    std::shared_ptr<VURI1Vovure> render_;
    long animationFrameInternal_ = 1;
    std::weak_ptr<VMBaseMapViewDelegate> delegate_;
    std::shared_ptr<CADisplayLink> displayLink_;
    std::shared_ptr<NSTimer> listenFrequencyTimer_;
    std::optional<CFTimeInterval> decreaseMinDate_;
    std::map<std::string, std::shared_ptr<VMPropertyAnimation>> animationWrapper_;
    // With the animation that expired, so that one added in its place is not taken for it.
    std::vector<std::pair<std::string, std::shared_ptr<VMPropertyAnimation>>> expirationKeys_;
};
