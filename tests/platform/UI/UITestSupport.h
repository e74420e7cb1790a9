#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "CoreGraphics/CGImage.h"

// Colour of the screen image at a point (in points) of a scale-2 screen.
inline CGColor screenPixel(const CGImageRef& image, CGFloat x, CGFloat y, CGFloat scale = 2) {
    return image->pixelAt(static_cast<int>(x * scale), static_cast<int>(y * scale));
}

inline ::testing::AssertionResult colourNear(CGColor actual, CGColor expected, double tol = 0.02) {
    const bool ok =
        std::abs(actual.r - expected.r) <= tol && std::abs(actual.g - expected.g) <= tol &&
        std::abs(actual.b - expected.b) <= tol && std::abs(actual.a - expected.a) <= tol;
    if (ok) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "colour (" << actual.r << ", " << actual.g << ", " << actual.b << ", " << actual.a
           << ") is not (" << expected.r << ", " << expected.g << ", " << expected.b << ", "
           << expected.a << ")";
}

inline const CGColor kRed{1, 0, 0, 1};
inline const CGColor kGreen{0, 1, 0, 1};
inline const CGColor kBlue{0, 0, 1, 1};
inline const CGColor kWhite{1, 1, 1, 1};
inline const CGColor kBlack{0, 0, 0, 1};
