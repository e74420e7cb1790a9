// The map view's gestures: what each recogniser's action does to the camera, the fling after a
// pan, and the rules that decide which recognisers may begin and run together.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "UIKit/UIControl.h"
#include "UIKit/UIScreen.h"
#include "VMMapViewInternal.h"

namespace {

constexpr double kTapZoomDuration = VMMapView::kDefaultCameraDuration;
constexpr double kFlingMinimumSpeed = 240;
constexpr double kFlingMaximumSpeed = 3400;
constexpr double kFlingShortest = 0.25;
constexpr double kFlingLongest = 0.7f;
constexpr double kFlingReach = 0.15f;

bool began(const UIGestureRecognizer& r) { return r.state() == UIGestureRecognizerStateBegan; }

bool over(const UIGestureRecognizer& r) {
    return r.state() == UIGestureRecognizerStateEnded ||
           r.state() == UIGestureRecognizerStateCancelled;
}

}  // namespace

// Tilted, the area that gets annotation views is the screen itself, so pins must come and go
// while the finger moves, not only when the region change ends.
void VMMapView::reuseViewsInSkyMode() {
    if (baseMapView_ && baseMapView_->isInSkyMode()) updateReusingPool();
}

CLLocationCoordinate2D VMMapView::coordinateUnder(const UIGestureRecognizer& r) {
    return coordinateForMapPoint(mapPointForPoint(r.locationInView(this)));
}

void VMMapView::zoomInGesture(UITapGestureRecognizer& r) {
    if (r.state() != UIGestureRecognizerStateEnded || currentZoomLevel() == maxZoomLevel()) return;
    if (showsUserLocation_ && userTrackingMode_ != 0) {
        // Zooming about the pivot keeps the tracked position where it is.
        notifyDelegateRegionWillChangeAnimated(true);
        zoomToLevel(nextZoomLevel(), true, kTapZoomDuration, regionDidChangeCompletion(true));
        return;
    }
    internalSetZoomLevel(nextZoomLevel(), r.locationInView(this), true);
}

void VMMapView::zoomOutGesture(UITapGestureRecognizer& r) {
    if (r.state() != UIGestureRecognizerStateEnded || currentZoomLevel() == minZoomLevel()) return;
    notifyDelegateRegionWillChangeAnimated(false);
    zoomToLevel(priorZoomLevel(), true, kTapZoomDuration, regionDidChangeCompletion(false));
}

void VMMapView::pinchGesture(UIPinchGestureRecognizer& r) {
    if (began(r)) {
        notifyDelegateRegionWillChangeAnimated(false);
        // From here the recogniser's scale is 2^zoom.
        r.setScale(std::exp2(currentZoomLevel()));
    } else if (r.state() == UIGestureRecognizerStateChanged) {
        zoomToLevel(std::log2(r.scale()));
        reuseViewsInSkyMode();
    } else if (over(r)) {
        notifyDelegateRegionDidChangeAnimated(false);
    }
}

void VMMapView::panGesture(UIPanGestureRecognizer& r) {
    if (began(r)) {
        decreaseUserTrackingMode();
        notifyDelegateRegionWillChangeAnimated(false);
        r.setTranslation(CGPointZero, this);
        return;
    }
    if (r.state() != UIGestureRecognizerStateChanged && !over(r)) return;
    // Only the travel since the last call is applied: the translation is reset each time.
    const CGPoint t = r.translationInView(this);
    const CGRect b = bounds();
    scrollToMapPivot(mapPointForPoint(
        {screenAnchor_.x * b.size.width - t.x, screenAnchor_.y * b.size.height - t.y}));
    r.setTranslation(CGPointZero, this);
    reuseViewsInSkyMode();
    if (over(r)) fling(r.velocityInView(this));
}

double VMMapView::animationDurationForVelocity(double speed) {
    const double f = speed >= kFlingMaximumSpeed
                         ? 1
                         : (std::min(std::max(speed, kFlingMinimumSpeed), kFlingMaximumSpeed) -
                            kFlingMinimumSpeed) /
                               (kFlingMaximumSpeed - kFlingMinimumSpeed);
    return kFlingShortest * (1 - f) + kFlingLongest * f;
}

CGPoint VMMapView::offsetRangeForVelocity(CGPoint v) {
    return {v.x * kFlingReach, v.y * kFlingReach};
}

