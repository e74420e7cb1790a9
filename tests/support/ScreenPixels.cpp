#include "ScreenPixels.h"

#include <cmath>

namespace testsupport {

CGColor screenPixel(const CGImageRef& image, CGFloat x, CGFloat y, CGFloat scale) {
    return image->pixelAt(static_cast<int>(x * scale), static_cast<int>(y * scale));
}

bool coloursClose(CGColor actual, CGColor expected, double tolerance) {
    return std::abs(actual.r - expected.r) <= tolerance &&
           std::abs(actual.g - expected.g) <= tolerance &&
           std::abs(actual.b - expected.b) <= tolerance &&
           std::abs(actual.a - expected.a) <= tolerance;
}

::testing::AssertionResult colourNear(CGColor actual, CGColor expected, double tolerance) {
    if (coloursClose(actual, expected, tolerance)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "colour (" << actual.r << ", " << actual.g << ", " << actual.b << ", " << actual.a
           << ") is not (" << expected.r << ", " << expected.g << ", " << expected.b << ", "
           << expected.a << ")";
}

}  // namespace testsupport
