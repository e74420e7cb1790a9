#pragma once

#include <algorithm>
#include <array>
#include <memory>

#include "UIKit/UIImage.h"
#include "VMShape.h"

struct VMCoordinateBounds {
    CLLocationCoordinate2D northEast;
    CLLocationCoordinate2D southWest;
};

// One image laid flat on the map, over a coordinate box or centred on a coordinate at the size
// it has in pixels at a zoom level. Its corners run south-west, south-east, north-east,
// north-west.
class VMGroundOverlay : public VMShape, public VMOverlay {
  public:
    static std::shared_ptr<VMGroundOverlay> groundOverlayWithBounds(VMCoordinateBounds bounds,
                                                                    std::shared_ptr<UIImage> icon);
    static std::shared_ptr<VMGroundOverlay> groundOverlayWithCoordinate(
        CLLocationCoordinate2D coordinate, double zoomLevel, std::shared_ptr<UIImage> icon);

    const std::shared_ptr<UIImage>& icon() const { return icon_; }
    double alpha() const { return alpha_; }
    void setAlpha(double alpha) { alpha_ = alpha; }
    double zoomLevel() const { return zoomLevel_; }
    double halfWidth() const { return halfWidth_; }
    void setHalfWidth(double v) { halfWidth_ = v; }
    double halfHeight() const { return halfHeight_; }
    void setHalfHeight(double v) { halfHeight_ = v; }
    const VMMapPoint* mapPoints() const { return mapPoints_.data(); }
    std::size_t pointsCount() const { return pointsCount_; }
    // Stored, but never more than the four corners.
    void setPointsCount(std::size_t count) { pointsCount_ = std::min(count, mapPoints_.size()); }
    void setMapPoints(const std::array<VMMapPoint, 4>& points) { mapPoints_ = points; }
    CLLocationCoordinate2D coordinate() const override { return coordinate_; }
    void setCoordinate(CLLocationCoordinate2D c) { coordinate_ = c; }
    VMMapPoint centerMapPoint() const { return centerMapPoint_; }
    void setCenterMapPoint(VMMapPoint p) { centerMapPoint_ = p; }
    VMCoordinateBounds bounds() const { return bounds_; }
    VMMapRect boundingMapRect() const override { return boundingMapRect_; }
    void setBoundingMapRect(VMMapRect rect) { boundingMapRect_ = rect; }

  private:
    VMGroundOverlay() = default;
    void parseCoordinateBounds(VMCoordinateBounds bounds);
    void calculateWidthAndHeightOnMapPoint();
    void calculateBoundingMapRect();
    void rebuildMapPoint();
    // The image's width and height in pixels.
    CGSize pixelSize() const;

    std::shared_ptr<UIImage> icon_;
    double alpha_ = 1.0;
    double zoomLevel_ = 0;
    double halfWidth_ = 0;
    double halfHeight_ = 0;
    std::array<VMMapPoint, 4> mapPoints_{};
    std::size_t pointsCount_ = 0;
    CLLocationCoordinate2D coordinate_{};
    VMMapPoint centerMapPoint_{};
    VMCoordinateBounds bounds_{};
    VMMapRect boundingMapRect_{};
};
