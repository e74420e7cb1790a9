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

CLLocationCoordinate2D VMPolyline::coordinate() const {
    const VMMapRect& r = boundingRect();
    return coordinateForMapPoint({r.origin.x + r.size.width / 2, r.origin.y + r.size.height / 2});
}
