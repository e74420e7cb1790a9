#include "VMMediaTimingFunction.h"

#include <array>
#include <cmath>

namespace {

constexpr double kHalfPi = 1.5707963267948966;
constexpr double kPi = 3.141592653589793;

}  // namespace

double VMMediaTimingFunction::linearInterpolateBySlice(double t, double b, double e) {
    return b + (e - b) * t;
}

double VMMediaTimingFunction::easeInQuadraticInterpolateBySlice(double t, double b, double e) {
    return b + (e - b) * t * t;
}

double VMMediaTimingFunction::easeOutQuadraticInterpolateBySlice(double t, double b, double e) {
    return b - (e - b) * t * (t - 2);
}

double VMMediaTimingFunction::easeInEaseOutQuadraticInterpolateBySlice(double t, double b,
                                                                       double e) {
    const double c = e - b, u = 2 * t;
    if (u < 1) return b + c / 2 * u * u;
    const double w = u - 1;
    return b - c / 2 * (w * (w - 2) - 1);
}

double VMMediaTimingFunction::easeInCubicInterpolateBySlice(double t, double b, double e) {
    return b + (e - b) * t * t * t;
}

double VMMediaTimingFunction::easeOutCubicInterpolateBySlice(double t, double b, double e) {
    return b + (e - b) * (std::pow(t - 1, 3) + 1);
}

double VMMediaTimingFunction::easeInEaseOutCubicInterpolateBySlice(double t, double b, double e) {
    const double c = e - b, u = 2 * t;
    if (u < 1) return b + c / 2 * u * u * u;
    return b + c / 2 * (std::pow(u - 2, 3) + 2);
}

double VMMediaTimingFunction::easeInQuarticInterpolateBySlice(double t, double b, double e) {
    return b + (e - b) * std::pow(t, 4);
}

double VMMediaTimingFunction::easeOutQuarticInterpolateBySlice(double t, double b, double e) {
    return b - (e - b) * (std::pow(t - 1, 4) - 1);
}

double VMMediaTimingFunction::easeInEaseOutQuarticInterpolateBySlice(double t, double b, double e) {
    const double c = e - b, u = 2 * t;
    if (u < 1) return b + c / 2 * std::pow(u, 4);
    return b - c / 2 * (std::pow(u - 2, 4) - 2);
}

double VMMediaTimingFunction::easeInQuinticInterpolateBySlice(double t, double b, double e) {
    return b + (e - b) * std::pow(t, 5);
}

double VMMediaTimingFunction::easeOutQuinticInterpolateBySlice(double t, double b, double e) {
    return b + (e - b) * (std::pow(t - 1, 5) + 1);
}

double VMMediaTimingFunction::easeInEaseOutQuinticInterpolateBySlice(double t, double b, double e) {
    const double c = e - b, u = 2 * t;
    if (u < 1) return b + c / 2 * std::pow(u, 5);
    return b + c / 2 * (std::pow(u - 2, 5) + 2);
}

double VMMediaTimingFunction::easeInSinInterpolateBySlice(double t, double b, double e) {
    const double c = e - b;
    return b + c - c * std::cos(t * kHalfPi);
}

double VMMediaTimingFunction::easeOutSinInterpolateBySlice(double t, double b, double e) {
    return b + (e - b) * std::sin(t * kHalfPi);
}

double VMMediaTimingFunction::easeInEaseOutSinInterpolateBySlice(double t, double b, double e) {
    return b - (e - b) / 2 * (std::cos(kPi * t) - 1);
}

double VMMediaTimingFunction::easeInExpInterpolateBySlice(double t, double b, double e) {
    return b + (e - b) * std::pow(2, 10 * (t - 1));
}

double VMMediaTimingFunction::easeOutExpInterpolateBySlice(double t, double b, double e) {
    return b + (e - b) * (1 - std::pow(2, -10 * t));
}

double VMMediaTimingFunction::easeInEaseOutExpInterpolateBySlice(double t, double b, double e) {
    const double c = e - b, u = 2 * t;
    if (u < 1) return b + c / 2 * std::pow(2, 10 * (u - 1));
    return b + c / 2 * (2 - std::pow(2, -10 * (u - 1)));
}

double VMMediaTimingFunction::easeInCircularInterpolateBySlice(double t, double b, double e) {
    return b - (e - b) * (std::sqrt(1 - t * t) - 1);
}

double VMMediaTimingFunction::easeOutCircularInterpolateBySlice(double t, double b, double e) {
    return b + (e - b) * std::sqrt(1 - (t - 1) * (t - 1));
}

double VMMediaTimingFunction::easeInEaseOutCircularInterpolateBySlice(double t, double b,
                                                                      double e) {
    const double c = e - b, u = 2 * t;
    if (u < 1) return b - c / 2 * (std::sqrt(1 - u * u) - 1);
    return b + c / 2 * (std::sqrt(1 - (u - 2) * (u - 2)) + 1);
}

double VMMediaTimingFunction::interpolateWithType(int type, double s, double b, double e) {
    using Curve = double (*)(double, double, double);
    static constexpr std::array<Curve, 22> kCurves{
        &linearInterpolateBySlice,
        &easeInQuadraticInterpolateBySlice,
        &easeOutQuadraticInterpolateBySlice,
        &easeInEaseOutQuadraticInterpolateBySlice,
        &easeInCubicInterpolateBySlice,
        &easeOutCubicInterpolateBySlice,
        &easeInEaseOutCubicInterpolateBySlice,
        &easeInQuarticInterpolateBySlice,
        &easeOutQuarticInterpolateBySlice,
        &easeInEaseOutQuarticInterpolateBySlice,
        &easeInQuinticInterpolateBySlice,
        &easeOutQuinticInterpolateBySlice,
        &easeInEaseOutQuinticInterpolateBySlice,
        &easeInSinInterpolateBySlice,
        &easeOutSinInterpolateBySlice,
        &easeInEaseOutSinInterpolateBySlice,
        &easeInExpInterpolateBySlice,
        &easeOutExpInterpolateBySlice,
        &easeInEaseOutExpInterpolateBySlice,
        &easeInCircularInterpolateBySlice,
        &easeOutCircularInterpolateBySlice,
        &easeInEaseOutCircularInterpolateBySlice,
    };
    if (type < 1 || type > 21) return linearInterpolateBySlice(s, b, e);
    return kCurves[static_cast<std::size_t>(type)](s, b, e);
}

std::shared_ptr<VMMediaTimingFunction> VMMediaTimingFunction::functionWithType(int type) {
    return std::shared_ptr<VMMediaTimingFunction>(new VMMediaTimingFunction(type));
}

double VMMediaTimingFunction::normalizeValue(double slice) {
    if (slice > 1) return 1;
    if (!(slice > 0)) return 0;
    return slice;
}

double VMMediaTimingFunction::interpolateBySlice(double slice, double start, double end) const {
    return interpolateWithType(type_, normalizeValue(slice), start, end);
}
