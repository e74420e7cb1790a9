#include <gtest/gtest.h>

#include <cmath>

#include "QuartzCore/CAMediaTimingFunction.h"

namespace {

TEST(TimingFunctionTest, NamedCurvesHitKnownValuesAndStayMonotonic) {
    for (auto name :
         {kCAMediaTimingFunctionLinear, kCAMediaTimingFunctionEaseIn, kCAMediaTimingFunctionEaseOut,
          kCAMediaTimingFunctionEaseInEaseOut, kCAMediaTimingFunctionDefault}) {
        SCOPED_TRACE(std::string(name));
        auto f = CAMediaTimingFunction::functionWithName(name);
        ASSERT_NE(f, nullptr);
        EXPECT_DOUBLE_EQ(f->evaluate(0), 0);
        EXPECT_DOUBLE_EQ(f->evaluate(1), 1);
        EXPECT_DOUBLE_EQ(f->evaluate(-0.5), 0);
        EXPECT_DOUBLE_EQ(f->evaluate(1.5), 1);
        double last = 0;
        for (int i = 1; i <= 200; ++i) {
            const double y = f->evaluate(i / 200.0);
            EXPECT_GE(y, last - 1e-12);
            last = y;
        }
    }
    auto inOut = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut);
    EXPECT_NEAR(inOut->evaluate(0.2) + inOut->evaluate(0.8), 1.0, 1e-9);  // symmetric
    auto easeIn = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseIn);
    auto easeOut = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseOut);
    EXPECT_LT(easeIn->evaluate(0.5), 0.5);
    EXPECT_GT(easeOut->evaluate(0.5), 0.5);
    EXPECT_EQ(CAMediaTimingFunction::functionWithName("bouncy"), nullptr);
}

TEST(TimingFunctionTest, SolvesTheBezierForItsOwnPoints) {
    auto f =
        CAMediaTimingFunction::functionWithControlPoints(0.59367f, 0.12066f, 0.18878f, 1.5814f);
    const double c1x = 0.59367f, c1y = 0.12066f, c2x = 0.18878f, c2y = 1.5814f;
    for (double t : {0.05, 0.2, 0.37, 0.5, 0.81, 0.99}) {
        const double u = 1 - t;
        const double x = 3 * u * u * t * c1x + 3 * u * t * t * c2x + t * t * t;
        const double y = 3 * u * u * t * c1y + 3 * u * t * t * c2y + t * t * t;
        EXPECT_NEAR(f->evaluate(x), y, 1e-7) << "t=" << t;
    }
    // This curve overshoots above 1 before settling.
    EXPECT_GT(f->evaluate(0.6), 1.0);
}

TEST(TimingFunctionTest, ControlPointsAndEquality) {
    auto f = CAMediaTimingFunction::functionWithControlPoints(0.1f, 0.2f, 0.3f, 0.4f);
    float p[2] = {7, 7};
    EXPECT_FALSE(f->getControlPointAtIndex(4, p));
    EXPECT_EQ(p[0], 7.0f);

    auto same = CAMediaTimingFunction::functionWithControlPoints(0.42f, 0, 0.58f, 1);
    EXPECT_TRUE(same->isEqual(
        *CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut)));
    EXPECT_FALSE(same->isEqual(*f));

    // Time may not run backwards: x control points are kept within [0, 1].
    auto wild = CAMediaTimingFunction::functionWithControlPoints(-2.0f, 0, 3.0f, 1);
    ASSERT_TRUE(wild->getControlPointAtIndex(1, p));
    EXPECT_EQ(p[0], 0.0f);
    ASSERT_TRUE(wild->getControlPointAtIndex(2, p));
    EXPECT_EQ(p[0], 1.0f);
}

}  // namespace
