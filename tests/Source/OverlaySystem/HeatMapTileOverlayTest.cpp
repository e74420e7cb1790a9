#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <thread>

#include "UIKit/UIScreen.h"
#include "VMHeatMapGradient.h"
#include "VMHeatMapTileOverlay.h"
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

struct TileResult {
    bool called = false;
    std::optional<NSData> data;
    NSErrorOpt error;
};

TileResult load(VMHeatMapTileOverlay& overlay, VMTileOverlayPath path) {
    TileResult result;
    overlay.loadTileAtPath(path, [&](std::optional<NSData> data, NSErrorOpt error) {
        result = {true, std::move(data), std::move(error)};
    });
    return result;
}

// Nodes around a map point, every one within `spread` map points of it.
VMHeatMapData clusterAt(VMMapPoint centre, int count, double spread, unsigned seed = 3) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> offset(-spread, spread);
    auto nodes = std::make_shared<std::vector<std::shared_ptr<VMHeatMapNode>>>();
    for (int i = 0; i < count; ++i) {
        nodes->push_back(VMHeatMapNode::create(
            coordinateForMapPoint({centre.x + offset(random), centre.y + offset(random)}), 1));
    }
    return nodes;
}

// The tile of zoom z holding a map point.
VMTileOverlayPath tileHolding(VMMapPoint p, int64_t z) {
    const double side = 256.0 * std::pow(2.0, 20 - z);
    return {int64_t(p.x / side), int64_t(p.y / side), z, 2};
}

class HeatMapTileOverlayTest : public ::testing::Test {
  protected:
    HeatMapTileOverlayTest() { UIScreen::mainScreen()->setCurrentModeSize(CGSizeMake(640, 1136)); }
    ~HeatMapTileOverlayTest() override { UIScreen::mainScreen()->reset(); }

    const VMMapPoint centre{134217728 + 51200, 134217728 + 76800};
    const std::shared_ptr<VMHeatMapTileOverlay> overlay = VMHeatMapTileOverlay::create();
};

}  // namespace

TEST_F(HeatMapTileOverlayTest, SettersKeepTheirRanges) {
    overlay->setRadius(250);
    EXPECT_EQ(overlay->radius(), 100);
    overlay->setRadius(-3);
    EXPECT_EQ(overlay->radius(), 0);
    overlay->setOpacity(1.5);
    EXPECT_DOUBLE_EQ(overlay->opacity(), 1.0);

    const auto gradient = VMHeatMapGradient::create();
    overlay->setGradient(gradient);
    EXPECT_NE(overlay->gradient(), gradient);
    EXPECT_EQ(overlay->gradient()->startPoints(), gradient->startPoints());
}

TEST_F(HeatMapTileOverlayTest, TheIndexCoversTheDataDrawnInByAHundred) {
    EXPECT_EQ(overlay->boundingMapRectForHeatMapData(), VMMapRect{});
    EXPECT_EQ(overlay->quadTree(), nullptr);
    overlay->setData(clusterAt(centre, 1, 0));
    EXPECT_EQ(overlay->boundingMapRectForHeatMapData(),
              (VMMapRect{{0, 0}, {268435456, 268435456}}));

    auto two = std::make_shared<std::vector<std::shared_ptr<VMHeatMapNode>>>();
    two->push_back(VMHeatMapNode::create(coordinateForMapPoint({1000, 2000}), 1));
    two->push_back(VMHeatMapNode::create(coordinateForMapPoint({5000, 9000}), 1));
    overlay->setData(two);
    EXPECT_EQ(overlay->boundingMapRectForHeatMapData(), (VMMapRect{{1100, 2100}, {3800, 6800}}));
    EXPECT_EQ(overlay->heatMapnodesInMapRect({{0, 0}, {10000, 10000}}).size(), 2u);
    // A node moved after the data was set is found where it went once the index is rebuilt.
    const auto built = overlay->quadTree();
    ASSERT_NE(built, nullptr);
    (*two)[1]->setCoordinate(coordinateForMapPoint({20000, 20000}));
    EXPECT_EQ(overlay->heatMapnodesInMapRect({{0, 0}, {10000, 10000}}).size(), 2u);
    overlay->buildQuadTree();
    EXPECT_NE(overlay->quadTree(), built);
    EXPECT_EQ(overlay->heatMapnodesInMapRect({{0, 0}, {10000, 10000}}).size(), 1u);
    EXPECT_EQ(overlay->heatMapnodesInMapRect({{15000, 15000}, {10000, 10000}}).size(), 1u);

    // Too close together to draw in: the box around them stays.
    auto close = std::make_shared<std::vector<std::shared_ptr<VMHeatMapNode>>>();
    close->push_back(VMHeatMapNode::create(coordinateForMapPoint({1000, 2000}), 1));
    close->push_back(VMHeatMapNode::create(coordinateForMapPoint({1050, 2030}), 1));
    overlay->setData(close);
    EXPECT_EQ(overlay->boundingMapRectForHeatMapData(), (VMMapRect{{1000, 2000}, {50, 30}}));
}

