// The compass and scale bar hooks, and fitting the camera around annotations.
#include <cmath>
#include <memory>
#include <vector>

#include "CommonTool.h"
#include "Foundation/NSLog.h"
#include "QuartzCore/CATransition.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIViewAnimationWithBlocks.h"
#include "VMMapView.h"

namespace {

constexpr double kCompassTapDuration = 0.25;
constexpr double kCompassHideDuration = 0.25;
constexpr double kCompassHideDegrees = 9;
constexpr double kFitDuration = 0.4;
constexpr CGFloat kFitPadding = 40;
constexpr double kSmallestScaleValue = 1e-7;
constexpr int kScaleSteps = 3;

}  // namespace

void VMMapView::setShowsCompass(bool shows) {
    if (shows == showsCompass_) return;
    showsCompass_ = shows;
    if (shows)
        updateCompassViewByDegree(static_cast<float>(rotationDegree()), false, 0);
    else
        compassView_->setHidden(true);
}

void VMMapView::showCompassView() { compassView_->setHidden(false); }

void VMMapView::hideCompassView() {
    if (compassView_->isHidden()) return;
    if (userTrackingMode_ == 2 && showsUserLocation_) return;
    const double r = rotationDegree();
    if (r >= kCompassHideDegrees && r <= 360 - kCompassHideDegrees) return;
    auto fade = CATransition::fadeFromLayer(*compassView_->layer());
    fade->setDuration(kCompassHideDuration);
    compassView_->setHidden(true);
    compassView_->layer()->addAnimation(fade, "transition");
}

void VMMapView::updateCompassViewByDegree(float degree, bool animated, double duration) {
    if (!showsCompass_ || !std::isfinite(degree)) return;
    showCompassView();
    compassView_->setDegree(degree, animated, duration);
}

void VMMapView::didCompassViewTapped() {
    setRotationDegree(0, true, kCompassTapDuration);
    decreaseUserTrackingModeWithFlag(1);
}

void VMMapView::setShowsScale(bool shows) {
    if (!scaleView_) return;
    scaleView_->setHidden(!shows);
    updateScaleViewForZoomLevel(currentZoomLevel(), false, 0);
}

void VMMapView::updateScaleViewForZoomLevel(double zoom, bool animated, double duration) {
    if (!showsScale()) return;
    const double v = calculateDistanceInMetersForZoomLevel(zoom);
    if (!std::isfinite(v) || std::fabs(v) < kSmallestScaleValue) return;
    if (!animated) {
        scaleView_->setDistanceInMeters(v);
        return;
    }
    // Three steps a third of the duration apart, each started when the one before ends.
    const double start = scaleView_->distanceInMeters();
    const double step = (v - start) / kScaleSteps;
    std::weak_ptr<VMScaleView> weak = scaleView_;
    auto run = std::make_shared<std::function<void(int)>>();
    *run = [weak, start, step, v, duration, next = std::weak_ptr(run)](int i) {
        auto self = next.lock();
        UIViewAnimateWithDuration(
            duration / kScaleSteps,
            [weak, value = i == kScaleSteps ? v : start + step * i] {
                if (auto scale = weak.lock()) scale->setDistanceInMeters(value);
            },
            [self, i](bool) {
                if (self && i < kScaleSteps) (*self)(i + 1);
            });
    };
    (*run)(1);
}

double VMMapView::calculateDistanceInMetersForZoomLevel(double zoom) {
    const double m = metersPerMapPointAtLatitude(centerCoordinate().latitude);
    if (projectionState_ != 2 || !projection())
        return 1 / (m * std::exp2(20 - zoom)) / UIScreen::mainScreen()->scale();
    return 1 / (m * mapPointsPerScreenPointAtZoomLevel(zoom));
}

double VMMapView::mapPointsPerScreenPointAtZoomLevel(double zoom) {
    MapViewState* p = projection();
    const CGRect b = bounds();
    if (!p || !(b.size.width > 0)) return 0;
    const MapViewState saved = *p;
    baseMapView_->setZoomLevelWithProjection(p, static_cast<float>(zoom));
    mapEngineUpdateView(p);
    const VMMapPoint a = mapPointForPoint(CGPointMake(CGRectGetMinX(b), CGRectGetMidY(b)), p);
    const VMMapPoint c = mapPointForPoint(CGPointMake(CGRectGetMaxX(b), CGRectGetMidY(b)), p);
    *p = saved;
    return std::hypot(c.x - a.x, c.y - a.y) / b.size.width;
}

double VMMapView::metersPerPointForZoomLevel(double zoom) {
    return 1 / calculateDistanceInMetersForZoomLevel(normalizeZoomLevel(zoom));
}

double VMMapView::metersPerPointForCurrentZoomLevel() {
    return metersPerPointForZoomLevel(zoomLevel());
}

void VMMapView::showAnnotations(const std::vector<std::shared_ptr<VMAnnotation>>& annotations,
                                bool animated) {
    showAnnotations(annotations, {kFitPadding, kFitPadding, kFitPadding, kFitPadding}, animated);
}

void VMMapView::showAnnotations(const std::vector<std::shared_ptr<VMAnnotation>>& annotations,
                                UIEdgeInsets insets, bool animated) {
    // Only annotations with a place count: one whose coordinate is not finite would otherwise
    // stretch the fit to the edge of the world.
    std::vector<CLLocationCoordinate2D> placed;
    std::size_t unplaced = 0;
    for (const auto& a : annotations) {
        if (!a) continue;
        const CLLocationCoordinate2D c = a->coordinate();
        if (coordinateIsFinite(c))
            placed.push_back(c);
        else
            ++unplaced;
    }
    if (unplaced > 0)
        NSLog("showAnnotations: left out %zu annotations whose coordinate is not finite", unplaced);
    if (placed.empty()) return;
    rotateToDegree(0, animated, kFitDuration);
    if (placed.size() == 1) {
        setCenterCoordinate(placed.front(), animated);
        return;
    }
    std::vector<VMMapPoint> points;
    for (const CLLocationCoordinate2D& c : placed) points.push_back(mapPointForCoordinate(c));
    if (const auto rect = CommonTool::mapRectForMapPoints(points))
        setVisibleMapRect(*rect, insets, animated);
}
