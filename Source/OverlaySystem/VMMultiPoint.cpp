#include "VMMultiPoint.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Foundation/NSLog.h"

void VMMultiPoint::initWithPoints(std::span<const VMMapPoint> points) {
    points_.assign(points.begin(), points.end());
    calculateBoundingMapRect();
}

void VMMultiPoint::initWithCoordinates(std::span<const CLLocationCoordinate2D> coordinates) {
    points_.clear();
    points_.reserve(coordinates.size());
    for (const CLLocationCoordinate2D& c : coordinates) {
        if (coordinateIsFinite(c)) points_.push_back(mapPointForCoordinate(c));
    }
    if (points_.size() < coordinates.size()) {
        NSLog("VMMultiPoint: left out %zu coordinates that are not finite",
              coordinates.size() - points_.size());
    }
    calculateBoundingMapRect();
}

void VMMultiPoint::calculateBoundingMapRect() {
    if (points_.empty()) return;
    double minX = points_[0].x;
    double maxX = minX;
    double minY = points_[0].y;
    double maxY = minY;
    for (const VMMapPoint& p : points_) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    boundingRect_ = {{minX, minY}, {std::fabs(maxX - minX), std::fabs(maxY - minY)}};
}

CLLocationCoordinate2D VMMultiPoint::centreCoordinate() const {
    if (points_.empty()) {
        constexpr double kNoPlace = std::numeric_limits<double>::quiet_NaN();
        return {kNoPlace, kNoPlace};
    }
    const VMMapRect& r = boundingRect_;
    return coordinateForMapPoint({r.origin.x + r.size.width / 2, r.origin.y + r.size.height / 2});
}

void VMMultiPoint::getCoordinates(CLLocationCoordinate2D* coordinates, std::size_t location,
                                  std::size_t length) const {
    if (coordinates == nullptr || length == 0 || location > points_.size() ||
        length > points_.size() - location) {
        return;
    }
    for (std::size_t k = 0; k < length; ++k) {
        coordinates[k] = coordinateForMapPoint(points_[location + k]);
    }
}
