#include <gtest/gtest.h>

#include <limits>

#include "NSValueVMGeometryExtensions.h"

namespace {

constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kTiny = std::numeric_limits<double>::denorm_min();

TEST(GeometryValues, RoundTripKeepsEveryDouble) {
    const VMMapRect rects[] = {
        {{0, 0}, {0, 0}},
        {{221016352, 101710209}, {400000.25, 200000.5}},
        {{-kMax, kMax}, {-kTiny, kTiny}},
        {{-0.0, 268435455}, {-1, -2}},
    };
    for (const VMMapRect& r : rects) {
        EXPECT_EQ(VMMapRectValue(valueWithVMMapRect(r)), r);
        EXPECT_EQ(VMMapPointValue(valueWithVMMapPoint(r.origin)), r.origin);
        EXPECT_EQ(VMMapSizeValue(valueWithVMMapSize(r.size)), r.size);
    }
    EXPECT_EQ(valueWithVMMapPoint({1, 2}).objCType(), "{?=dd}");
    EXPECT_EQ(valueWithVMMapRect({{1, 2}, {3, 4}}).objCType(), "{?={?=dd}{?=dd}}");
}

}  // namespace
