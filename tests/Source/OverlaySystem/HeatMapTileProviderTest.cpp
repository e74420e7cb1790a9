#include <gtest/gtest.h>

#include <cmath>

#include "VMHeatMapGradient.h"
#include "VMHeatMapTileProvider.h"

namespace {

using RGBA = ColorRamp::RGBA;

ColorRamp defaultRamp(double opacity) {
    const auto gradient = VMHeatMapGradient::create();
    auto ramp = ColorRamp::make(gradient->colors(), gradient->startPoints(), opacity);
    EXPECT_TRUE(ramp.has_value());
    return ramp.value_or(ColorRamp{});
}

struct Tile {
    int side = 0;
    std::vector<float> grid;

    Tile(int radius, float scale)
        : side(static_cast<int>(scale * (256 + 2 * radius))), grid(size_t(side) * side, 0.0f) {}
    // A node at tile pixel (x, y), as the overlay splats it: offset by the radius margin.
    void put(int x, int y, int radius, float intensity) {
        grid[size_t(x + radius) * side + size_t(y + radius)] += intensity;
    }
    std::optional<NSData> render(int radius, float max, float scale = 1, double opacity = 0.6) {
        const auto gradient = VMHeatMapGradient::create();
        return VMHeatMapTileProvider::heatMapWithRadius(float(radius), gradient->colors(),
                                                        gradient->startPoints(), opacity, grid,
                                                        CGSizeMake(side, side), max, scale);
    }
};

RGBA pixelAt(const NSData& data, int width, int x, int y) {
    const size_t at = (size_t(y) * width + x) * 4;
    return {data[at], data[at + 1], data[at + 2], data[at + 3]};
}

}  // namespace

TEST(HeatMapColorRamp, DefaultGradientRunsBlueGreenRedAtSixTenthsAlpha) {
    const ColorRamp ramp = defaultRamp(0.6);
    // Fading in from transparent blue.
    EXPECT_EQ(ramp.entries[0], (RGBA{0, 0, 255, 0}));
    EXPECT_EQ(ramp.entries[100], (RGBA{0, 0, 255, 76}));  // (int)(127 * 0.6)
    EXPECT_EQ(ramp.entries[200], (RGBA{0, 0, 255, 153}));
    // Halfway from blue (240 degrees) to green (120) is cyan.
    EXPECT_EQ(ramp.entries[350], (RGBA{0, 255, 255, 153}));
    EXPECT_EQ(ramp.entries[500], (RGBA{0, 255, 0, 153}));
    EXPECT_EQ(ramp.entries[700], (RGBA{255, 255, 0, 153}));
    for (int e : {900, 950, 999}) EXPECT_EQ(ramp.entries[e], (RGBA{255, 0, 0, 153})) << e;

    EXPECT_EQ(defaultRamp(1.0).entries[999], (RGBA{255, 0, 0, 255}));
}

TEST(HeatMapColorRamp, StartPointsOnTheEdgesAreDroppedWithTheirColours) {
    const std::vector<UIColorRef> colors{UIColor::blueColor(), UIColor::greenColor(),
                                         UIColor::redColor()};
    const auto ramp = ColorRamp::make(colors, std::vector<double>{0, 0.5, 1}, 1.0);
    ASSERT_TRUE(ramp);
    EXPECT_EQ(ramp->entries[0], (RGBA{0, 0, 255, 0}));
    EXPECT_EQ(ramp->entries[250][3], 127);
    EXPECT_EQ(ramp->entries[499][2], 255);
    for (int e : {500, 750, 999}) EXPECT_EQ(ramp->entries[e], (RGBA{0, 0, 255, 255})) << e;

    EXPECT_FALSE(ColorRamp::make(colors, std::vector<double>{0, 1}, 1.0));
    EXPECT_FALSE(ColorRamp::make({}, std::vector<double>{0.5}, 1.0));
    // More start points than colours: the extra points go.
    const auto two =
        ColorRamp::make(std::span(colors).first(2), std::vector<double>{0.2, 0.5, 0.9}, 1);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->entries[999], (RGBA{0, 255, 0, 255}));
}

TEST(HeatMapColorRamp, HueWrappingPastRedContinuesFromRed) {
    // Yellow (60 degrees) to magenta (300) goes the short way, through red.
    const std::vector<UIColorRef> colors{UIColor::yellowColor(), UIColor::magentaColor()};
    const auto ramp = ColorRamp::make(colors, std::vector<double>{0.2, 0.6}, 1.0);
    ASSERT_TRUE(ramp);
    EXPECT_EQ(ramp->entries[200], (RGBA{255, 255, 0, 255}));
    // A quarter of the way: hue 30, orange, not red.
    EXPECT_EQ(ramp->entries[300], (RGBA{255, 127, 0, 255}));
    EXPECT_EQ(ramp->entries[400], (RGBA{255, 0, 0, 255}));
    EXPECT_EQ(ramp->entries[599][0], 255);
    EXPECT_GT(ramp->entries[599][2], 240);
}

