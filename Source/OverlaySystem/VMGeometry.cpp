#include "VMGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/SaturatingCast.h"
#include "vmap_core/MapEngine.h"

namespace {

CGRect platformRect(VMMapRect r) {
    return CGRectMake(r.origin.x, r.origin.y, r.size.width, r.size.height);
}

constexpr double kMercatorSquareSide = 268435456.0;  // 2^28

VMMapPoint withinMercatorSquare(VMMapPoint p) {
    return {std::clamp(p.x, 0.0, kMercatorSquareSide), std::clamp(p.y, 0.0, kMercatorSquareSide)};
}

}  // namespace

VMMapPoint mapPointForCoordinate(CLLocationCoordinate2D coordinate) {
    std::int32_t x = 0;
    std::int32_t y = 0;
    // (0, 0) would be the world's north-west corner, a place the camera's guards cannot tell
    // from a real one.
    if (mapEngineCoordinateToMapPoint(&x, &y, coordinate.longitude, coordinate.latitude) != 0) {
        constexpr double kNoPoint = std::numeric_limits<double>::quiet_NaN();
        return {kNoPoint, kNoPoint};
    }
    return {static_cast<double>(x), static_cast<double>(y)};
}

CLLocationCoordinate2D coordinateForMapPoint(VMMapPoint point) {
    double longitude = 0;
    double latitude = 0;
    mapEngineMapPointToCoordinate(saturatingCast<std::int32_t>(point.x),
                                  saturatingCast<std::int32_t>(point.y), &longitude, &latitude);
    return {latitude, longitude};
}

VMCoordinateRegion regionForMapRect(VMMapRect rect) {
    // A tilted camera sees far past the world's edges, where longitudes run on beyond 180: what
    // lies there is no place, so the rectangle is taken within the world.
    const CLLocationCoordinate2D center = coordinateForMapPoint(withinMercatorSquare(
        {rect.origin.x + rect.size.width * 0.5, rect.origin.y + rect.size.height * 0.5}));
    const CLLocationCoordinate2D a = coordinateForMapPoint(withinMercatorSquare(rect.origin));
    const CLLocationCoordinate2D b = coordinateForMapPoint(
        withinMercatorSquare({rect.origin.x + rect.size.width, rect.origin.y + rect.size.height}));
    return {center, {std::fabs(a.latitude - b.latitude), std::fabs(a.longitude - b.longitude)}};
}

VMMapRect mapRectForRegion(VMCoordinateRegion region) {
    const CLLocationCoordinate2D& c = region.center;
    const VMCoordinateSpan& s = region.span;
    const VMMapPoint center = mapPointForCoordinate(c);
    const VMMapPoint a = mapPointForCoordinate(
        {c.latitude + s.latitudeDelta * 0.5, c.longitude - s.longitudeDelta * 0.5});
    const VMMapPoint b = mapPointForCoordinate(
        {c.latitude - s.latitudeDelta * 0.5, c.longitude + s.longitudeDelta * 0.5});
    const double width = std::fabs(a.x - b.x);
    const double height = std::fabs(a.y - b.y);
    return {{center.x - width * 0.5, center.y - height * 0.5}, {width, height}};
}

bool mapRectContainsPoint(VMMapRect rect, VMMapPoint point) {
    return CGRectContainsPoint(platformRect(rect), CGPointMake(point.x, point.y));
}

bool mapRectIntersectsRect(VMMapRect a, VMMapRect b) {
    return CGRectIntersectsRect(platformRect(a), platformRect(b));
}

VMMapRect mapRectInset(VMMapRect rect, double dx, double dy) {
    return {{rect.origin.x + dx, rect.origin.y + dy},
            {rect.size.width - 2 * dx, rect.size.height - 2 * dy}};
}

double metersPerMapPointAtLatitude(double latitude) {
    return std::cos(latitude * std::numbers::pi / 180) * kVMMetersPerMapPointAtEquator;
}

double mapPointsPerMeterAtLatitude(double latitude) {
    return 1 / (std::cos(latitude * std::numbers::pi / 180) * kVMMetersPerMapPointAtEquator);
}

double metersBetweenMapPoints(VMMapPoint a, VMMapPoint b) {
    const double meanLatitude =
        (coordinateForMapPoint(a).latitude + coordinateForMapPoint(b).latitude) / 2;
    return std::hypot(a.x - b.x, a.y - b.y) * metersPerMapPointAtLatitude(meanLatitude);
}
