#include "VMBaseMapView.h"

#include <cmath>
#include <limits>
#include <utility>

#include "Foundation/NSLog.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSTimer.h"
#include "UIKit/UIScreen.h"

namespace {

constexpr float kMinZoom = 3;
constexpr float kMaxZoom = 19;
constexpr float kSkyPitchLimit = 65;
constexpr float kPitchLimit = 40;

bool isPointKeyPath(const std::string& keyPath) {
    return keyPath == kVMAnimationKeyPathCenterMapPoint || keyPath == kVMAnimationKeyPathMapPivot;
}

bool fitsInt32(double v) {
    return std::isfinite(v) && v >= std::numeric_limits<int32_t>::min() &&
           v <= std::numeric_limits<int32_t>::max();
}

std::optional<VMAnimationValue> interpolate(const std::string& keyPath,
                                            const VMAnimationValue& from,
                                            const VMAnimationValue& to,
                                            const VMMediaTimingFunction& f, double t) {
    if (isPointKeyPath(keyPath)) {
        const auto* a = std::get_if<VMMapPoint>(&from);
        const auto* b = std::get_if<VMMapPoint>(&to);
        if (!a || !b) return std::nullopt;
        return VMMapPoint{f.interpolateBySlice(t, a->x, b->x), f.interpolateBySlice(t, a->y, b->y)};
    }
    if (keyPath == kVMAnimationKeyPathZoomer || keyPath == kVMAnimationKeyPathRotation ||
        keyPath == kVMAnimationKeyPathCamera) {
        const auto* a = std::get_if<double>(&from);
        const auto* b = std::get_if<double>(&to);
        if (!a || !b) return std::nullopt;
        // The engine keeps these in single precision.
        return f.interpolateBySlice(t, static_cast<float>(*a), static_cast<float>(*b));
    }
    return std::nullopt;
}

}  // namespace

std::shared_ptr<VMBaseMapView> VMBaseMapView::create(CGRect frame) {
    auto view = std::shared_ptr<VMBaseMapView>(new VMBaseMapView());
    finishCreate(view, frame);
    if (!view->render_) return nullptr;
    return view;
}

VMBaseMapView::~VMBaseMapView() {
    if (displayLink_) displayLink_->invalidate();
    if (listenFrequencyTimer_) listenFrequencyTimer_->invalidate();
}

void VMBaseMapView::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    setContentScaleFactor(UIScreen::mainScreen()->scale());
    setOpaque(true);
    eaglLayer()->setDrawableProperties(
        {.retainedBacking = false, .colorFormat = kEAGLColorFormatRGBA8});
    try {
        render_ = VURI1Vovure::create();
    } catch (const std::exception& e) {
        NSLog("%s exception:%s", "-[VMBaseMapView initWithFrame:]", e.what());
        render_ = nullptr;
    }
}

std::shared_ptr<CAEAGLLayer> VMBaseMapView::eaglLayer() const {
    return std::static_pointer_cast<CAEAGLLayer>(layer());
}

void VMBaseMapView::startAnimation() {
    verifyThread();
    if (animating_) return;
    displayLink_ = CADisplayLink::displayLinkWithTarget(sharedSelf<VMBaseMapView>(),
                                                        &VMBaseMapView::displayLinkFired);
    displayLink_->setFrameInterval(animationFrameInternal_);
    displayLink_->addToRunLoop(NSRunLoop::currentRunLoop());
    animating_ = true;
    std::weak_ptr<VMBaseMapView> weak = sharedSelf<VMBaseMapView>();
    listenFrequencyTimer_ =
        NSTimer::scheduledTimerWithTimeInterval(kListenFrequencyInterval, true, [weak](NSTimer&) {
            if (auto self = weak.lock()) self->fireListenFrequencyTimer();
        });
}

void VMBaseMapView::stopAnimation() {
    verifyThread();
    if (!animating_) return;
    displayLink_->invalidate();
    displayLink_.reset();
    animating_ = false;
    listenFrequencyTimer_->invalidate();
    listenFrequencyTimer_.reset();
}

void VMBaseMapView::setAnimationFrameInternal(long interval) {
    if (interval == animationFrameInternal_) return;
    animationFrameInternal_ = interval;
    if (!animating_) return;
    stopAnimation();
    startAnimation();
}

void VMBaseMapView::resumeFrequency() {
    decreaseMinDate_ = Clock::now() + kListenFrequencyInterval;
    if (animationFrameInternal_ != 1) setAnimationFrameInternal(1);
}

void VMBaseMapView::decreaseFrequency() {
    if (animationFrameInternal_ != kIdleFrameInterval)
        setAnimationFrameInternal(kIdleFrameInterval);
}

