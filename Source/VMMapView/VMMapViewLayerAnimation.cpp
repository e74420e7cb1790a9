// Layer animations that name a camera property: the map view's layer hands them over, and they
// run as the map kit's own camera animations in the frame loop instead of on the layer.
#include <algorithm>
#include <cmath>

#include "VMMapViewInternal.h"

namespace {

bool isPointKeyPath(const std::string& keyPath) {
    return keyPath == kVMAnimationKeyPathCenterMapPoint;
}

// A value of the wrong kind for its key path (a point for the zoom) has no meaning: nullopt.
std::optional<VMAnimationValue> valueFor(const std::string& keyPath, const CAValue& v) {
    if (isPointKeyPath(keyPath)) {
        if (v.kind != CAValue::Kind::Point) return std::nullopt;
        return VMMapPoint{v.v[0], v.v[1]};
    }
    if (v.kind != CAValue::Kind::Number) return std::nullopt;
    return v.number();
}

bool isFinite(const VMAnimationValue& v) {
    if (const auto* n = std::get_if<double>(&v)) return std::isfinite(*n);
    const auto& p = std::get<VMMapPoint>(v);
    return std::isfinite(p.x) && std::isfinite(p.y);
}

bool hasFiniteValues(const VMPropertyAnimation& a) {
    if (const auto* basic = dynamic_cast<const VMBasicAnimation*>(&a))
        return (!basic->fromValue || isFinite(*basic->fromValue)) &&
               (!basic->toValue || isFinite(*basic->toValue));
    if (const auto* frames = dynamic_cast<const VMKeyFrameAnimation*>(&a))
        return std::all_of(frames->values.begin(), frames->values.end(), isFinite);
    return true;
}

}  // namespace

bool VMMapView::mapLayerCanHandleAnimation(VMMapLayer&, const std::shared_ptr<CAAnimation>& a,
                                           const std::string& key) {
    return !canReceiveAnimation(a, key);
}

void VMMapView::mapLayerDidAddAnimation(VMMapLayer&, const std::shared_ptr<CAAnimation>& a,
                                        const std::string& key) {
    addAnimation(a, key);
}

bool VMMapView::mapLayerCanHandleAnimationForKey(VMMapLayer&, const std::string& key) {
    return !isValidForAnimationKey(key);
}

void VMMapView::mapLayerDidRemoveAnimationForKey(VMMapLayer&, const std::string& key) {
    removeAnimationForKeyPath(key);
}

bool VMMapView::canReceiveAnimation(const std::shared_ptr<CAAnimation>& animation,
                                    const std::string&) const {
    auto property = std::dynamic_pointer_cast<CAPropertyAnimation>(animation);
    return property && isValidForAnimationKey(property->keyPath());
}

bool VMMapView::isValidForAnimationKey(const std::string& key) {
    return key == kVMAnimationKeyPathZoomer || key == kVMAnimationKeyPathCenterMapPoint ||
           key == kVMAnimationKeyPathRotation || key == kVMAnimationKeyPathCamera;
}

void VMMapView::addAnimation(const std::shared_ptr<CAAnimation>& animation,
                             const std::string& key) {
    std::shared_ptr<VMPropertyAnimation> internal;
    if (auto basic = std::dynamic_pointer_cast<CABasicAnimation>(animation))
        internal = internalForBasicAnimation(basic, key);
    else if (auto frames = std::dynamic_pointer_cast<CAKeyframeAnimation>(animation))
        internal = internalForKeyframeAnimation(frames, key);
    if (!internal) return;
    willAddAnimation(animation);
    willAddInternalAnimation(internal);
    if (!hasFiniteValues(*internal)) {
        // Nowhere to go: the camera stays, and the animation ends at once.
        if (auto done = std::move(internal->completion)) done();
        return;
    }
    baseMapView_->addAnimation(internal);
}

void VMMapView::removeAnimationForKeyPath(const std::string& keyPath) {
    baseMapView_->removeAnimationKeyPath(keyPath);
}

void VMMapView::willAddAnimation(const std::shared_ptr<CAAnimation>& animation) {
    if (auto d = animation->delegate()) d->animationDidStart(animation);
}

