#include "VMGeodesicPolyline.h"

#include <cmath>
#include <numbers>

namespace {

bool isFinite(const VMMapPoint& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// A rational quadratic curve from a to b whose middle weight cos(span / 2) makes it a circular
// arc through an angle of the span, bulging towards the pole of the hemisphere.
void appendArc(const VMMapPoint& a, const VMMapPoint& b, double span, double meanLatitude,
               std::vector<VMMapPoint>& out) {
    const double side = meanLatitude > 0 ? -1 : 1;
    const double w = std::cos(span / 2);
    const double h = std::hypot(a.x - b.x, a.y - b.y) / 2;
    const double d = h * std::tan(span / 2);
    const VMMapPoint m{(a.x + b.x) / 2, (a.y + b.y) / 2};
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    VMMapPoint k = m;
    if (std::fabs(dx) > 1e-6) {
        k.y = m.y + side * d / std::sqrt(dy * dy / (dx * dx) + 1);
        k.x = m.x + dy * (m.y - k.y) / dx;
    }
    // The step accumulates in single precision, as the samples always have.
    for (float t = 0; t <= 1; t += 0.01f) {
        const double tt = t;
        const double u = 1 - tt;
        const double b0 = u * u;
        const double b1 = 2 * tt * u;
        const double b2 = tt * tt;
        const double denominator = b0 + w * b1 + b2;
        out.push_back({(b0 * a.x + w * b1 * k.x + b2 * b.x) / denominator,
                       (b0 * a.y + w * b1 * k.y + b2 * b.y) / denominator});
    }
}

}  // namespace

double VMGeodesicPolyline::longitudeSpanWithCoord1(CLLocationCoordinate2D coord1,
                                                   CLLocationCoordinate2D coord2) {
    return std::fabs(coord1.longitude - coord2.longitude) * std::numbers::pi / 180;
}

std::vector<VMMapPoint> VMGeodesicPolyline::geodesicLinesForMapPoints(
    std::span<const VMMapPoint> points) {
    std::vector<VMMapPoint> out;
    if (points.size() < 2) return out;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const VMMapPoint& a = points[i - 1];
        const VMMapPoint& b = points[i];
        // A pair with a point off the map has no arc to draw.
        if (!isFinite(a) || !isFinite(b)) continue;
        const CLLocationCoordinate2D ca = coordinateForMapPoint(a);
        const CLLocationCoordinate2D cb = coordinateForMapPoint(b);
        double span = longitudeSpanWithCoord1(ca, cb);
        if (span > std::numbers::pi) span -= std::numbers::pi;
        if (span < 0.01) {
            out.push_back(a);
            out.push_back(b);
        } else {
            appendArc(a, b, span, (ca.latitude + cb.latitude) / 2, out);
        }
    }
    return out;
}

std::shared_ptr<VMGeodesicPolyline> VMGeodesicPolyline::polylineWithPoints(
    std::span<const VMMapPoint> points) {
    if (points.size() < 2) return nullptr;
    const std::vector<VMMapPoint> dense = geodesicLinesForMapPoints(points);
    if (dense.size() < 2) return nullptr;
    std::shared_ptr<VMGeodesicPolyline> line(new VMGeodesicPolyline());
    line->initWithPoints(dense);
    return line;
}

std::shared_ptr<VMGeodesicPolyline> VMGeodesicPolyline::polylineWithCoordinates(
    std::span<const CLLocationCoordinate2D> coordinates) {
    if (coordinates.size() < 2) return nullptr;
    std::vector<VMMapPoint> points;
    points.reserve(coordinates.size());
    for (const CLLocationCoordinate2D& c : coordinates) points.push_back(mapPointForCoordinate(c));
    return polylineWithPoints(points);
}
