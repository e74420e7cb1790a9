// The map view's camera animations: the builders and the scroll, zoom, rotate and tilt entry
// points that either write the camera at once or hand an animation to the frame loop.
#include <algorithm>
#include <cmath>

#include "Foundation/Dispatch.h"
#include "QuartzCore/CATransaction.h"
#include "VMMapViewInternal.h"

namespace {

// The side of the map plane in map points.
constexpr double kMapPlaneSide = 268435456.0;

// The engine keeps its centre in 32 bits; a point off the plane would wrap or overflow there.
VMMapPoint clampToMapPlane(VMMapPoint p) {
    return {std::clamp(p.x, 0.0, kMapPlaneSide), std::clamp(p.y, 0.0, kMapPlaneSide)};
}

void run(const VMMapView::Completion& completion) {
    if (completion) completion();
}

}  // namespace

// ---- Builders ----

VMMapView::AnimationRef VMMapView::animationWithKeyPath(const char* keyPath, VMAnimationValue from,
                                                        VMAnimationValue to, double duration,
                                                        int timingType, Completion completion) {
    auto a = VMBasicAnimation::animationWithKeyPath(keyPath);
    a->fromValue = from;
    a->toValue = to;
    a->duration = duration;
    a->timingFunction = VMMediaTimingFunction::functionWithType(timingType);
    a->completion = std::move(completion);
    return a;
}

VMMapView::AnimationRef VMMapView::mapPivotAnimationWithDuration(double duration, VMMapPoint from,
                                                                 VMMapPoint to, int timingType,
                                                                 bool usingMapCenter,
                                                                 Completion completion) {
    auto a = animationWithKeyPath(kVMAnimationKeyPathMapPivot, from, to, duration, timingType,
                                  std::move(completion));
    a->userData = usingMapCenter;
    return a;
}

VMMapView::AnimationRef VMMapView::mapPivotAnimationWithDuration(double duration, VMMapPoint to,
                                                                 int timingType,
                                                                 bool usingMapCenter,
                                                                 Completion completion) {
    return mapPivotAnimationWithDuration(duration, mapPivot(), to, timingType, usingMapCenter,
                                         std::move(completion));
}

VMMapView::AnimationRef VMMapView::mapPointAnimationWithDuration(double duration, VMMapPoint from,
                                                                 VMMapPoint to, int timingType,
                                                                 bool usingMapCenter,
                                                                 Completion completion) {
    auto a = animationWithKeyPath(kVMAnimationKeyPathCenterMapPoint, from, to, duration, timingType,
                                  std::move(completion));
    a->userData = usingMapCenter;
    return a;
}

VMMapView::AnimationRef VMMapView::mapPointAnimationWithDuration(double duration, VMMapPoint to,
                                                                 int timingType,
                                                                 bool usingMapCenter,
                                                                 Completion completion) {
    return mapPointAnimationWithDuration(duration, currentCenter(), to, timingType, usingMapCenter,
                                         std::move(completion));
}

VMMapView::AnimationRef VMMapView::zoomAnimationWithDuration(double duration, double from,
                                                             double to, Completion completion) {
    return animationWithKeyPath(kVMAnimationKeyPathZoomer, from, to, duration, kTimingEaseInEaseOut,
                                std::move(completion));
}

VMMapView::AnimationRef VMMapView::zoomAnimationWithDuration(double duration, double to,
                                                             Completion completion) {
    return zoomAnimationWithDuration(duration, currentZoomLevel(), to, std::move(completion));
}

VMMapView::AnimationRef VMMapView::rotateAnimationWithDuration(double duration, double from,
                                                               double to, Completion completion) {
    if (std::abs(to - from) > 180) to = to > from ? to - 360 : to + 360;
    return animationWithKeyPath(kVMAnimationKeyPathRotation, from, to, duration, kTimingLinear,
                                std::move(completion));
}

VMMapView::AnimationRef VMMapView::rotateAnimationWithDuration(double duration, double to,
                                                               Completion completion) {
    return rotateAnimationWithDuration(duration, currentRotation(), to, std::move(completion));
}

VMMapView::AnimationRef VMMapView::rotateCameraAnimationWithDuration(double duration, double from,
                                                                     double to,
                                                                     Completion completion) {
    return animationWithKeyPath(kVMAnimationKeyPathCamera, from, to, duration, kTimingLinear,
                                std::move(completion));
}

VMMapView::AnimationRef VMMapView::rotateCameraAnimationWithDuration(double duration, double to,
                                                                     Completion completion) {
    return rotateCameraAnimationWithDuration(duration, currentCameraHeaderDegree(), to,
                                             std::move(completion));
}

// ---- Entry points ----
// A target that is not a number or is infinite leaves the camera as it is; the completion
// still runs, so that a region-will-change is always followed by its region-did-change.

void VMMapView::scrollToMapPivot(VMMapPoint pivot) {
    scrollToMapPivot(pivot, false, 0, kTimingLinear, false, nullptr);
}

