#include "VMMediaTimingFunction.h"

#include <cmath>

namespace {

constexpr double kHalfPi = 1.5707963267948966;
constexpr double kPi = 3.141592653589793;

// b + amount, the curves as the easing equations define them; u = 2t for the in-out halves.
double curve(int type, double t, double b, double e) {
    const double c = e - b;
    const double u = 2 * t;
    switch (type) {
        case 1:
            return b + c * t * t;
        case 2:
            return b - c * t * (t - 2);
        case 3:
            if (u < 1) return b + c / 2 * u * u;
            return b - c / 2 * ((u - 1) * ((u - 1) - 2) - 1);
        case 4:
            return b + c * t * t * t;
        case 5:
            return b + c * (std::pow(t - 1, 3) + 1);
        case 6:
            if (u < 1) return b + c / 2 * u * u * u;
            return b + c / 2 * (std::pow(u - 2, 3) + 2);
        case 7:
            return b + c * std::pow(t, 4);
        case 8:
            return b - c * (std::pow(t - 1, 4) - 1);
        case 9:
            if (u < 1) return b + c / 2 * std::pow(u, 4);
            return b - c / 2 * (std::pow(u - 2, 4) - 2);
        case 10:
            return b + c * std::pow(t, 5);
        case 11:
            return b + c * (std::pow(t - 1, 5) + 1);
        case 12:
            if (u < 1) return b + c / 2 * std::pow(u, 5);
            return b + c / 2 * (std::pow(u - 2, 5) + 2);
        case 13:
            return b + c - c * std::cos(t * kHalfPi);
        case 14:
            return b + c * std::sin(t * kHalfPi);
        case 15:
            return b - c / 2 * (std::cos(kPi * t) - 1);
        case 16:
            return b + c * std::pow(2, 10 * (t - 1));
        case 17:
            return b + c * (1 - std::pow(2, -10 * t));
        case 18:
            if (u < 1) return b + c / 2 * std::pow(2, 10 * (u - 1));
            return b + c / 2 * (2 - std::pow(2, -10 * (u - 1)));
        case 19:
            return b - c * (std::sqrt(1 - t * t) - 1);
        case 20:
            return b + c * std::sqrt(1 - (t - 1) * (t - 1));
        case 21:
            if (u < 1) return b - c / 2 * (std::sqrt(1 - u * u) - 1);
            return b + c / 2 * (std::sqrt(1 - (u - 2) * (u - 2)) + 1);
        default:
            return b + c * t;
    }
}

}  // namespace

std::shared_ptr<VMMediaTimingFunction> VMMediaTimingFunction::functionWithType(int type) {
    return std::shared_ptr<VMMediaTimingFunction>(new VMMediaTimingFunction(type));
}

double VMMediaTimingFunction::normalizeValue(double slice) {
    if (slice > 1) return 1;
    if (!(slice > 0)) return 0;
    return slice;
}

double VMMediaTimingFunction::interpolateBySlice(double slice, double start, double end) const {
    return curve(type_, normalizeValue(slice), start, end);
}
