#pragma once

// A geographic coordinate in degrees, latitude first, as the location platform defines it.
struct CLLocationCoordinate2D {
    double latitude = 0;
    double longitude = 0;
    bool operator==(const CLLocationCoordinate2D&) const = default;
};
