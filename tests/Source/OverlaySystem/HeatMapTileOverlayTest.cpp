#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "UIKit/UIScreen.h"
#include "VMHeatMapTileOverlay.h"

namespace {

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
    EXPECT_EQ(overlay->radius(), 12);
    EXPECT_DOUBLE_EQ(overlay->opacity(), 0.6);
    EXPECT_EQ(overlay->minimumZ(), 0);
    EXPECT_EQ(overlay->maximumZ(), 20);
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
    overlay->setData(clusterAt(centre, 1, 0));
    EXPECT_EQ(overlay->boundingMapRectForHeatMapData(),
              (VMMapRect{{0, 0}, {268435456, 268435456}}));

    auto two = std::make_shared<std::vector<std::shared_ptr<VMHeatMapNode>>>();
    two->push_back(VMHeatMapNode::create(coordinateForMapPoint({1000, 2000}), 1));
    two->push_back(VMHeatMapNode::create(coordinateForMapPoint({5000, 9000}), 1));
    overlay->setData(two);
    EXPECT_EQ(overlay->boundingMapRectForHeatMapData(), (VMMapRect{{1100, 2100}, {3800, 6800}}));
    EXPECT_EQ(overlay->heatMapnodesInMapRect({{0, 0}, {10000, 10000}}).size(), 2u);

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
