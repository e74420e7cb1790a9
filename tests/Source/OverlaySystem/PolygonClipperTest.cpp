#include <gtest/gtest.h>

#include <cmath>

#include "VMPolygonClipper.h"

namespace {

using P = Vector3<float>;

double signedArea(const VMPointList& polygon) {
    double sum = 0;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        sum += double(polygon[j].x) * polygon[i].y - double(polygon[j].y) * polygon[i].x;
    }
    return sum / 2;
}

bool hasPoint(const VMPointList& list, P p) {
    for (const P& q : list) {
        if (std::fabs(q.x - p.x) < 1e-4 && std::fabs(q.y - p.y) < 1e-4) return true;
    }
    return false;
}

class PolygonClipping : public ::testing::Test {
  protected:
    void SetUp() override { clipper.setWindow({P{0, 0}, P{10, 0}, P{10, 10}, P{0, 10}}); }
    VMPolygonClipper clipper;
    VMPolygonList result;
};

TEST_F(PolygonClipping, InsideOutsideAndContainingTheWindow) {
    const VMPointList inside{{2, 2}, {4, 2}, {4, 4}, {2, 4}};
    ASSERT_TRUE(clipper.clipPolygon(inside, result, 0));
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0], inside);

    ASSERT_TRUE(clipper.clipPolygon({{20, 20}, {24, 20}, {24, 24}, {20, 24}}, result, 0));
    EXPECT_TRUE(result.empty());

    ASSERT_TRUE(clipper.clipPolygon({{-5, -5}, {15, -5}, {15, 15}, {-5, 15}}, result, 0));
    ASSERT_EQ(result.size(), 1u);
    ASSERT_EQ(result[0].size(), 4u);
    for (const P corner : {P{0, 0}, P{10, 0}, P{10, 10}, P{0, 10}}) {
        EXPECT_TRUE(hasPoint(result[0], corner));
    }

    EXPECT_FALSE(clipper.clipPolygon({{1, 1}, {2, 2}}, result, 0));
    EXPECT_TRUE(result.empty());
}

TEST_F(PolygonClipping, CrossingOneEdgeKeepsTheInsidePart) {
    for (const bool reversed : {false, true}) {
        VMPointList square{{5, 2}, {15, 2}, {15, 8}, {5, 8}};
        if (reversed) std::reverse(square.begin(), square.end());
        ASSERT_TRUE(clipper.clipPolygon(square, result, 0));
        ASSERT_EQ(result.size(), 1u);
        ASSERT_EQ(result[0].size(), 4u);
        EXPECT_NEAR(std::fabs(signedArea(result[0])), 30, 1e-4);
        for (const P p : {P{5, 2}, P{10, 2}, P{10, 8}, P{5, 8}})
            EXPECT_TRUE(hasPoint(result[0], p));
    }
}

TEST_F(PolygonClipping, LeavingAndReenteringTwiceGivesTwoPolygons) {
    // An arch whose legs stand in the window and whose top lies above it.
    const VMPointList arch{{2, 2}, {4, 2}, {4, 12}, {6, 12}, {6, 2}, {8, 2}, {8, 14}, {2, 14}};
    ASSERT_TRUE(clipper.clipPolygon(arch, result, 0));
    ASSERT_EQ(result.size(), 2u);
    for (const VMPointList& leg : result) {
        EXPECT_NEAR(std::fabs(signedArea(leg)), 16, 1e-4);
        for (const P& p : leg) {
            EXPECT_TRUE(p.x >= 0 && p.x <= 10 && p.y >= 0 && p.y <= 10);
        }
    }
    EXPECT_NE(result[0][0].x < 5, result[1][0].x < 5);
}

TEST_F(PolygonClipping, VerticesOnWindowEdgesStillCross) {
    // A 16-gon about the window's corner has vertices on two edge lines: a quarter remains.
    VMPointList polygon;
    for (int i = 0; i < 16; ++i) {
        const double a = 2 * M_PI * i / 16;
        polygon.push_back({float(8 * std::cos(a)), float(8 * std::sin(a)), 0});
    }
    ASSERT_TRUE(clipper.clipPolygon(polygon, result, 0));
    ASSERT_EQ(result.size(), 1u);
    EXPECT_NEAR(std::fabs(signedArea(result[0])), std::fabs(signedArea(polygon)) / 4, 1e-3);
}

TEST_F(PolygonClipping, PolygonsBeyondSixteenBitNodesClipWhole) {
    // A circle of 70,000 vertices over the window's corner: a quarter disc remains. Its centre is
    // off the corner so that no vertex lies on a window edge, where crossings are not counted.
    VMPointList circle;
    const int n = 70000;
    for (int i = 0; i < n; ++i) {
        const double a = 2 * M_PI * i / n;
        circle.push_back({float(0.5 + 8 * std::cos(a)), float(0.5 + 8 * std::sin(a)), 0});
    }
    ASSERT_TRUE(clipper.clipPolygon(circle, result, 0));
    ASSERT_EQ(result.size(), 1u);
    // The disc's part in the first quadrant: a quarter disc plus two strips, less the corner
    // square.
    const double strip = 0.5 * std::sqrt(64 - 0.25) + 64 * std::asin(0.5 / 8);
    EXPECT_NEAR(std::fabs(signedArea(result[0])), M_PI * 16 + strip + 0.25, 0.05);
}

TEST(PolylineClipping, RunningOutAndBackKeepsBothCrossings) {
    const P window[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    VMPointList out;
    ASSERT_TRUE(clipPolyline({{2, 2}, {5, 15}, {8, 2}}, false, window, 4, out, 0));
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0], (P{2, 2}));
    EXPECT_NEAR(out[1].x, 2 + 3 * 8.0 / 13, 1e-5);
    EXPECT_NEAR(out[1].y, 10, 1e-5);
    EXPECT_NEAR(out[2].x, 8 - 3 * 8.0 / 13, 1e-5);
    EXPECT_EQ(out[3], (P{8, 2}));

    EXPECT_FALSE(clipPolyline({{20, 20}, {30, 30}}, false, window, 4, out, 0));
    EXPECT_FALSE(clipPolyline({{2, 2}, {3, 3}}, true, window, 4, out, 0));
    EXPECT_FALSE(clipPolyline({{2, 2}, {3, 3}}, false, window, 2, out, 0));
}

}  // namespace
