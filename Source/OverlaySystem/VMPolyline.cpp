#include "VMPolyline.h"

std::shared_ptr<VMPolyline> VMPolyline::polylineWithCoordinates(
    std::span<const CLLocationCoordinate2D> coordinates) {
    std::shared_ptr<VMPolyline> line(new VMPolyline());
    line->initWithCoordinates(coordinates);
    return line;
}

std::shared_ptr<VMPolyline> VMPolyline::polylineWithPoints(std::span<const VMMapPoint> points) {
    std::shared_ptr<VMPolyline> line(new VMPolyline());
    line->initWithPoints(points);
    return line;
}

CLLocationCoordinate2D VMPolyline::coordinate() const { return centreCoordinate(); }
