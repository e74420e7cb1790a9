#include <gtest/gtest.h>

#include <vector>

#include "CommonTool.h"
#include "LogCapture.h"

namespace {

TEST(CommonTool, BoundingRectangles) {
    const std::vector<VMMapPoint> two = {{10, 20}, {30, 5}};
    EXPECT_EQ(CommonTool::mapRectForMapPoints(two), (VMMapRect{{10, 5}, {20, 15}}));

    const std::vector<CGPoint> three = {{1, -2}, {-4, 3}, {0.5, 7}};
    EXPECT_EQ(CommonTool::minRectForPoints(three), CGRectMake(-4, -2, 5, 9));
}

TEST(CommonTool, TooFewPointsAreReported) {
    testsupport::LogCapture log;
    EXPECT_EQ(CommonTool::minRectForPoints(std::vector<CGPoint>{{1, 1}, {2, 2}}), std::nullopt);
    EXPECT_EQ(CommonTool::mapRectForMapPoints(std::vector<VMMapPoint>{{1, 1}}), std::nullopt);
    EXPECT_EQ(CommonTool::mapRectForMapPoints({}), std::nullopt);
    EXPECT_TRUE(log.contains("+[CommonTool minRectForPoints:]:argument count invalid"));
    EXPECT_TRUE(log.contains("+[CommonTool mapRectForMapPoints:]:argument count invalid"));
}

TEST(CommonTool, VectorAngles) {
    EXPECT_NEAR(*CommonTool::calculateVectorAngle({1, 0}, {0, 2}), 90, 1e-12);
    EXPECT_NEAR(*CommonTool::calculateVectorAngle({1, 1}, {-3, -3}), 180, 1e-12);
    EXPECT_NEAR(*CommonTool::calculateVectorAngle({1, 0}, {1, 1}), 45, 1e-12);
    // Parallel vectors whose cosine rounds above 1.
    const CGPoint a{0.1, 0.1};
    EXPECT_EQ(*CommonTool::calculateVectorAngle(a, {a.x * 3, a.y * 3}), 0);
    testsupport::LogCapture log;
    EXPECT_EQ(CommonTool::calculateVectorAngle({0, 0}, {1, 0}), std::nullopt);
    EXPECT_TRUE(log.contains("calculateVectorAngle: mode is zero error"));
}

}  // namespace
