#include "UIRotationGestureRecognizer.h"

#include <cmath>

CGFloat UIRotationGestureRecognizer::angle() const {
    const auto [a, b] = fingers();
    return std::atan2(b.y - a.y, b.x - a.x);
}

CGFloat UIRotationGestureRecognizer::startMeasure() {
    lastAngle_ = angle();
    return 0;
}

CGFloat UIRotationGestureRecognizer::followMeasure() {
    const CGFloat a = angle();
    CGFloat delta = a - lastAngle_;
    // The short way round between two samples.
    if (delta > std::numbers::pi) delta -= 2 * std::numbers::pi;
    if (delta < -std::numbers::pi) delta += 2 * std::numbers::pi;
    lastAngle_ = a;
    return measure() + delta;
}
