#pragma once

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSData.h"
#include "UIKit/UIColor.h"

// One colour per intensity step, interpolated in HSV between the gradient's colours.
struct ColorRamp {
    static constexpr int kEntries = 1000;
    using RGBA = std::array<int, 4>;

    // nullopt when no start point lies strictly inside 0..1, or colours and start points do
    // not pair up.
    static std::optional<ColorRamp> make(std::span<const UIColorRef> colors,
                                         std::span<const double> startPoints, double opacity);

    std::array<RGBA, kEntries> entries{};
};

class VMHeatMapTileProvider {
  public:
    // Premultiplied RGBA bytes of one tile: the n x n intensity grid (n = rows = columns,
    // addressed [i * n + j] with i along x) blurred by a Gaussian of `radius` tile pixels,
    // cropped by the blur's reach on every side, and coloured through the gradient with
    // `maxIntensities` at the top of the ramp. nil when the gradient is unusable or the grid
    // is smaller than the blur.
    static std::optional<NSData> heatMapWithRadius(float radius, std::span<const UIColorRef> colors,
                                                   std::span<const double> startPoints,
                                                   double opacity,
                                                   std::span<const float> intensities,
                                                   CGSize intensitiesRowColumn,
                                                   float maxIntensities, float screenScale);
};