void VMMapView::scrollToMapPivot(VMMapPoint pivot, bool animated, double duration, int timingType,
                                 bool usingMapCenter, Completion completion) {
    if (!finite(pivot)) return run(completion);
    pivot = clampToMapPlane(pivot);
    if (projectionState_ != 2) {
        std::weak_ptr<VMMapView> weak = sharedSelf<VMMapView>();
        operation_ = [=] {
            DispatchQueue::main()->async([=] {
                if (auto self = weak.lock())
                    self->scrollToMapPivot(pivot, animated, duration, timingType, usingMapCenter,
                                           completion);
            });
        };
        mapPivotAfterProjection_ = pivot;
        needsOperateAfterProjection_ = true;
        return;
    }
    std::weak_ptr<VMMapView> weak = sharedSelf<VMMapView>();
    Completion wrapper = [weak, pivot, completion] {
        if (auto self = weak.lock()) self->mapPivot_ = pivot;
        run(completion);
    };
    baseMapView_->removeAnimationKeyPath(kVMAnimationKeyPathCenterMapPoint);
    if (animated) {
        baseMapView_->addAnimation(
            mapPivotAnimationWithDuration(duration, pivot, timingType, usingMapCenter, wrapper));
        return;
    }
    baseMapView_->removeAnimationKeyPath(kVMAnimationKeyPathMapPivot);
    VMBaseMapView::setCenterWithProjection(
        projection(), clampToMapPlane(centerPointForKeepingMapPivot(pivot, screenAnchor_)));
    updateAnnotationsPosition();
    wrapper();
}

void VMMapView::scrollToCenterPoint(VMMapPoint center, bool animated, double duration,
                                    int timingType, bool usingMapCenter, Completion completion) {
    if (!finite(center)) return run(completion);
    center = clampToMapPlane(center);
    baseMapView_->removeAnimationKeyPath(kVMAnimationKeyPathMapPivot);
    if (animated) {
        baseMapView_->addAnimation(mapPointAnimationWithDuration(
            duration, center, timingType, usingMapCenter, std::move(completion)));
        return;
    }
    baseMapView_->removeAnimationKeyPath(kVMAnimationKeyPathCenterMapPoint);
    VMBaseMapView::setCenterWithProjection(projection(), center);
    updateAnnotationsPosition();
    run(completion);
}

void VMMapView::zoomToLevel(double level, bool animated, double duration, Completion completion) {
    if (!std::isfinite(level)) return run(completion);
    level = normalizeZoomLevel(level);
    if (animated) {
        baseMapView_->addAnimation(
            zoomAnimationWithDuration(duration, level, std::move(completion)));
        updateScaleViewForZoomLevel(level, true, duration);
        return;
    }
    baseMapView_->removeAnimationKeyPath(kVMAnimationKeyPathZoomer);
    const VMMapPoint c = centerPointForKeepingMapPivotAtZoomLevel(mapPivot(), screenAnchor_, level);
    CATransaction::begin();
    baseMapView_->setZoomLevelWithProjection(projection(), static_cast<float>(level));
    VMBaseMapView::setCenterWithProjection(projection(), clampToMapPlane(c));
    updateScaleViewForZoomLevel(level, false, 0);
    CATransaction::flush();
    CATransaction::commit();
    updateAnnotationsPosition();
    run(completion);
}

void VMMapView::rotateToDegree(double degree, bool animated, double duration,
                               Completion completion) {
    if (!std::isfinite(degree)) return run(completion);
    degree = normalizeDegree(degree);
    if (animated) {
        baseMapView_->addAnimation(
            rotateAnimationWithDuration(duration, degree, std::move(completion)));
        updateCompassViewByDegree(static_cast<float>(degree), true, duration);
        return;
    }
    baseMapView_->removeAnimationKeyPath(kVMAnimationKeyPathRotation);
    const VMMapPoint c =
        centerPointForKeepingMapPivotInRotationDegree(mapPivot(), screenAnchor_, degree);
    CATransaction::begin();
    if (MapViewState* p = projection()) {
        mapEngineSetRotation(p, static_cast<float>(degree));
        mapEngineUpdateView(p);
    }
    VMBaseMapView::setCenterWithProjection(projection(), clampToMapPlane(c));
    updateCompassViewByDegree(static_cast<float>(degree), false, 0);
    CATransaction::flush();
    CATransaction::commit();
    updateAnnotationsPosition();
    run(completion);
}

void VMMapView::rotateCameraHeaderToDegree(double degree, bool animated, double duration,
                                           Completion completion) {
    if (!std::isfinite(degree)) return run(completion);
    degree = normalizeCameraDegree(degree);
    if (animated) {
        baseMapView_->addAnimation(
            rotateCameraAnimationWithDuration(duration, degree, std::move(completion)));
        return;
    }
    baseMapView_->removeAnimationKeyPath(kVMAnimationKeyPathCamera);
    const VMMapPoint c =
        centerPointForMapPivotInCameraHeaderDegree(mapPivot(), screenAnchor_, degree);
    baseMapView_->setHeaderAngleWithProjection(projection(), static_cast<float>(degree));
    VMBaseMapView::setCenterWithProjection(projection(), clampToMapPlane(c));
    updateAnnotationsPosition();
    run(completion);
}
