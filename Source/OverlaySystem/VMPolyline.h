#pragma once

#include <memory>
#include <span>

#include "VMMultiPoint.h"

// An open line of map points.
class VMPolyline : public VMMultiPoint, public VMOverlay {
  public:
    static std::shared_ptr<VMPolyline> polylineWithCoordinates(
        std::span<const CLLocationCoordinate2D> coordinates);
    static std::shared_ptr<VMPolyline> polylineWithPoints(std::span<const VMMapPoint> points);

    VMMapRect boundingMapRect() const override { return boundingRect(); }
    // The centre of the bounding rect; not finite without points.
    CLLocationCoordinate2D coordinate() const override;

  protected:
    VMPolyline() = default;
};
