#include <gtest/gtest.h>

#include <numbers>

#include "CoreGraphics/CGGeometry.h"
#include "QuartzCore/CATransform3D.h"

namespace {

void expectNear(CGPoint a, CGPoint b) {
    EXPECT_NEAR(a.x, b.x, 1e-9);
    EXPECT_NEAR(a.y, b.y, 1e-9);
}

TEST(CGGeometry, RectFunctions) {
    const CGRect r = CGRectMake(10, 20, -4, 6);  // negative width: standardised
    EXPECT_EQ(CGRectGetMinX(r), 6);
    EXPECT_EQ(CGRectGetMidY(r), 23);
    EXPECT_TRUE(CGRectContainsPoint(CGRectMake(0, 0, 10, 10), CGPointMake(0, 0)));
    EXPECT_FALSE(CGRectContainsPoint(CGRectMake(0, 0, 10, 10), CGPointMake(10, 5)));
    EXPECT_FALSE(CGRectContainsPoint(CGRectMake(0, 0, 10, 10), CGPointMake(5, 10)));

    EXPECT_EQ(CGRectIntersection(CGRectMake(0, 0, 10, 10), CGRectMake(5, 5, 10, 10)),
              CGRectMake(5, 5, 5, 5));
    EXPECT_TRUE(CGRectIsNull(CGRectIntersection(CGRectMake(0, 0, 1, 1), CGRectMake(3, 3, 1, 1))));
    EXPECT_FALSE(CGRectIntersectsRect(CGRectMake(0, 0, 10, 10), CGRectMake(10, 0, 5, 5)));
    EXPECT_EQ(CGRectUnion(CGRectNull, CGRectMake(1, 2, 3, 4)), CGRectMake(1, 2, 3, 4));
    EXPECT_EQ(CGRectUnion(CGRectMake(0, 0, 1, 1), CGRectMake(4, 4, 1, 1)), CGRectMake(0, 0, 5, 5));
    EXPECT_EQ(CGRectIntegral(CGRectMake(0.5, 1.2, 2.1, 2.9)), CGRectMake(0, 1, 3, 4));
    EXPECT_EQ(CGRectInset(CGRectMake(0, 0, 10, 10), 2, 3), CGRectMake(2, 3, 6, 4));
    EXPECT_TRUE(CGRectIsNull(CGRectInset(CGRectMake(0, 0, 4, 4), 3, 0)));
    EXPECT_TRUE(CGRectContainsRect(CGRectMake(0, 0, 10, 10), CGRectMake(0, 0, 10, 10)));
    EXPECT_FALSE(CGRectContainsRect(CGRectMake(0, 0, 10, 10), CGRectMake(1, 1, 10, 1)));
}

TEST(CGGeometry, AffineTransforms) {
    const CGAffineTransform t = CGAffineTransformRotate(
        CGAffineTransformScale(CGAffineTransformMakeTranslation(5, 7), 2, 3), 0.7);
    const CGPoint p{3, -4};
    expectNear(
        CGPointApplyAffineTransform(CGPointApplyAffineTransform(p, t), CGAffineTransformInvert(t)),
        p);
    // Rotation by 90 degrees maps x onto y in the y-down space of views.
    expectNear(
        CGPointApplyAffineTransform({1, 0}, CGAffineTransformMakeRotation(std::numbers::pi / 2)),
        {0, 1});
    // Translate-then-scale versus scale-then-translate.
    const CGAffineTransform ts = CGAffineTransformConcat(CGAffineTransformMakeTranslation(1, 0),
                                                         CGAffineTransformMakeScale(2, 2));
    expectNear(CGPointApplyAffineTransform({0, 0}, ts), {2, 0});
    const CGRect box = CGRectApplyAffineTransform(
        CGRectMake(0, 0, 2, 1), CGAffineTransformMakeRotation(std::numbers::pi / 2));
    EXPECT_NEAR(box.size.width, 1, 1e-9);
    EXPECT_NEAR(box.size.height, 2, 1e-9);
    // A singular transform is left as it is rather than filled with infinities.
    const CGAffineTransform flat = CGAffineTransformMakeScale(0, 1);
    EXPECT_EQ(CGAffineTransformInvert(flat), flat);
}

TEST(CGGeometry, Transform3DAgreesWithAffine) {
    const CATransform3D r = CATransform3DScale(CATransform3DMakeRotation(0.4, 0, 0, 1), 2, 3, 1);
    const CGAffineTransform a = CGAffineTransformScale(CGAffineTransformMakeRotation(0.4), 2, 3);
    const CGAffineTransform fromR = CATransform3DGetAffineTransform(r);
    expectNear(CGPointApplyAffineTransform({3, -4}, fromR),
               CGPointApplyAffineTransform({3, -4}, a));
    expectNear(CGPointApplyAffineTransform({1, 7}, fromR), CGPointApplyAffineTransform({1, 7}, a));
    EXPECT_TRUE(CATransform3DIsAffine(r));
    const CATransform3D back = CATransform3DConcat(r, CATransform3DInvert(r));
    expectNear(CGPointApplyAffineTransform({3, -4}, CATransform3DGetAffineTransform(back)),
               {3, -4});
}

}  // namespace
