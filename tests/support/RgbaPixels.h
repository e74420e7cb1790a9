#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <span>

namespace testsupport {

using Rgba = std::array<int, 4>;

// The pixel at (x, y) of tightly packed RGBA rows of the given width, top row first.
Rgba rgbaAt(std::span<const std::uint8_t> rgba, int width, int x, int y);
// Whether every channel is within the tolerance (rounding of blends and conversions).
::testing::AssertionResult rgbaNear(const Rgba& actual, const Rgba& expected, int tolerance = 1);

}  // namespace testsupport
