#pragma once

#include <cmath>
#include <concepts>
#include <limits>

// A double made into an integer the way the old platform's arithmetic behaved where it was
// defined: truncated towards zero, clamped to the target's range, NaN giving 0. A plain cast is
// undefined behaviour outside the range.
template <std::integral T>
constexpr T saturatingCast(double value) {
    if (std::isnan(value)) return 0;
    if (value <= static_cast<double>(std::numeric_limits<T>::min())) {
        return std::numeric_limits<T>::min();
    }
    // The largest 64-bit values are not doubles; compare against the first double past them.
    constexpr double limit = static_cast<double>(std::numeric_limits<T>::max() / 2 + 1) * 2.0;
    if (value >= limit) return std::numeric_limits<T>::max();
    return static_cast<T>(value);
}
