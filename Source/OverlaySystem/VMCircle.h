#pragma once

#include <algorithm>
#include <memory>
#include <span>
#include <vector>

#include "VMShape.h"

// A circle on the map: a centre coordinate and a radius in metres, with its outline of one map
// point per degree, rebuilt whenever either changes. A centre that is not finite has no place:
// no outline and an empty bounding rect, until a finite one is set.
class VMCircle : public VMShape, public VMOverlay {
  public:
    static std::shared_ptr<VMCircle> create() { return circleWithCenterCoordinate({}, 0); }
    static std::shared_ptr<VMCircle> circleWithCenterCoordinate(CLLocationCoordinate2D coordinate,
                                                                double radius);
    // Centred in the rect, with half its larger side in metres as radius.
    static std::shared_ptr<VMCircle> circleWithMapRect(VMMapRect rect);

    CLLocationCoordinate2D coordinate() const override { return coordinate_; }
    bool respondsToSetCoordinate() const override { return true; }
    void setCoordinate(CLLocationCoordinate2D c) override;
    double radius() const { return radius_; }
    void setRadius(double metres);
    VMMapRect boundingMapRect() const override { return boundingMapRect_; }
    void setBoundingMapRect(VMMapRect rect) { boundingMapRect_ = rect; }
    const VMMapPoint* mapPoints() const { return mapPoints_.data(); }
    // Copied with their count, leaving centre, radius and bounds alone; the next change of
    // centre or radius rebuilds the outline.
    void setMapPoints(std::span<const VMMapPoint> points);
    std::size_t pointsCount() const { return pointsCount_; }
    // Stored, but never more than the points held.
    void setPointsCount(std::size_t count) { pointsCount_ = std::min(count, mapPoints_.size()); }

  private:
    VMCircle() = default;
    // Map points per metre at the centre times the radius; a negative or undefined radius is
    // taken as none.
    double mapRadius() const;
    void calculateBoundingMapRect();
    void rebuildOutline();

    CLLocationCoordinate2D coordinate_;
    double radius_ = 0;
    VMMapRect boundingMapRect_;
    std::vector<VMMapPoint> mapPoints_;
    std::size_t pointsCount_ = 0;
};
