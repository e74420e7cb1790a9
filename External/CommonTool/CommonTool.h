#pragma once

#include <optional>
#include <span>

#include "CoreGraphics/CGGeometry.h"
#include "VMGeometry.h"

// Bounding rectangles and vector angles. Wrong arguments are programming errors: they are
// logged with the failing method and give nullopt.
class CommonTool {
  public:
    // At least 3 points.
    static std::optional<CGRect> minRectForPoints(std::span<const CGPoint> points);
    // At least 2 points.
    static std::optional<VMMapRect> mapRectForMapPoints(std::span<const VMMapPoint> points);
    // The angle between the two vectors in degrees; nullopt when either has length 0.
    static std::optional<double> calculateVectorAngle(CGPoint src, CGPoint des);
};