void VMBaseMapView::fireListenFrequencyTimer() {
    const bool datePassed = !decreaseMinDate_ || *decreaseMinDate_ <= Clock::now();
    if (datePassed && animationWrapper_.empty()) decreaseFrequency();
}

void VMBaseMapView::setRender(std::shared_ptr<VURI1Vovure> render) {
    if (!render || render == render_) return;
    render_ = std::move(render);
    render_->resizeFromLayer(eaglLayer());
}

std::vector<std::string> VMBaseMapView::expirationKeys() const {
    std::vector<std::string> keys;
    for (const auto& [keyPath, animation] : expirationKeys_) keys.push_back(keyPath);
    return keys;
}

void VMBaseMapView::reload() {
    render_->reconstructMapEngine();
    mapEngineReloading_ = true;
}

void VMBaseMapView::layoutSubviews() {
    render_->resizeFromLayer(eaglLayer());
    mapResizing_ = true;
}

void VMBaseMapView::addAnimation(const std::shared_ptr<VMPropertyAnimation>& animation) {
    if (!animation) return;
    resumeFrequency();
    removeAnimationKeyPath(animation->keyPath);
    animationWrapper_[animation->keyPath] = animation;
}

void VMBaseMapView::removeAnimationKeyPath(const std::string& keyPath) {
    auto it = animationWrapper_.find(keyPath);
    if (it == animationWrapper_.end()) return;
    // Out of the dictionary before the completion runs, which may add a new animation.
    auto animation = std::move(it->second);
    animationWrapper_.erase(it);
    if (animation->completion) animation->completion();
}

void VMBaseMapView::removeAnimationKeyPaths(const std::vector<std::string>& keyPaths) {
    for (const auto& keyPath : keyPaths) removeAnimationKeyPath(keyPath);
}

void VMBaseMapView::drawView() {
    verifyThread();
    if (!animating_) return;
    // Kept alive across the frame: a delegate may let go of the map view inside a callback.
    auto keep = sharedSelf<VMBaseMapView>();
    const double step =
        displayLink_ ? displayLink_->duration() * static_cast<double>(displayLink_->frameInterval())
                     : CADisplayLink::kRefreshPeriod;
    // Copied: applying a value may call back into the map view, which may add animations.
    const auto animations = animationWrapper_;
    for (const auto& [keyPath, animation] : animations) {
        const auto value = interpolationForAnimation(animation);
        if (animation->elapse >= animation->duration)
            expirationKeys_.emplace_back(keyPath, animation);
        executeInterpolation(value, animation);
        animation->elapse += step;
        if (isPointKeyPath(keyPath)) mapCenterMoved_ = true;
    }
    // Taken before the frame: a change made while it draws needs a frame of its own.
    const bool marked = std::exchange(needsDrawView_, false);
    render_->render();
    ++framesDrawn_;
    auto d = delegate();
    if (d && (marked || !animationWrapper_.empty())) d->animationRenderOver();
    if (!expirationKeys_.empty()) {
        auto expired = std::move(expirationKeys_);
        expirationKeys_.clear();
        for (const auto& [keyPath, animation] : expired) {
            auto it = animationWrapper_.find(keyPath);
            // Only the animation that expired: one added in its place during the frame stays.
            if (it == animationWrapper_.end() || it->second != animation) continue;
            removeAnimationKeyPath(keyPath);
        }
    }
    if (mapCenterMoved_ && d) {
        mapCenterMoved_ = false;
        if (!d->mapCenterDidMove()) mapCenterMoved_ = true;
    }
    if (mapResizing_) {
        mapResizing_ = false;
        if (d) d->mapDidChanged();
    }
    if (mapEngineReloading_) {
        mapEngineReloading_ = false;
        if (d) d->mapDidReloaded();
    }
}

std::optional<VMAnimationValue> VMBaseMapView::interpolationForAnimation(
    const std::shared_ptr<VMPropertyAnimation>& animation) const {
    if (!animation || !render_->mapEngine()) return std::nullopt;
    double t = animation->elapse / animation->duration;
    if (std::isnan(t)) t = 1.0;
    if (auto basic = std::dynamic_pointer_cast<VMBasicAnimation>(animation)) {
        if (!basic->fromValue || !basic->toValue || !basic->timingFunction) return std::nullopt;
        return interpolate(basic->keyPath, *basic->fromValue, *basic->toValue,
                           *basic->timingFunction, t);
    }
    auto frames = std::dynamic_pointer_cast<VMKeyFrameAnimation>(animation);
    if (!frames || frames->keyTimes.empty() || frames->values.size() < frames->keyTimes.size())
        return std::nullopt;
    const auto& times = frames->keyTimes;
    size_t k = times.size() - 1;
    for (size_t i = 0; i < times.size(); ++i) {
        if (static_cast<float>(times[i]) >= t) {
            k = i;
            break;
        }
    }
    if (k == 0) return std::nullopt;
    const double local = (t - times[k - 1]) / (times[k] - times[k - 1]);
    const auto& function = k - 1 < frames->timingFunctions.size() ? frames->timingFunctions[k - 1]
                                                                  : frames->timingFunction;
    if (!function) return std::nullopt;
    return interpolate(frames->keyPath, frames->values[k - 1], frames->values[k], *function, local);
}

