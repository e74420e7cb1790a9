#include "VMGroundOverlay.h"

#include <cmath>

namespace {

constexpr double kPixelsAtZoom20 = 1048576;  // 2^20
// A box of no width has no zoom at which the image fits it; it is drawn as at the deepest one.
constexpr double kDeepestZoom = 20;

}  // namespace

std::shared_ptr<VMGroundOverlay> VMGroundOverlay::groundOverlayWithBounds(
    VMCoordinateBounds bounds, std::shared_ptr<UIImage> icon) {
    auto overlay = std::shared_ptr<VMGroundOverlay>(new VMGroundOverlay());
    overlay->icon_ = std::move(icon);
    overlay->bounds_ = bounds;
    overlay->parseCoordinateBounds(bounds);
    overlay->calculateBoundingMapRect();
    overlay->rebuildMapPoint();
    return overlay;
}

std::shared_ptr<VMGroundOverlay> VMGroundOverlay::groundOverlayWithCoordinate(
    CLLocationCoordinate2D coordinate, double zoomLevel, std::shared_ptr<UIImage> icon) {
    auto overlay = std::shared_ptr<VMGroundOverlay>(new VMGroundOverlay());
    overlay->icon_ = std::move(icon);
    overlay->coordinate_ = coordinate;
    overlay->zoomLevel_ = zoomLevel;
    overlay->centerMapPoint_ = mapPointForCoordinate(coordinate);
    overlay->calculateWidthAndHeightOnMapPoint();
    overlay->calculateBoundingMapRect();
    overlay->rebuildMapPoint();
    return overlay;
}

CGSize VMGroundOverlay::pixelSize() const {
    if (!icon_) return {0, 0};
    const CGSize size = icon_->size();
    return {size.width * icon_->scale(), size.height * icon_->scale()};
}

void VMGroundOverlay::calculateWidthAndHeightOnMapPoint() {
    const CGSize pixels = pixelSize();
    const double mapPointsPerPixel = kPixelsAtZoom20 / std::exp2(zoomLevel_);
    halfWidth_ = pixels.width * mapPointsPerPixel * 0.5;
    halfHeight_ = pixels.height * mapPointsPerPixel * 0.5;
    const VMMapPoint c = centerMapPoint_;
    bounds_.northEast = coordinateForMapPoint({c.x + halfWidth_, c.y - halfHeight_});
    bounds_.southWest = coordinateForMapPoint({c.x - halfWidth_, c.y + halfHeight_});
}

void VMGroundOverlay::parseCoordinateBounds(VMCoordinateBounds bounds) {
    const VMMapPoint ne = mapPointForCoordinate(bounds.northEast);
    const VMMapPoint sw = mapPointForCoordinate(bounds.southWest);
    centerMapPoint_ = {(ne.x + sw.x) / 2, (ne.y + sw.y) / 2};
    coordinate_ = coordinateForMapPoint(centerMapPoint_);
    halfWidth_ = std::abs(ne.x - sw.x) / 2;
    halfHeight_ = std::abs(ne.y - sw.y) / 2;
    const double zoom = std::log2(pixelSize().width * kPixelsAtZoom20 / (2 * halfWidth_));
    zoomLevel_ = std::isfinite(zoom) ? zoom : kDeepestZoom;
}

void VMGroundOverlay::calculateBoundingMapRect() {
    const VMMapPoint c = centerMapPoint_;
    boundingMapRect_ = {{c.x - halfWidth_, c.y - halfHeight_}, {2 * halfWidth_, 2 * halfHeight_}};
}

void VMGroundOverlay::rebuildMapPoint() {
    const VMMapPoint c = centerMapPoint_;
    mapPoints_ = {VMMapPoint{c.x - halfWidth_, c.y + halfHeight_},
                  VMMapPoint{c.x + halfWidth_, c.y + halfHeight_},
                  VMMapPoint{c.x + halfWidth_, c.y - halfHeight_},
                  VMMapPoint{c.x - halfWidth_, c.y - halfHeight_}};
    pointsCount_ = 4;
}
