#include "CLLocation.h"

#include <cmath>
#include <numbers>

bool CLLocationCoordinate2DIsValid(CLLocationCoordinate2D c) {
    return c.latitude >= -90 && c.latitude <= 90 && c.longitude >= -180 && c.longitude <= 180;
}

std::shared_ptr<CLLocation> CLLocation::create(Values values) {
    return std::shared_ptr<CLLocation>(new CLLocation(values));
}

std::shared_ptr<CLLocation> CLLocation::create(CLLocationCoordinate2D coordinate) {
    Values v;
    v.coordinate = coordinate;
    v.timestamp = std::chrono::system_clock::now();
    return create(v);
}

CLLocationDistance CLLocation::distanceFromLocation(const CLLocation& other) const {
    constexpr double kEarthRadius = 6378137.0;
    constexpr double kRad = std::numbers::pi / 180.0;
    const double lat1 = v_.coordinate.latitude * kRad;
    const double lat2 = other.v_.coordinate.latitude * kRad;
    const double dLat = lat2 - lat1;
    const double dLon = (other.v_.coordinate.longitude - v_.coordinate.longitude) * kRad;
    const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1) * std::cos(lat2) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * kEarthRadius * std::asin(std::min(1.0, std::sqrt(h)));
}

std::shared_ptr<CLHeading> CLHeading::create(Values values) {
    return std::shared_ptr<CLHeading>(new CLHeading(values));
}
