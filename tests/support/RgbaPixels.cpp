#include "RgbaPixels.h"

#include <cstdlib>

namespace testsupport {

Rgba rgbaAt(std::span<const std::uint8_t> rgba, int width, int x, int y) {
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + x) * 4;
    return {rgba[at], rgba[at + 1], rgba[at + 2], rgba[at + 3]};
}

::testing::AssertionResult rgbaNear(const Rgba& actual, const Rgba& expected, int tolerance) {
    for (size_t i = 0; i < 4; ++i) {
        if (std::abs(actual[i] - expected[i]) > tolerance) {
            return ::testing::AssertionFailure()
                   << "pixel (" << actual[0] << ", " << actual[1] << ", " << actual[2] << ", "
                   << actual[3] << ") is not (" << expected[0] << ", " << expected[1] << ", "
                   << expected[2] << ", " << expected[3] << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace testsupport