void VMMapView::fling(CGPoint v) {
    const double speed = std::hypot(v.x, v.y);
    MapViewState* p = projection();
    if (!(speed >= kFlingMinimumSpeed) || !p) return notifyDelegateRegionDidChangeAnimated(false);
    const CGPoint o = offsetRangeForVelocity(v);
    const double theta = mapEngineGetRotation(p) * std::numbers::pi / 180;
    const CGPoint turned{o.x * std::cos(theta) - o.y * std::sin(theta),
                         o.y * std::cos(theta) + o.x * std::sin(theta)};
    const CGFloat scale = UIScreen::mainScreen()->scale();
    double perPixel = mapEngineMapLengthAtCenter(p, 1);
    if (std::isnan(perPixel)) perPixel = 0;
    const VMMapPoint c = currentCenter();
    const VMMapPoint target{std::trunc(c.x - turned.x * scale * perPixel),
                            std::trunc(c.y - turned.y * scale * perPixel)};
    scrollToMapPivot(target, true, animationDurationForVelocity(speed), kTimingEaseOut, true,
                     regionDidChangeCompletion(false));
}

void VMMapView::pullGesture(UIPanGestureRecognizer& r) {
    if (began(r)) {
        notifyDelegateRegionWillChangeAnimated(false);
        // One point of drag is one degree of tilt from the angle the camera has now.
        r.setTranslation({0, currentCameraHeaderDegree()}, this);
    } else if (r.state() == UIGestureRecognizerStateChanged) {
        if (r.numberOfTouches() == 1) return;
        rotateCameraHeaderToDegree(normalizeCameraDegree(r.translationInView(this).y));
        reuseViewsInSkyMode();
    } else if (over(r)) {
        notifyDelegateRegionDidChangeAnimated(false);
    }
}

void VMMapView::rotateGesture(UIRotationGestureRecognizer& r) {
    if (began(r)) {
        decreaseUserTrackingModeWithFlag(1);
        notifyDelegateRegionWillChangeAnimated(false);
        r.setRotation(0);
    } else if (r.state() == UIGestureRecognizerStateChanged) {
        // The recogniser turns clockwise positive; the map's degrees run the other way.
        rotateToDegree(currentRotation() + r.rotation() * (-180 / std::numbers::pi));
        r.setRotation(0);
        reuseViewsInSkyMode();
    } else if (over(r)) {
        notifyDelegateRegionDidChangeAnimated(false);
    }
}

void VMMapView::singleTapGesture(UITapGestureRecognizer& r) {
    if (r.state() != UIGestureRecognizerStateEnded) return;
    // A tap on any part of an annotation view, a picture inside a custom one included, is a
    // tap on that view.
    auto hit = annotationFloor_->hitTest(r.locationInView(annotationFloor_.get()), nullptr);
    while (hit && hit != annotationFloor_ && !std::dynamic_pointer_cast<VMAnnotationView>(hit)) {
        hit = hit->superview();
    }
    if (auto tapped = std::dynamic_pointer_cast<VMAnnotationView>(hit)) {
        if (!tapped->isSelected()) selectAnnotation(tapped->annotation(), true);
        return;
    }
    deselectAnnotation(selectedAnnotation_, false);
    if (touchPOIEnabled_) {
        const auto pois = takePoisAtPoint(r.locationInView(this));
        if (auto d = delegate()) d->mapViewDidTouchPois(*this, pois);
    }
    if (auto d = delegate()) d->mapViewDidSingleTappedAtCoordinate(*this, coordinateUnder(r));
}

void VMMapView::longPressGesture(UILongPressGestureRecognizer& r) {
    if (!began(r)) return;
    if (auto d = delegate()) d->mapViewDidLongPressedAtCoordinate(*this, coordinateUnder(r));
}

bool VMMapView::gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>& r) {
    if (r == zoomInGestureRecognizer_ || r == zoomOutGestureRecognizer_ ||
        r == zoomPinchGestureRecognizer_)
        return isZoomEnabled();
    if (r == panGestureRecognizer_) return isScrollEnabled();
    if (r == rotateGestureRecognizer_) return isRotateEnabled();
    if (r == pullGestureRecognizer_) return isRotateCameraEnabled();
    return true;
}

bool VMMapView::gestureRecognizerShouldRecognizeSimultaneouslyWithGestureRecognizer(
    const std::shared_ptr<UIGestureRecognizer>& first,
    const std::shared_ptr<UIGestureRecognizer>& other) {
    return (first == zoomPinchGestureRecognizer_ && other == rotateGestureRecognizer_) ||
           (first == rotateGestureRecognizer_ && other == zoomInGestureRecognizer_);
}

bool VMMapView::gestureRecognizerShouldReceiveTouch(const std::shared_ptr<UIGestureRecognizer>& r,
                                                    const std::shared_ptr<UITouch>& touch) {
    // Controls on the map keep their taps.
    return !(r == singleTapGestureRecognizer_ &&
             dynamic_cast<UIControl*>(touch->view().get()) != nullptr);
}
