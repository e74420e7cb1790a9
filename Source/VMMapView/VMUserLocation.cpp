#include "VMUserLocation.h"

#include "vmap_core/MapEngine.h"

CLLocationCoordinate2D VMUserLocation::offsetCoordinate(CLLocationCoordinate2D coordinate) {
    double longitude = coordinate.longitude;
    double latitude = coordinate.latitude;
    ::offsetCoordinate(&longitude, &latitude, coordinate.longitude, coordinate.latitude);
    const CLLocationCoordinate2D shifted{latitude, longitude};
    return CLLocationCoordinate2DIsValid(shifted) ? shifted : coordinate;
}
