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

TEST(GeometryValues, ValueReadsBackOnlyAsWhatItHolds) {
    const NSValue point = valueWithVMMapPoint({7, 8});
    const NSValue rect = valueWithVMMapRect({{1, 2}, {3, 4}});
    // A rectangle's reader would copy twice the bytes a point holds.
    EXPECT_EQ(VMMapRectValue(point), std::nullopt);
    EXPECT_EQ(VMMapPointValue(rect), std::nullopt);
    EXPECT_EQ(VMMapSizeValue(rect), std::nullopt);
    // A point and a size are both two doubles under one encoding.
    EXPECT_EQ(VMMapSizeValue(point), (VMMapSize{7, 8}));
    EXPECT_EQ(VMMapPointValue(valueWithVMMapSize({5, 6})), (VMMapPoint{5, 6}));
}

TEST(GeometryValues, BoxedPointsTravelInArrays) {
    const std::vector<NSValue> boxed{valueWithVMMapPoint({1, 2}), valueWithVMMapPoint({3, 4})};
    EXPECT_EQ(VMMapPointValue(boxed[1]), (VMMapPoint{3, 4}));
    EXPECT_TRUE(boxed[0].isEqualToValue(valueWithVMMapPoint({1, 2})));
    EXPECT_FALSE(boxed[0].isEqualToValue(boxed[1]));
}

}  // namespace