void VMBaseMapView::anchor(std::optional<VMMapPoint> center) {
    if (!center || mapCenterMoved_) return;
    setCenterWithProjection(render_->projection(), *center);
}

void VMBaseMapView::executeInterpolation(const std::optional<VMAnimationValue>& value,
                                         const std::shared_ptr<VMPropertyAnimation>& animation) {
    if (!value || !animation) return;
    MapViewState* projection = render_->projection();
    if (!projection) return;
    auto d = delegate();
    const std::string& keyPath = animation->keyPath;
    if (const auto* number = std::get_if<double>(&*value)) {
        const double v = *number;
        if (keyPath == kVMAnimationKeyPathZoomer) {
            setZoomLevelWithProjection(projection, static_cast<float>(v));
            if (d) anchor(d->centerPointAtZoomLevelUsingScreenAnchor(v));
        } else if (keyPath == kVMAnimationKeyPathRotation) {
            mapEngineSetRotation(projection, static_cast<float>(v));
            mapEngineUpdateView(projection);
            if (d) anchor(d->centerPointAtRotationDegreeUsingScreenAnchor(v));
        } else if (keyPath == kVMAnimationKeyPathCamera) {
            setHeaderAngleWithProjection(projection, static_cast<float>(v));
            if (d) anchor(d->centerPointAtCameraHeaderDegreeUsingScreenAnchor(v));
        }
        return;
    }
    const VMMapPoint point = std::get<VMMapPoint>(*value);
    if (keyPath == kVMAnimationKeyPathCenterMapPoint) {
        setCenterWithProjection(projection, point);
    } else if (keyPath == kVMAnimationKeyPathMapPivot) {
        std::optional<VMMapPoint> center =
            d ? d->centerPointForMapPivotUsingScreenAnchor(point) : std::nullopt;
        setCenterWithProjection(projection, center.value_or(point));
    }
}

void VMBaseMapView::setZoomLevelWithProjection(MapViewState* projection, float zoomLevel) const {
    if (!projection || std::isnan(zoomLevel)) return;
    mapEngineSetZoomLevel(projection, std::clamp(zoomLevel, kMinZoom, kMaxZoom));
    mapEngineUpdateView(projection);
}

void VMBaseMapView::setHeaderAngleWithProjection(MapViewState* projection, float angle) const {
    if (!projection || !(angle >= 0)) return;
    mapEngineSetCameraPitch(projection,
                            std::min(angle, skyModelEnabled_ ? kSkyPitchLimit : kPitchLimit));
    mapEngineUpdateView(projection);
}

double VMBaseMapView::getHeaderAngleWithProjection(const MapViewState* projection) {
    if (!projection) return -1.0;
    return mapEngineGetCameraPitch(projection);
}

void VMBaseMapView::setCenterWithProjection(MapViewState* projection, VMMapPoint center) {
    if (!projection || !fitsInt32(center.x) || !fitsInt32(center.y)) return;
    mapEngineSetCenter(projection, static_cast<int32_t>(center.x), static_cast<int32_t>(center.y));
    mapEngineUpdateView(projection);
}

void VMBaseMapView::setSkyModelEnabled(bool enabled) {
    skyModelEnabled_ = enabled;
    if (MapViewState* projection = render_->projection())
        setHeaderAngleWithProjection(projection, mapEngineGetCameraPitch(projection));
}

bool VMBaseMapView::isInSkyMode() {
    MapViewState* projection = render_->projection();
    return projection && mapEngineGetCameraPitch(projection) > 40.0f;
}

CGPoint VMBaseMapView::glPointForMapPoint(VMMapPoint point) {
    MapViewState* projection = render_->projection();
    if (!projection || !fitsInt32(point.x) || !fitsInt32(point.y)) return {0, 0};
    float x = 0;
    float y = 0;
    mapEngineMapToGL(projection, static_cast<int32_t>(point.x), static_cast<int32_t>(point.y), &x,
                     &y);
    return {x, y};
}
