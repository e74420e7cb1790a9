#include "VMCircle.h"

#include <algorithm>
#include <cmath>
#include <numbers>

std::shared_ptr<VMCircle> VMCircle::circleWithCenterCoordinate(CLLocationCoordinate2D coordinate,
                                                               double radius) {
    std::shared_ptr<VMCircle> circle(new VMCircle());
    circle->coordinate_ = coordinate;
    circle->radius_ = radius;
    circle->calculateBoundingMapRect();
    circle->rebuildOutline();
    return circle;
}

std::shared_ptr<VMCircle> VMCircle::circleWithMapRect(VMMapRect rect) {
    const VMMapPoint origin = rect.origin;
    const double across = metersBetweenMapPoints(origin, {origin.x + rect.size.width, origin.y});
    const double down = metersBetweenMapPoints(origin, {origin.x, origin.y + rect.size.height});
    const CLLocationCoordinate2D center =
        coordinateForMapPoint({origin.x + rect.size.width / 2, origin.y + rect.size.height / 2});
    return circleWithCenterCoordinate(center, std::max(across, down) / 2);
}

void VMCircle::setCoordinate(CLLocationCoordinate2D c) {
    coordinate_ = c;
    calculateBoundingMapRect();
    rebuildOutline();
}

void VMCircle::setRadius(double metres) {
    radius_ = metres;
    calculateBoundingMapRect();
    rebuildOutline();
}

double VMCircle::mapRadius() const {
    const double r = radius_ * mapPointsPerMeterAtLatitude(coordinate_.latitude);
    return std::isfinite(r) && r > 0 ? r : 0;
}

void VMCircle::calculateBoundingMapRect() {
    if (!coordinateIsFinite(coordinate_)) {
        boundingMapRect_ = {};
        return;
    }
    const double r = mapRadius();
    const VMMapPoint c = mapPointForCoordinate(coordinate_);
    boundingMapRect_ = {{c.x - r, c.y - r}, {2 * r, 2 * r}};
}

void VMCircle::rebuildOutline() {
    if (!coordinateIsFinite(coordinate_)) {
        setMapPoints({});
        return;
    }
    const double r = mapRadius();
    const VMMapPoint c = mapPointForCoordinate(coordinate_);
    std::vector<VMMapPoint> outline(360);
    for (int i = 0; i < 360; ++i) {
        const double theta = i * std::numbers::pi / 180;
        outline[i] = {c.x + r * std::sin(theta), c.y + r * std::cos(theta)};
    }
    setMapPoints(outline);
}

// A fresh array, so that a borrowed pointer to the old one is never mistaken for the new one.
void VMCircle::setMapPoints(std::span<const VMMapPoint> points) {
    mapPoints_ = std::vector<VMMapPoint>(points.begin(), points.end());
    pointsCount_ = mapPoints_.size();
}