// The index must find exactly the nodes a scan would, for boxes inside, across and beyond the
// data's drawn-in box, with a node listed twice found once and nulls skipped.
TEST_F(HeatMapTileOverlayTest, NodesInARectAreThoseAScanFinds) {
    std::mt19937 random(3);
    std::normal_distribution<double> spread(0, 5000);
    auto nodes = std::make_shared<std::vector<std::shared_ptr<VMHeatMapNode>>>();
    for (int i = 0; i < 3000; ++i) {
        const double cx = 1e6 + (i % 3) * 40000;
        nodes->push_back(VMHeatMapNode::create(
            coordinateForMapPoint({cx + spread(random), 2e6 + spread(random)}), 1));
    }
    nodes->push_back(nodes->front());
    nodes->push_back(nullptr);
    overlay->setData(nodes);
    for (const VMMapRect rect :
         {VMMapRect{{990000, 1990000}, {20000, 20000}}, VMMapRect{{0, 0}, {3e6, 3e6}},
          VMMapRect{{1080000, 1950000}, {1e6, 100000}},
          VMMapRect{{900000, 1900000}, {2000, 2000}}}) {
        size_t scanned = 0;
        for (size_t i = 0; i + 2 < nodes->size(); ++i)
            scanned += mapRectContainsPoint(rect, mapPointForCoordinate((*nodes)[i]->coordinate()));
        EXPECT_EQ(overlay->heatMapnodesInMapRect(rect).size(), scanned);
    }
}

TEST_F(HeatMapTileOverlayTest, MaximaAreTheBrightestCellPerZoomWithoutMergingCells) {
    // Zoom 5: 1136 * 32 / 24 = 1514 cells over the data's side.
    auto nodes = std::make_shared<std::vector<std::shared_ptr<VMHeatMapNode>>>();
    const VMMapRect rect{{0, 0}, {1514000, 1514000}};  // 1000 map points per cell
    const auto add = [&](double x, double y, float intensity) {
        nodes->push_back(VMHeatMapNode::create(coordinateForMapPoint({x, y}), intensity));
    };
    add(100, 100, 2);
    add(300, 500, 3);  // the same cell as the first: 5
    add(2500, 100, 4);
    // Column 0 row 5 and column 1 row 0: one cell if keyed col * count + row with 5 points.
    add(100, 5500, 4.5f);
    add(1500, 100, 1);
    EXPECT_FLOAT_EQ(VMHeatMapTileOverlay::getMaxValueWithPoints(nodes, rect, 12, 1136 << 5), 5);

    const auto maxima = VMHeatMapTileOverlay::getMaxIntensitiesWithRadius(12, nodes, rect);
    ASSERT_TRUE(maxima);
    EXPECT_FLOAT_EQ((*maxima)[0], (*maxima)[5]);
    EXPECT_FLOAT_EQ((*maxima)[20], (*maxima)[10]);
    EXPECT_FALSE(VMHeatMapTileOverlay::getMaxIntensitiesWithRadius(0, nodes, rect));
}

