#pragma once

#include <memory>
#include <span>
#include <vector>

#include "VMPolyline.h"

// A polyline whose long spans bow like great circles on the map: each pair of points further
// apart than 0.01 rad of longitude becomes a sampled arc.
class VMGeodesicPolyline : public VMPolyline {
  public:
    // Null below two points.
    static std::shared_ptr<VMGeodesicPolyline> polylineWithCoordinates(
        std::span<const CLLocationCoordinate2D> coordinates);
    static std::shared_ptr<VMGeodesicPolyline> polylineWithPoints(
        std::span<const VMMapPoint> points);

    // Radians.
    static double longitudeSpanWithCoord1(CLLocationCoordinate2D coord1,
                                          CLLocationCoordinate2D coord2);
    // Every pair in turn, its shared point twice; empty below two points.
    static std::vector<VMMapPoint> geodesicLinesForMapPoints(std::span<const VMMapPoint> points);

  private:
    VMGeodesicPolyline() = default;
};
