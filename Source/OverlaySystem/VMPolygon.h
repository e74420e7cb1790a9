#pragma once

#include <memory>
#include <span>

#include "VMMultiPoint.h"

// A closed area bounded by map points; the last point joins the first.
class VMPolygon : public VMMultiPoint, public VMOverlay {
  public:
    static std::shared_ptr<VMPolygon> polygonWithCoordinates(
        std::span<const CLLocationCoordinate2D> coordinates);
    static std::shared_ptr<VMPolygon> polygonWithPoints(std::span<const VMMapPoint> points);

    VMMapRect boundingMapRect() const override { return boundingRect(); }
    // The centre of the bounding rect; not finite without points.
    CLLocationCoordinate2D coordinate() const override;

  protected:
    VMPolygon() = default;
};