TEST(HeatMapTileProvider, LoneNodeAtTheMaximumTakesTheTopOfTheRamp) {
    const int radius = 12;
    Tile tile(radius, 1);
    tile.put(10, 20, radius, 5.0f);
    const auto data = tile.render(radius, 5.0f);
    ASSERT_TRUE(data);
    ASSERT_EQ(data->size(), 256u * 256u * 4u);

    const RGBA centre = pixelAt(*data, 256, 10, 20);
    EXPECT_NEAR(centre[0], 153, 1);  // red premultiplied by 0.6
    EXPECT_EQ(centre[1], 0);
    EXPECT_EQ(centre[2], 0);
    EXPECT_EQ(centre[3], 153);
    // The blur is round: equal distances along x and y give equal colours, fading outwards.
    EXPECT_EQ(pixelAt(*data, 256, 16, 20), pixelAt(*data, 256, 10, 26));
    EXPECT_NE(pixelAt(*data, 256, 16, 20), centre);
    EXPECT_EQ(pixelAt(*data, 256, 100, 100), (RGBA{0, 0, 0, 0}));
    // Beyond the kernel's reach nothing is drawn.
    EXPECT_EQ(pixelAt(*data, 256, 10 + radius + 1, 20), (RGBA{0, 0, 0, 0}));
}

TEST(HeatMapTileProvider, NodesInTheMarginBlurIntoTheTile) {
    const int radius = 12;
    Tile tile(radius, 1);
    // Just off the tile's left edge: only its blur reaches in.
    tile.put(-4, 50, radius, 1.0f);
    const auto data = tile.render(radius, 1.0f);
    ASSERT_TRUE(data);
    EXPECT_NE(pixelAt(*data, 256, 0, 50)[3], 0);
    EXPECT_EQ(pixelAt(*data, 256, 0, 80)[3], 0);
}

TEST(HeatMapTileProvider, ScaleTwoGivesATileOfDevicePixels) {
    const int radius = 12;
    Tile tile(radius, 2);
    tile.grid[size_t(2 * (radius + 30)) * tile.side + size_t(2 * (radius + 40))] = 4.0f;
    const auto data = tile.render(radius, 1.0f, 2);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->size(), 512u * 512u * 4u);
    EXPECT_NE(pixelAt(*data, 512, 60, 80)[3], 0);
}

TEST(HeatMapTileProvider, UnusableInputGivesNothingOrTheRampsEnd) {
    const int radius = 12;
    Tile tile(radius, 1);
    tile.put(10, 10, radius, 1.0f);
    const auto gradient = VMHeatMapGradient::create();
    // A grid no larger than the blur's reach, and a grid shorter than it claims.
    EXPECT_FALSE(VMHeatMapTileProvider::heatMapWithRadius(
        12, gradient->colors(), gradient->startPoints(), 0.6, tile.grid, CGSizeMake(24, 24), 1, 1));
    EXPECT_FALSE(VMHeatMapTileProvider::heatMapWithRadius(
        12, gradient->colors(), gradient->startPoints(), 0.6, std::span(tile.grid).first(1000),
        CGSizeMake(tile.side, tile.side), 1, 1));
    // A gradient with no usable start point.
    EXPECT_FALSE(VMHeatMapTileProvider::heatMapWithRadius(12, gradient->colors(),
                                                          std::vector<double>{0, 1}, 0.6, tile.grid,
                                                          CGSizeMake(tile.side, tile.side), 1, 1));

    // A maximum of zero, or an intensity that is not a number, takes the ramp's last entry;
    // empty cells stay transparent.
    for (float max : {0.0f, -1.0f}) {
        const auto data = tile.render(radius, max);
        ASSERT_TRUE(data);
        EXPECT_EQ(pixelAt(*data, 256, 10, 10)[3], 153) << max;
        EXPECT_EQ(pixelAt(*data, 256, 200, 200)[3], 0) << max;
    }
    tile.put(100, 100, radius, std::nanf(""));
    const auto data = tile.render(radius, 1.0f);
    ASSERT_TRUE(data);
    EXPECT_EQ(pixelAt(*data, 256, 100, 100)[3], 153);
}
