#include "VMPolygon.h"

std::shared_ptr<VMPolygon> VMPolygon::polygonWithCoordinates(
    std::span<const CLLocationCoordinate2D> coordinates) {
    std::shared_ptr<VMPolygon> polygon(new VMPolygon());
    polygon->initWithCoordinates(coordinates);
    return polygon;
}

std::shared_ptr<VMPolygon> VMPolygon::polygonWithPoints(std::span<const VMMapPoint> points) {
    std::shared_ptr<VMPolygon> polygon(new VMPolygon());
    polygon->initWithPoints(points);
    return polygon;
}

CLLocationCoordinate2D VMPolygon::coordinate() const { return centreCoordinate(); }
