#pragma once

#include <span>
#include <vector>

#include "VMShape.h"

// A shape made of map points, copied in at creation and immutable after. Coordinates that are
// not finite have no place and are left out (logged), so the shape joins the others.
class VMMultiPoint : public VMShape {
  public:
    const VMMapPoint* points() const { return points_.empty() ? nullptr : points_.data(); }
    std::size_t pointCount() const { return points_.size(); }
    // Writes the coordinates of the points in the range; nothing when the range reaches past the
    // points or is empty.
    void getCoordinates(CLLocationCoordinate2D* coordinates, std::size_t location,
                        std::size_t length) const;

  protected:
    VMMultiPoint() = default;
    void initWithPoints(std::span<const VMMapPoint> points);
    void initWithCoordinates(std::span<const CLLocationCoordinate2D> coordinates);
    void calculateBoundingMapRect();
    const VMMapRect& boundingRect() const { return boundingRect_; }
    // The centre of the bounding rect; not finite when there are no points, which have no place.
    CLLocationCoordinate2D centreCoordinate() const;

  private:
    std::vector<VMMapPoint> points_;
    VMMapRect boundingRect_;
};