void VMMapView::willAddInternalAnimation(const std::shared_ptr<VMPropertyAnimation>& animation) {
    notifyDelegateRegionWillChangeAnimated(true);
    std::optional<VMAnimationValue> from, to;
    if (auto basic = std::dynamic_pointer_cast<VMBasicAnimation>(animation)) {
        from = basic->fromValue;
        to = basic->toValue;
    } else if (auto keyframes = std::dynamic_pointer_cast<VMKeyFrameAnimation>(animation)) {
        if (!keyframes->values.empty()) {
            from = keyframes->values.front();
            to = keyframes->values.back();
        }
    }
    if (!to) return;
    const auto number = [](const std::optional<VMAnimationValue>& v) {
        const double* d = v ? std::get_if<double>(&*v) : nullptr;
        return d ? static_cast<float>(*d) : NAN;
    };
    const std::string& keyPath = animation->keyPath;
    const bool animated = animation->duration > 0;
    if (keyPath == kVMAnimationKeyPathZoomer) {
        updateScaleViewForZoomLevel(number(to), animated, animation->duration);
    } else if (keyPath == kVMAnimationKeyPathCenterMapPoint) {
        decreaseUserTrackingMode();
    } else if (keyPath == kVMAnimationKeyPathRotation) {
        updateCompassViewByDegree(number(from), false, 0);
        updateCompassViewByDegree(number(to), animated, animation->duration);
        decreaseUserTrackingModeWithFlag(1);
    }
}

VMMapView::Completion VMMapView::layerAnimationCompletion(
    const std::shared_ptr<CAAnimation>& animation) {
    std::weak_ptr<VMMapView> weak = sharedSelf<VMMapView>();
    return [weak, animation] {
        if (auto self = weak.lock()) self->notifyDelegateRegionDidChangeAnimated(true);
        if (auto d = animation->delegate()) d->animationDidStop(animation, true);
    };
}

std::shared_ptr<VMPropertyAnimation> VMMapView::internalForBasicAnimation(
    const std::shared_ptr<CABasicAnimation>& o, const std::string&) {
    if (!o || !o->toValue()) return nullptr;
    const std::string& keyPath = o->keyPath();
    const auto to = valueFor(keyPath, *o->toValue());
    if (!to) return nullptr;
    std::optional<VMAnimationValue> from;
    if (o->fromValue()) {
        from = valueFor(keyPath, *o->fromValue());
        if (!from) return nullptr;
    } else if (keyPath == kVMAnimationKeyPathZoomer) {
        from = zoomLevel();
    } else if (keyPath == kVMAnimationKeyPathCenterMapPoint) {
        from = mapPointForCoordinate(centerCoordinate());
    } else if (keyPath == kVMAnimationKeyPathRotation) {
        from = rotationDegree();
    } else if (keyPath == kVMAnimationKeyPathCamera) {
        from = cameraDegree();
    } else {
        return nullptr;
    }
    auto a = VMBasicAnimation::animationWithKeyPath(keyPath);
    a->duration = std::max(o->duration(), 0.0);
    a->timingFunction = internalForMediaTimingFunction(o->timingFunction());
    a->fromValue = from;
    a->toValue = to;
    a->completion = layerAnimationCompletion(o);
    return a;
}

std::shared_ptr<VMPropertyAnimation> VMMapView::internalForKeyframeAnimation(
    const std::shared_ptr<CAKeyframeAnimation>& o, const std::string&) {
    if (!o || o->values().size() <= 1) return nullptr;
    const std::string& keyPath = o->keyPath();
    const std::size_t n = o->values().size();
    auto a = VMKeyFrameAnimation::animationWithKeyPath(keyPath);
    for (const CAValue& v : o->values()) {
        const auto value = valueFor(keyPath, v);
        if (!value) return nullptr;
        a->values.push_back(*value);
    }
    a->duration = std::max(o->duration(), 0.0);
    a->timingFunction = internalForMediaTimingFunction(o->timingFunction());
    if (o->keyTimes().size() == n) {
        a->keyTimes = o->keyTimes();
    } else {
        const float step = 1.0f / static_cast<float>(n - 1);
        for (std::size_t i = 0; i + 1 < n; ++i)
            a->keyTimes.push_back(static_cast<double>(i) * step);
        a->keyTimes.push_back(1.0);
    }
    for (const auto& f : o->timingFunctions())
        a->timingFunctions.push_back(internalForMediaTimingFunction(f));
    a->completion = layerAnimationCompletion(o);
    return a;
}

std::shared_ptr<VMMediaTimingFunction> VMMapView::internalForMediaTimingFunction(
    const std::shared_ptr<CAMediaTimingFunction>& function) {
    int type = kTimingLinear;
    if (function) {
        const std::string& name = function->name();
        if (name == kCAMediaTimingFunctionEaseIn)
            type = kTimingEaseIn;
        else if (name == kCAMediaTimingFunctionEaseOut)
            type = kTimingEaseOut;
        else if (name == kCAMediaTimingFunctionEaseInEaseOut)
            type = kTimingEaseInEaseOut;
    }
    return VMMediaTimingFunction::functionWithType(type);
}
