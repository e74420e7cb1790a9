#include "CAMediaTimingFunction.h"

#include <algorithm>
#include <cmath>

CFTimeInterval CACurrentMediaTime() { return Clock::now(); }

CAMediaTimingFunction::CAMediaTimingFunction(std::string name, double c1x, double c1y, double c2x,
                                             double c2y)
    : name_(std::move(name)),
      points_{std::clamp(c1x, 0.0, 1.0), c1y, std::clamp(c2x, 0.0, 1.0), c2y} {
    cx_ = 3.0 * points_[0];
    bx_ = 3.0 * (points_[2] - points_[0]) - cx_;
    ax_ = 1.0 - cx_ - bx_;
    cy_ = 3.0 * points_[1];
    by_ = 3.0 * (points_[3] - points_[1]) - cy_;
    ay_ = 1.0 - cy_ - by_;
}

std::shared_ptr<CAMediaTimingFunction> CAMediaTimingFunction::functionWithName(
    std::string_view name) {
    // Kept in double precision so that the ease-in-ease-out curve is exactly symmetric.
    auto make = [](std::string_view n, double a, double b, double c, double d) {
        return std::shared_ptr<CAMediaTimingFunction>(
            new CAMediaTimingFunction(std::string(n), a, b, c, d));
    };
    static const auto linear = make(kCAMediaTimingFunctionLinear, 0, 0, 1, 1);
    static const auto easeIn = make(kCAMediaTimingFunctionEaseIn, 0.42, 0, 1, 1);
    static const auto easeOut = make(kCAMediaTimingFunctionEaseOut, 0, 0, 0.58, 1);
    static const auto easeInOut = make(kCAMediaTimingFunctionEaseInEaseOut, 0.42, 0, 0.58, 1);
    static const auto byDefault = make(kCAMediaTimingFunctionDefault, 0.25, 0.1, 0.25, 1);
    if (name == kCAMediaTimingFunctionLinear) return linear;
    if (name == kCAMediaTimingFunctionEaseIn) return easeIn;
    if (name == kCAMediaTimingFunctionEaseOut) return easeOut;
    if (name == kCAMediaTimingFunctionEaseInEaseOut) return easeInOut;
    if (name == kCAMediaTimingFunctionDefault) return byDefault;
    return nullptr;
}

std::shared_ptr<CAMediaTimingFunction> CAMediaTimingFunction::functionWithControlPoints(float c1x,
                                                                                        float c1y,
                                                                                        float c2x,
                                                                                        float c2y) {
    return std::shared_ptr<CAMediaTimingFunction>(
        new CAMediaTimingFunction({}, c1x, c1y, c2x, c2y));
}

bool CAMediaTimingFunction::getControlPointAtIndex(std::size_t index, float values[2]) const {
    switch (index) {
        case 0:
            values[0] = 0;
            values[1] = 0;
            return true;
        case 1:
        case 2:
            values[0] = static_cast<float>(points_[2 * (index - 1)]);
            values[1] = static_cast<float>(points_[2 * (index - 1) + 1]);
            return true;
        case 3:
            values[0] = 1;
            values[1] = 1;
            return true;
        default:
            return false;
    }
}

// Control points are single precision on the platform, so curves equal as floats are equal.
bool CAMediaTimingFunction::isEqual(const CAMediaTimingFunction& other) const {
    for (std::size_t i = 0; i < points_.size(); ++i)
        if (static_cast<float>(points_[i]) != static_cast<float>(other.points_[i])) return false;
    return true;
}

// Newton's method converges in a few steps on ordinary curves; bisection takes over where the
// slope is too flat for it, which x(t) being monotonic on [0, 1] makes always safe.
double CAMediaTimingFunction::solveCurveX(double x) const {
    constexpr double kEpsilon = 1e-9;
    auto curveX = [this](double t) { return ((ax_ * t + bx_) * t + cx_) * t; };
    double t = x;
    for (int i = 0; i < 8; ++i) {
        const double err = curveX(t) - x;
        if (std::fabs(err) < kEpsilon) return t;
        const double slope = (3.0 * ax_ * t + 2.0 * bx_) * t + cx_;
        if (std::fabs(slope) < 1e-6) break;
        t = std::clamp(t - err / slope, 0.0, 1.0);
    }
    double lo = 0.0, hi = 1.0;
    t = x;
    for (int i = 0; i < 64 && hi - lo > kEpsilon; ++i) {
        const double v = curveX(t);
        if (std::fabs(v - x) < kEpsilon) return t;
        if (v < x)
            lo = t;
        else
            hi = t;
        t = (lo + hi) / 2.0;
    }
    return t;
}

double CAMediaTimingFunction::evaluate(double x) const {
    x = std::clamp(x, 0.0, 1.0);
    if (x == 0.0 || x == 1.0) return x;
    const double t = solveCurveX(x);
    return ((ay_ * t + by_) * t + cy_) * t;
}
