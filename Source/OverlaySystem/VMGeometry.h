#pragma once

#include <cmath>

#include "CoreLocation/CLLocationCoordinate2D.h"

// Map points are the pixel grid of the spherical Mercator world at zoom level 20: 2^28 points
// on each side, x growing eastwards from longitude -180, y southwards from the northern edge.

struct VMMapPoint {
    double x = 0;
    double y = 0;
    bool operator==(const VMMapPoint&) const = default;
};

struct VMMapSize {
    double width = 0;
    double height = 0;
    bool operator==(const VMMapSize&) const = default;
};

// origin is the north-west corner.
struct VMMapRect {
    VMMapPoint origin;
    VMMapSize size;
    bool operator==(const VMMapRect&) const = default;
};

struct VMCoordinateSpan {
    double latitudeDelta = 0;
    double longitudeDelta = 0;
    bool operator==(const VMCoordinateSpan&) const = default;
};

struct VMCoordinateRegion {
    CLLocationCoordinate2D center;
    VMCoordinateSpan span;
    bool operator==(const VMCoordinateRegion&) const = default;
};

// 40075016 m of equator over 2^28 map points.
inline constexpr double kVMMetersPerMapPointAtEquator = 0.14929106831550598;

// A coordinate with a value that is not a number or is infinite has no place on the map: the
// camera refuses it, annotations with it are listed but not placed, and shapes leave it out.
inline bool coordinateIsFinite(CLLocationCoordinate2D c) {
    return std::isfinite(c.latitude) && std::isfinite(c.longitude);
}

// Whole map points, latitude clamped to the Mercator square; NaN for a coordinate that is not
// finite.
VMMapPoint mapPointForCoordinate(CLLocationCoordinate2D coordinate);
// The point is truncated towards zero to whole map points first.
CLLocationCoordinate2D coordinateForMapPoint(VMMapPoint point);
// The rectangle's corners and centre are taken within the world: a span is the world's at most.
VMCoordinateRegion regionForMapRect(VMMapRect rect);
// Centred on the centre's map point, sized by the span's corners.
VMMapRect mapRectForRegion(VMCoordinateRegion region);
// The platform's rectangle tests, CGRectContainsPoint and CGRectIntersectsRect.
bool mapRectContainsPoint(VMMapRect rect, VMMapPoint point);
bool mapRectIntersectsRect(VMMapRect a, VMMapRect b);
// Plain arithmetic: a size may come out negative.
VMMapRect mapRectInset(VMMapRect rect, double dx, double dy);
double metersPerMapPointAtLatitude(double latitude);
double mapPointsPerMeterAtLatitude(double latitude);
// A flat approximation for short distances, scaled at the mean latitude.
double metersBetweenMapPoints(VMMapPoint a, VMMapPoint b);
