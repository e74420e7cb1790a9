// The map view's camera: setters, region, pivot geometry and conversions.
#include <algorithm>
#include <cmath>

#include "Foundation/NSLog.h"
#include "UIKit/UIScreen.h"
#include "VMMapViewInternal.h"

namespace {

constexpr double kPivotTolerance = 1.5;
constexpr double kFitTolerance = 10.0;
constexpr int kFitEvaluations = 20;

CGFloat screenScale() { return UIScreen::mainScreen()->scale(); }

VMMapRect minMapRect(const VMMapPoint (&p)[4]) {
    double minX = p[0].x, maxX = p[0].x, minY = p[0].y, maxY = p[0].y;
    for (const VMMapPoint& q : p) {
        minX = std::min(minX, q.x);
        maxX = std::max(maxX, q.x);
        minY = std::min(minY, q.y);
        maxY = std::max(maxY, q.y);
    }
    return {{minX, minY}, {maxX - minX, maxY - minY}};
}

}  // namespace

bool refusesNonFinite(const char* entry, std::initializer_list<double> values) {
    for (const double v : values) {
        if (std::isfinite(v)) continue;
        NSLog("%s: refused a value that is not finite; the map stays where it was", entry);
        return true;
    }
    return false;
}

// ---- Current values and normalisers ----

VMMapPoint VMMapView::currentCenter() const {
    const MapViewState* p = projection();
    if (!p) return {};
    uint32_t x = 0, y = 0;
    mapEngineGetCenter(p, &x, &y);
    return {static_cast<double>(static_cast<int32_t>(x)),
            static_cast<double>(static_cast<int32_t>(y))};
}

double VMMapView::currentRotation() const {
    const MapViewState* p = projection();
    return p ? normalizeDegree(mapEngineGetRotation(p)) : 0;
}

double VMMapView::currentCameraHeaderDegree() const {
    const MapViewState* p = projection();
    return p ? mapEngineGetCameraPitch(p) : 0;
}

double VMMapView::currentZoomLevel() const {
    const MapViewState* p = projection();
    return p ? mapEngineGetZoomLevel(p) : 0;
}

double VMMapView::normalizeDegree(double degree) {
    double d = std::fmod(degree, 360.0);
    if (d < 0) d += 360;
    return d;
}

double VMMapView::normalizeCameraDegree(double degree) {
    return std::max(std::min(degree, 65.0), 0.0);
}

double VMMapView::normalizeZoomLevel(double zoom) {
    return std::min(std::max(zoom, static_cast<double>(mapEngineMinZoomLevel())),
                    static_cast<double>(mapEngineMaxZoomLevel()));
}

// ---- Conversions ----

const MapViewState* VMMapView::engineViewState() const {
    if (!baseMapView_) return nullptr;
    const auto& r = baseMapView_->render();
    return r && r->mapEngine() ? mapEngineGetViewState(r->mapEngine()) : nullptr;
}

CGPoint VMMapView::pointForMapPoint(VMMapPoint point) {
    return pointForMapPoint(point, engineViewState());
}

CGPoint VMMapView::pointForMapPoint(VMMapPoint point, const MapViewState* state) {
    if (!state || !finite(point)) return {};
    float glX = 0, glY = 0;
    mapEngineMapToGL(state, static_cast<int32_t>(point.x), static_cast<int32_t>(point.y), &glX,
                     &glY);
    double sx = 0, sy = 0;
    mapEngineGLToScreen(state, &sx, &sy, glX, glY);
    const CGFloat scale = screenScale();
    return {sx / scale, sy / scale};
}

VMMapView::ScreenProjection VMMapView::screenProjection() const {
    ScreenProjection p;
    p.state = engineViewState();
    mapEngineMakeScreenTransform(p.state, &p.transform);
    p.scale = screenScale();
    return p;
}

CGPoint VMMapView::pointForMapPoint(VMMapPoint point, const ScreenProjection& projection) {
    if (!projection.state || !finite(point)) return {};
    // Without scale the GL point stays (0, 0) there, which the transform does not give.
    if (!projection.transform.hasScale) return pointForMapPoint(point, projection.state);
    double sx = 0, sy = 0;
    mapEngineMapToScreen(&projection.transform, static_cast<int32_t>(point.x),
                         static_cast<int32_t>(point.y), &sx, &sy);
    return {sx / projection.scale, sy / projection.scale};
}