TEST_F(HeatMapTileOverlayTest, TilesNearTheDataAreComputedAndOthersSayWhyNot) {
    overlay->setData(clusterAt(centre, 400, 3000));
    const VMTileOverlayPath inside = tileHolding(centre, 14);

    TileResult tile = load(*overlay, inside);
    ASSERT_TRUE(tile.called);
    ASSERT_TRUE(tile.data);
    EXPECT_FALSE(tile.error);
    EXPECT_EQ(tile.data->size(), 256u * 256u * 4u);
    int inked = 0;
    for (size_t i = 3; i < tile.data->size(); i += 4) inked += (*tile.data)[i] != 0;
    EXPECT_GT(inked, 1000);

    overlay->setAllowRetinaAdapting(true);
    tile = load(*overlay, inside);
    ASSERT_TRUE(tile.data);
    EXPECT_EQ(tile.data->size(), 512u * 512u * 4u);

    VMTileOverlayPath far = inside;
    far.x += 10;
    tile = load(*overlay, far);
    EXPECT_FALSE(tile.data);
    ASSERT_TRUE(tile.error);
    EXPECT_EQ(tile.error->domain, "ZIRidUdoErrorDomain");
    EXPECT_EQ(tile.error->code, -1);
    EXPECT_EQ(tile.error->localizedDescription, "no data in the path");

    overlay->setGradient(VMHeatMapGradient::create({UIColor::redColor()}, {0, 1}));
    tile = load(*overlay, inside);
    ASSERT_TRUE(tile.error);
    EXPECT_EQ(tile.error->localizedDescription, "create image failed");

    overlay->setRadius(0);
    tile = load(*overlay, inside);
    EXPECT_TRUE(tile.called);
    EXPECT_FALSE(tile.data);
    EXPECT_FALSE(tile.error);
}

TEST_F(HeatMapTileOverlayTest, EveryZoomReadsAMaximumInRange) {
    overlay->setMaximumZ(8);
    auto nodes = std::make_shared<std::vector<std::shared_ptr<VMHeatMapNode>>>(
        *clusterAt(centre, 50, 200000));
    nodes->push_back(VMHeatMapNode::create(coordinateForMapPoint(centre), 1));
    overlay->setData(nodes);
    for (int64_t z : {0, 1, 8, 20, 25}) {
        const TileResult tile = load(*overlay, tileHolding(centre, z));
        EXPECT_TRUE(tile.called) << z;
        EXPECT_TRUE(tile.data) << z;
    }
}

TEST_F(HeatMapTileOverlayTest, NewDataWhileTilesAreComputedIsSeenWholeOrNotAtAll) {
    overlay->setData(clusterAt(centre, 300, 3000, 1));
    const VMTileOverlayPath inside = tileHolding(centre, 14);
    std::atomic<bool> stop{false};
    std::atomic<int> tiles{0}, failures{0};
    std::thread loader([&] {
        while (!stop) {
            const TileResult tile = load(*overlay, inside);
            if (!tile.data) ++failures;
            ++tiles;
        }
    });
    for (unsigned i = 0; i < 40; ++i) {
        overlay->setData(clusterAt(centre, 300, 3000, i + 2));
        overlay->setRadius(10 + i % 5);
    }
    while (tiles < 5) std::this_thread::yield();
    stop = true;
    loader.join();
    EXPECT_EQ(failures, 0);
}

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

    // Nodes in the margin blur into the tile: just off its left edge only the blur reaches in.
    Tile margin(radius, 1);
    margin.put(-4, 50, radius, 1.0f);
    const auto blurred = margin.render(radius, 1.0f);
    ASSERT_TRUE(blurred);
    EXPECT_NE(pixelAt(*blurred, 256, 0, 50)[3], 0);
    EXPECT_EQ(pixelAt(*blurred, 256, 0, 80)[3], 0);

    // Scale two gives a tile of device pixels.
    Tile fine(radius, 2);
    fine.grid[size_t(2 * (radius + 30)) * fine.side + size_t(2 * (radius + 40))] = 4.0f;
    const auto doubled = fine.render(radius, 1.0f, 2);
    ASSERT_TRUE(doubled);
    EXPECT_EQ(doubled->size(), 512u * 512u * 4u);
    EXPECT_NE(pixelAt(*doubled, 512, 60, 80)[3], 0);
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
