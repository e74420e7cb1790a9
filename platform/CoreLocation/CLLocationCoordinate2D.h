#pragma once

// A geographic coordinate in degrees, latitude first, as the location platform defines it.
struct CLLocationCoordinate2D {
    double latitude = 0;
    double longitude = 0;
    bool operator==(const CLLocationCoordinate2D&) const = default;
};

inline CLLocationCoordinate2D CLLocationCoordinate2DMake(double latitude, double longitude) {
    return {latitude, longitude};
}

// Latitude within ±90 and longitude within ±180 (NaN is neither).
bool CLLocationCoordinate2DIsValid(CLLocationCoordinate2D coordinate);