VMMapPoint VMMapView::mapPointForPoint(CGPoint point) {
    return mapPointForPoint(point, projection());
}

VMMapPoint VMMapView::mapPointForPoint(CGPoint point, const MapViewState* state) {
    if (!state) return {};
    const CGRect b = bounds();
    if (point.x == CGRectGetMidX(b) && point.y == CGRectGetMidY(b)) {
        uint32_t x = 0, y = 0;
        mapEngineGetCenter(state, &x, &y);
        return {static_cast<double>(x), static_cast<double>(y)};
    }
    const CGFloat scale = screenScale();
    float glX = 0, glY = 0;
    mapEngineScreenToGL(state, &glX, &glY, point.x * scale, point.y * scale);
    int32_t x = 0, y = 0;
    mapEngineGLToMap(state, &x, &y, glX, glY);
    return {static_cast<double>(x), static_cast<double>(y)};
}

CGRect VMMapView::rectForMapRect(VMMapRect r) {
    const double x = r.origin.x, y = r.origin.y, w = r.size.width, h = r.size.height;
    const CGPoint p[4] = {pointForMapPoint({x, y}), pointForMapPoint({x + w, y}),
                          pointForMapPoint({x, y + h}), pointForMapPoint({x + w, y + h})};
    double minX = p[0].x, maxX = p[0].x, minY = p[0].y, maxY = p[0].y;
    for (const CGPoint& q : p) {
        minX = std::min(minX, q.x);
        maxX = std::max(maxX, q.x);
        minY = std::min(minY, q.y);
        maxY = std::max(maxY, q.y);
    }
    return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

VMMapRect VMMapView::mapRectForRect(CGRect rect) { return mapRectForRect(rect, projection()); }

VMMapRect VMMapView::mapRectForRect(CGRect r, const MapViewState* state) {
    const double x = r.origin.x, y = r.origin.y, w = r.size.width, h = r.size.height;
    const VMMapPoint p[4] = {mapPointForPoint({x, y}, state), mapPointForPoint({x + w, y}, state),
                             mapPointForPoint({x, y + h}, state),
                             mapPointForPoint({x + w, y + h}, state)};
    return minMapRect(p);
}

CGPoint VMMapView::convertCoordinateToPointToView(CLLocationCoordinate2D c, const UIView* view) {
    return convertPointToView(pointForMapPoint(mapPointForCoordinate(c)), view);
}

CLLocationCoordinate2D VMMapView::convertPointToCoordinateFromView(CGPoint p, const UIView* view) {
    return coordinateForMapPoint(mapPointForPoint(convertPointFromView(p, view)));
}

CGRect VMMapView::convertRegionToRectToView(VMCoordinateRegion region, const UIView* view) {
    return convertRectToView(rectForMapRect(mapRectForRegion(region)), view);
}

VMCoordinateRegion VMMapView::convertRectToRegionFromView(CGRect rect, const UIView* view) {
    return regionForMapRect(mapRectForRect(convertRectFromView(rect, view)));
}

// ---- Pivot geometry ----

VMMapPoint VMMapView::centerPointForKeepingMapPivot(VMMapPoint pivot, CGPoint anchor) {
    const CGRect b = bounds();
    const VMMapPoint m = mapPointForPoint({anchor.x * b.size.width, anchor.y * b.size.height});
    const VMMapPoint c = currentCenter();
    return {pivot.x + (c.x - m.x), pivot.y + (c.y - m.y)};
}

VMMapPoint VMMapView::pivotCentreWith(VMMapPoint pivot, CGPoint anchor,
                                      const std::function<void(MapViewState*)>& candidate) {
    MapViewState* p = projection();
    if (projectionState_ != 2 || !p || !finite(pivot)) return currentCenter();
    const MapViewState saved = *p;
    VMBaseMapView::setCenterWithProjection(p, pivot);
    candidate(p);
    mapEngineUpdateView(p);
    const CGRect b = bounds();
    const VMMapPoint q = mapPointForPoint({anchor.x * b.size.width, anchor.y * b.size.height}, p);
    *p = saved;
    return {2 * pivot.x - q.x, 2 * pivot.y - q.y};
}

VMMapPoint VMMapView::centerPointForKeepingMapPivotAtZoomLevel(VMMapPoint pivot, CGPoint anchor,
                                                               double zoom) {
    // A zoom that is not a number would have no centre to go with it.
    if (std::isnan(zoom)) return currentCenter();
    return pivotCentreWith(pivot, anchor, [&](MapViewState* p) {
        baseMapView_->setZoomLevelWithProjection(p, static_cast<float>(zoom));
    });
}

VMMapPoint VMMapView::centerPointForKeepingMapPivotInRotationDegree(VMMapPoint pivot,
                                                                    CGPoint anchor, double degree) {
    if (std::isnan(degree)) return currentCenter();
    return pivotCentreWith(pivot, anchor, [&](MapViewState* p) {
        mapEngineSetRotation(p, static_cast<float>(degree));
    });
}

VMMapPoint VMMapView::centerPointForMapPivotInCameraHeaderDegree(VMMapPoint pivot, CGPoint anchor,
                                                                 double degree) {
    if (std::isnan(degree)) return currentCenter();
    return pivotCentreWith(pivot, anchor, [&](MapViewState* p) {
        baseMapView_->setHeaderAngleWithProjection(p, static_cast<float>(degree));
    });
}

std::optional<VMMapPoint> VMMapView::centerPointAtZoomLevelUsingScreenAnchor(double zoom) {
    return centerPointForKeepingMapPivotAtZoomLevel(mapPivot(), screenAnchor_, zoom);
}

std::optional<VMMapPoint> VMMapView::centerPointForMapPivotUsingScreenAnchor(VMMapPoint pivot) {
    return centerPointForKeepingMapPivot(pivot, screenAnchor_);
}

std::optional<VMMapPoint> VMMapView::centerPointAtRotationDegreeUsingScreenAnchor(double degree) {
    return centerPointForKeepingMapPivotInRotationDegree(mapPivot(), screenAnchor_, degree);
}

std::optional<VMMapPoint> VMMapView::centerPointAtCameraHeaderDegreeUsingScreenAnchor(double d) {
    return centerPointForMapPivotInCameraHeaderDegree(mapPivot(), screenAnchor_, d);
}

bool VMMapView::mapCenterDidMove() {
    updateMapPivot();
    return true;
}

VMMapPoint VMMapView::mapPivot() {
    updateMapPivot();
    return mapPivot_;
}

void VMMapView::updateMapPivot() {
    if (customedPivot_ && projectionState_ == 2) {
        const CGPoint p = pointForMapPoint(mapPivot_);
        const CGRect b = bounds();
        const CGPoint a{screenAnchor_.x * b.size.width, screenAnchor_.y * b.size.height};
        if (std::abs(p.x - a.x) <= kPivotTolerance && std::abs(p.y - a.y) <= kPivotTolerance)
            return;
        mapPivot_ = mapPointForPoint(a);
        return;
    }
    mapPivot_ = currentCenter();
}

void VMMapView::setScreenAnchor(CGPoint anchor) {
    if (!(anchor.x >= 0 && anchor.x <= 1 && anchor.y >= 0 && anchor.y <= 1)) return;
    if (anchor.x == screenAnchor_.x && anchor.y == screenAnchor_.y) return;
    screenAnchor_ = anchor;
    customedPivot_ = !(anchor.x == 0.5 && anchor.y == 0.5);
    decreaseUserTrackingModeWithFlag(1);
}

// ---- Public camera ----

void VMMapView::notifyDelegateRegionWillChangeAnimated(bool animated) {
    if (auto d = delegate()) d->mapViewRegionWillChangeAnimated(*this, animated);
}

void VMMapView::notifyDelegateRegionDidChangeAnimated(bool animated) {
    updateMapPivot();
    updateReusingPool();
    if (auto d = delegate()) d->mapViewRegionDidChangeAnimated(*this, animated);
}

VMMapView::Completion VMMapView::regionDidChangeCompletion(bool animated) {
    std::weak_ptr<VMMapView> weak = sharedSelf<VMMapView>();
    return [weak, animated] {
        if (auto self = weak.lock()) self->notifyDelegateRegionDidChangeAnimated(animated);
    };
}

CLLocationCoordinate2D VMMapView::centerCoordinate() {
    if (needsOperateAfterProjection_) return coordinateForMapPoint(mapPivotAfterProjection_);
    return coordinateForMapPoint(mapPivot());
}

void VMMapView::setCenterCoordinate(CLLocationCoordinate2D c, bool animated, bool usingMapCenter) {
    if (refusesNonFinite("setCenterCoordinate", {c.latitude, c.longitude})) return;
    decreaseUserTrackingMode();
    internalSetCenterCoordinate(c, animated, usingMapCenter);
}

void VMMapView::internalSetCenterCoordinate(CLLocationCoordinate2D c, bool animated,
                                            bool usingMapCenter) {
    internalSetMapPivot(mapPointForCoordinate(c), animated, usingMapCenter);
}

void VMMapView::internalSetMapPivot(VMMapPoint pivot, bool animated, bool usingMapCenter) {
    notifyDelegateRegionWillChangeAnimated(animated);
    scrollToMapPivot(pivot, animated, kDefaultCameraDuration, kTimingEaseOut, usingMapCenter,
                     regionDidChangeCompletion(animated));
}

void VMMapView::setZoomLevel(double level, bool animated) {
    notifyDelegateRegionWillChangeAnimated(animated);
    zoomToLevel(level, animated, kDefaultCameraDuration, regionDidChangeCompletion(animated));
}

void VMMapView::setRotationDegree(double degree, bool animated, double duration) {
    notifyDelegateRegionWillChangeAnimated(animated);
    rotateToDegree(degree, animated, duration, regionDidChangeCompletion(animated));
}

void VMMapView::setCameraDegree(double degree, bool animated, double duration) {
    notifyDelegateRegionWillChangeAnimated(animated);
    rotateCameraHeaderToDegree(degree, animated, duration, regionDidChangeCompletion(animated));
}

double VMMapView::maxZoomLevel() { return mapEngineMaxZoomLevel(); }

double VMMapView::minZoomLevel() { return mapEngineMinZoomLevel(); }

double VMMapView::nextZoomLevel() const {
    return std::min(static_cast<double>(std::roundf(static_cast<float>(currentZoomLevel() + 1))),
                    maxZoomLevel());
}

double VMMapView::priorZoomLevel() const {
    return std::max(static_cast<double>(std::roundf(static_cast<float>(currentZoomLevel() - 1))),
                    minZoomLevel());
}

void VMMapView::setZoomLevel(double level, CGPoint pivot, bool animated) {
    decreaseUserTrackingMode();
    internalSetZoomLevel(level, pivot, animated);
}

void VMMapView::internalSetZoomLevel(double level, CGPoint pivot, bool animated) {
    if (zoomLevel() >= maxZoomLevel()) return;
    if (std::isnan(level) || !std::isfinite(pivot.x) || !std::isfinite(pivot.y)) return;
    // The centre is worked out for the zoom the camera will really reach, or the pivot would
    // slide away when a level beyond the limits is asked for.
    level = normalizeZoomLevel(level);
    const CGRect b = bounds();
    const CGPoint offset{pivot.x - CGRectGetMidX(b), pivot.y - CGRectGetMidY(b)};
    const CGPoint turned = CGPointApplyAffineTransform(
        offset, CGAffineTransformMakeRotation(rotationDegree() * M_PI / 180));
    const VMMapPoint center =
        centerMapPointForPivotMapPoint(mapPointForPoint(pivot), turned, level);
    internalSetZoomLevel(level, center, animated, kDefaultCameraDuration);
}

void VMMapView::internalSetZoomLevel(double level, VMMapPoint center, bool animated,
                                     double duration) {
    notifyDelegateRegionWillChangeAnimated(animated);
    // Without animation the zoom is written before the centre: the delegate hears of the
    // change once the centre has followed, and the views are placed once, with the centre.
    Completion done = regionDidChangeCompletion(animated);
    {
        const PlacementHold hold(*this);
        zoomToLevel(level, animated, duration, animated ? done : nullptr);
    }
    scrollToCenterPoint(center, animated, duration, kTimingEaseInEaseOut, false,
                        animated ? nullptr : done);
}

// The map point under the offset keeps its place on the screen: only the distance to the
// centre shrinks or grows with the zoom.
VMMapPoint VMMapView::centerMapPointForPivotMapPoint(VMMapPoint, CGPoint offset, double zoom) {
    const MapViewState* p = projection();
    if (!p) return {};
    const CGFloat scale = screenScale();
    const CGPoint o{offset.x * scale, offset.y * scale};
    const double s = mapEngineMapLengthAtCenter(p, 1);
    const double r =
        std::exp2(static_cast<float>(20 - zoom)) / std::exp2(20.0f - mapEngineGetZoomLevel(p));
    const VMMapPoint c = currentCenter();
    return {c.x + o.x * (1 - r) * s, c.y + o.y * (1 - r) * s};
}

VMCoordinateRegion VMMapView::region() { return regionForMapRect(visibleMapRect()); }

void VMMapView::setRegion(VMCoordinateRegion r, bool animated) {
    if (refusesNonFinite("setRegion", {r.center.latitude, r.center.longitude, r.span.latitudeDelta,
                                       r.span.longitudeDelta}))
        return;
    setVisibleMapRect(mapRectForRegion(r), {}, animated);
}

VMCoordinateRegion VMMapView::regionThatFits(VMCoordinateRegion r) {
    return regionForMapRect(mapRectThatFits(mapRectForRegion(r)));
}

VMMapRect VMMapView::visibleMapRect() {
    const VMMapSize size = mapRectForRect(bounds()).size;
    const VMMapPoint c = currentCenter();
    return {{c.x - size.width / 2, c.y - size.height / 2}, size};
}

CGRect VMMapView::paddedBounds(UIEdgeInsets padding) const {
    const CGRect b = bounds();
    return CGRectMake(b.origin.x + padding.left, b.origin.y + padding.top,
                      b.size.width - padding.left - padding.right,
                      b.size.height - padding.top - padding.bottom);
}

VMMapRect VMMapView::mapRectThatFits(VMMapRect r, UIEdgeInsets padding) {
    const CGRect inner = paddedBounds(padding);
    // An area without size has no aspect to fit to.
    if (!(inner.size.width > 0 && inner.size.height > 0)) return r;
    const double aspect = inner.size.width / inner.size.height;
    const double w = r.size.width, h = r.size.height;
    const VMMapSize size = w < h * aspect ? VMMapSize{h * aspect, h} : VMMapSize{w, w / aspect};
    return {{r.origin.x + w / 2 - size.width / 2, r.origin.y + h / 2 - size.height / 2}, size};
}

double VMMapView::mapSizeOnEdge(CGPoint from, CGPoint to, double zoom) {
    MapViewState* p = projection();
    baseMapView_->setZoomLevelWithProjection(p, static_cast<float>(zoom));
    mapEngineUpdateView(p);
    const VMMapPoint a = mapPointForPoint(from, p);
    const VMMapPoint b = mapPointForPoint(to, p);
    if (from.x == to.x) return b.y - a.y;
    if (from.y == to.y) return b.x - a.x;
    return std::hypot(b.x - a.x, b.y - a.y);
}

double VMMapView::zoomScaleFitMapRect(VMMapRect r, UIEdgeInsets padding) {
    const CGRect v = paddedBounds(padding);
    const CGFloat scale = screenScale();
    const double w = r.size.width, h = r.size.height;
    const double sx = w / (v.size.width * scale);
    const double sy = h / (v.size.height * scale);
    const double s = std::max(sx, sy);
    // A view or rectangle without size gives no scale: the current one stays.
    if (!(v.size.width > 0 && v.size.height > 0) || !(s > 0) || !std::isfinite(s))
        return std::exp2(currentZoomLevel());
    MapViewState* p = projection();
    if (projectionState_ != 2 || !p) return std::exp2(20) / s;
    const double z0 = 20 - std::log2(s);
    const bool vertical = sx <= sy;
    const CGPoint from{v.origin.x, v.origin.y};
    const CGPoint to = vertical ? CGPoint{v.origin.x, v.origin.y + v.size.height}
                                : CGPoint{v.origin.x + v.size.width, v.origin.y};
    const double target = vertical ? h : w;
    const MapViewState saved = *p;
    mapEngineSetRotation(p, 0);
    baseMapView_->setHeaderAngleWithProjection(p, 0);
    mapEngineUpdateView(p);
    double low = mapEngineMinZoomLevel(), high = mapEngineMaxZoomLevel();
    double z = z0;
    double d = 0;
    // The zoom that met the tolerance is the answer, not the next one the search would try.
    std::optional<double> found;
    for (int i = 0; i < kFitEvaluations && !found; ++i) {
        d = mapSizeOnEdge(from, to, z) - target;
        if (std::abs(d) <= kFitTolerance) {
            found = z;
        } else if (d > 0) {
            low = z;
            z = (z + high) / 2;
        } else {
            high = z;
            z = (z + low) / 2;
        }
    }
    *p = saved;
    return std::exp2(found.value_or(z0));
}

void VMMapView::setVisibleMapRect(VMMapRect rect, UIEdgeInsets padding, bool animated) {
    if (refusesNonFinite("setVisibleMapRect",
                         {rect.origin.x, rect.origin.y, rect.size.width, rect.size.height}))
        return;
    decreaseUserTrackingMode();
    internalSetVisibleMapRect(rect, padding, animated);
}

void VMMapView::internalSetVisibleMapRect(VMMapRect r, UIEdgeInsets padding, bool animated) {
    notifyDelegateRegionWillChangeAnimated(animated);
    const double scale = zoomScaleFitMapRect(r, padding);
    const CGFloat s = screenScale();
    const CGRect pb = paddedBounds(padding);
    const CGRect P =
        CGRectMake(pb.origin.x * s, pb.origin.y * s, pb.size.width * s, pb.size.height * s);
    const CGRect b = bounds();
    const CGRect B =
        CGRectMake(b.origin.x * s, b.origin.y * s, b.size.width * s, b.size.height * s);
    const double dx = CGRectGetMidX(B) - CGRectGetMidX(P);
    const double dy = CGRectGetMidY(B) - CGRectGetMidY(P);
    double k = std::max(r.size.width / P.size.width, r.size.height / P.size.height);
    if (!std::isfinite(k)) k = 0;
    const VMMapPoint target{r.origin.x + r.size.width / 2 + dx * k,
                            r.origin.y + r.size.height / 2 + dy * k};
    {
        // The views are placed once, with the centre.
        const PlacementHold hold(*this);
        if (currentRotation() != 0) rotateToDegree(0, animated, kDefaultCameraDuration);
        if (currentCameraHeaderDegree() != 0)
            rotateCameraHeaderToDegree(0, animated, kDefaultCameraDuration);
        zoomToLevel(std::log2(scale), animated, kDefaultCameraDuration);
    }
    scrollToCenterPoint(target, animated, kDefaultCameraDuration, kTimingEaseInEaseOut, false,
                        regionDidChangeCompletion(animated));
}

VMMapStatus VMMapView::getMapStatus() {
    return {centerCoordinate(), zoomLevel(), rotationDegree(), cameraDegree(), screenAnchor()};
}

void VMMapView::setMapStatus(const std::optional<VMMapStatus>& status, bool animated,
                             double duration) {
    if (!status || refusesNonFinite("setMapStatus", {status->centerCoordinate.latitude,
                                                     status->centerCoordinate.longitude}))
        return;
    notifyDelegateRegionWillChangeAnimated(animated);
    setScreenAnchor(status->screenAnchor);
    {
        // The views are placed once, with the centre.
        const PlacementHold hold(*this);
        zoomToLevel(status->zoomLevel, animated, duration);
        rotateToDegree(status->rotationDegree, animated, duration);
        rotateCameraHeaderToDegree(status->cameraDegree, animated, duration);
    }
    scrollToMapPivot(mapPointForCoordinate(status->centerCoordinate), animated, duration,
                     kTimingEaseOut, false, regionDidChangeCompletion(animated));
}
