#include <algorithm>

#include "QuartzCore/CAMediaTimingFunction.h"
#include "UIKit/UIViewAnimationWithBlocks.h"
#include "UITestCommon.h"

namespace {

using testsupport::colourNear;

class ViewAnimationTest : public testsupport::ManualClockTest {
  protected:
    CALayerPresentation shown() const {
        return view->layer()->presentationValues(CACurrentMediaTime());
    }

    std::shared_ptr<UIView> view = UIView::create(CGRectMake(0, 0, 100, 100));
    std::vector<std::string> order;
};

TEST_F(ViewAnimationTest, CompletionComesAfterWhatTheBlockScheduledForTheNextTurn) {
    bool finishedFlag = false;
    UIViewAnimateWithDuration(
        0,
        [&] {
            order.push_back("block");
            loop->performBlock([&] { order.push_back("next turn"); });
            loop->performAfterDelay(0, [&] { order.push_back("timer"); });
            view->setAlpha(0);
        },
        [&](bool finished) {
            finishedFlag = finished;
            order.push_back("completion");
        });
    EXPECT_EQ(order, (std::vector<std::string>{"block"}));
    // No duration: nothing animates, the change is simply there.
    EXPECT_TRUE(view->layer()->animationKeys().empty());
    EXPECT_EQ(view->alpha(), 0);
    loop->runOnce();
    EXPECT_EQ(order, (std::vector<std::string>{"block", "timer", "next turn"}));
    loop->runUntilIdle();
    EXPECT_EQ(order, (std::vector<std::string>{"block", "timer", "next turn", "completion"}));
    EXPECT_TRUE(finishedFlag);
}

TEST_F(ViewAnimationTest, ChangedPropertiesAnimateFromOldToNew) {
    auto red = UIColor::redColor();
    int completions = 0;
    UIViewAnimateWithDuration(
        1, 0, UIViewAnimationOptionCurveLinear,
        [&] {
            view->setFrame(CGRectMake(100, 50, 200, 100));
            view->setAlpha(0.2);
            view->setBackgroundColor(red);
            view->setTransform(CGAffineTransformMakeScale(3, 3));
            view->setTag(5);  // not animatable
        },
        [&](bool finished) {
            EXPECT_TRUE(finished);
            ++completions;
        });
    // The model is the new state at once.
    EXPECT_EQ(view->center(), CGPointMake(200, 100));
    auto keys = view->layer()->animationKeys();
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"backgroundColor", "bounds", "opacity", "position",
                                              "transform"}));

    advance(0.5);
    const auto mid = shown();
    EXPECT_EQ(mid.position, CGPointMake(125, 75));
    EXPECT_EQ(mid.bounds.size, CGSizeMake(150, 100));
    EXPECT_NEAR(mid.opacity, 0.6, 1e-6);
    EXPECT_TRUE(colourNear(mid.backgroundColor, {0.5, 0, 0, 0.5}, 1e-9));
    EXPECT_NEAR(mid.transform.m11, 2, 1e-9);

    advance(0.5);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(shown().position, view->center());
}

TEST_F(ViewAnimationTest, ReplacedAnimationFinishesUnfinishedAndDelayHoldsTheOldValue) {
    std::vector<bool> results;
    UIViewAnimateWithDuration(
        1,
        [&] {
            view->setCenter({150, 50});
        },
        [&](bool f) { results.push_back(f); });
    advance(0.5);
    UIViewAnimateWithDuration(
        1, 0.5, 0,
        [&] {
            view->setCenter({50, 250});
        },
        [&](bool f) { results.push_back(f); });
    advance(0.01);
    EXPECT_EQ(results, (std::vector<bool>{false}));
    // During the delay the old value shows.
    advance(0.49);
    EXPECT_EQ(shown().position, CGPointMake(150, 50));
    advance(0.5);
    EXPECT_NEAR(shown().position.y, 150, 1e-9);  // ease-in-ease-out is half way at half time
    EXPECT_EQ(results.size(), 1u);
    advance(0.5);
    EXPECT_EQ(results, (std::vector<bool>{false, true}));
}

TEST_F(ViewAnimationTest, OnlyViewLayersAndRealChangesAnimate) {
    auto loose = CALayer::layer();
    bool done = false;
    UIViewAnimateWithDuration(
        0.3,
        [&] {
            loose->setOpacity(0.5f);
            view->setAlpha(1);  // unchanged
            UIViewAnimateWithDuration(0.6, [&] { view->setAlpha(0.5); });
        },
        [&](bool) { done = true; });
    EXPECT_TRUE(loose->animationKeys().empty());
    ASSERT_EQ(view->layer()->animationKeys(), (std::vector<std::string>{"opacity"}));
    // The inner block's own duration applies to its change.
    advance(0.3);
    EXPECT_NEAR(shown().opacity, 0.75, 1e-6);
    EXPECT_TRUE(done);
}

}  // namespace
