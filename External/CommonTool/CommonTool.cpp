#include "CommonTool.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSLog.h"

namespace {

constexpr double kPi = 3.141592653589793;

struct Extent {
    double minX, minY, maxX, maxY;
};

template <class Point>
Extent extentOf(std::span<const Point> points) {
    Extent e{points[0].x, points[0].y, points[0].x, points[0].y};
    for (const Point& p : points) {
        e.minX = std::min(e.minX, p.x);
        e.minY = std::min(e.minY, p.y);
        e.maxX = std::max(e.maxX, p.x);
        e.maxY = std::max(e.maxY, p.y);
    }
    return e;
}

}  // namespace

std::optional<CGRect> CommonTool::minRectForPoints(std::span<const CGPoint> points) {
    if (points.size() < 3) {
        NSLog("%s:argument count invalid", "+[CommonTool minRectForPoints:]");
        return std::nullopt;
    }
    const Extent e = extentOf(points);
    return CGRectMake(e.minX, e.minY, e.maxX - e.minX, e.maxY - e.minY);
}

std::optional<VMMapRect> CommonTool::mapRectForMapPoints(std::span<const VMMapPoint> points) {
    if (points.size() < 2) {
        NSLog("%s:argument count invalid", "+[CommonTool mapRectForMapPoints:]");
        return std::nullopt;
    }
    const Extent e = extentOf(points);
    return VMMapRect{{e.minX, e.minY}, {e.maxX - e.minX, e.maxY - e.minY}};
}

std::optional<double> CommonTool::calculateVectorAngle(CGPoint src, CGPoint des) {
    const double lengths = std::hypot(src.x, src.y) * std::hypot(des.x, des.y);
    if (lengths == 0) {
        NSLog("calculateVectorAngle: mode is zero error");
        return std::nullopt;
    }
    // Rounding can push the cosine of parallel vectors just past 1.
    const double cosine = std::clamp((src.x * des.x + src.y * des.y) / lengths, -1.0, 1.0);
    return std::acos(cosine) * 180 / kPi;
}
