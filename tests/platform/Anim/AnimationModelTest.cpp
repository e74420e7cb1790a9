#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "AnimationBuilders.h"
#include "AnimationProbes.h"
#include "Foundation/NSRunLoop.h"
#include "ManualClock.h"
#include "QuartzCore/CAAnimationGroup.h"
#include "QuartzCore/CABasicAnimation.h"
#include "QuartzCore/CAKeyframeAnimation.h"
#include "QuartzCore/CALayerAnimations.h"

namespace {

using testsupport::AnimationLog;
using testsupport::AnimationTarget;
using testsupport::basicAnimation;

double numberAt(const CAAnimation& anim, double time, double model = 0) {
    AnimationTarget values;
    values.v["opacity"] = CAValue::number(model);
    anim.applyAt(time, values);
    return values.v["opacity"].number();
}

TEST(CABasicAnimationTest, EndsTimingAndAWeakDelegate) {
    auto anim = basicAnimation("opacity", 2, CAValue::number(0), CAValue::number(1));
    EXPECT_DOUBLE_EQ(numberAt(*anim, 0.5, 7), 0.25);
    // Outside its active time without a fill mode the model value shows.
    EXPECT_DOUBLE_EQ(numberAt(*anim, -0.1, 7), 7);
    EXPECT_DOUBLE_EQ(numberAt(*anim, 2.0, 7), 7);
    anim->setFillMode(kCAFillModeBoth);
    EXPECT_DOUBLE_EQ(numberAt(*anim, -0.1, 7), 0);
    EXPECT_DOUBLE_EQ(numberAt(*anim, 5.0, 7), 1);

    anim->setTimingFunction(
        CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut));
    EXPECT_NEAR(numberAt(*anim, 1.0), 0.5, 1e-9);
    EXPECT_LT(numberAt(*anim, 0.4), 0.2);

    // A zero duration stands for the platform's default.
    anim->setDuration(0);
    EXPECT_DOUBLE_EQ(anim->activeDuration(), CAAnimation::kDefaultDuration);

    // The animation keeps no delegate alive.
    auto recorder = std::make_shared<AnimationLog>();
    anim->setDelegate(recorder);
    std::weak_ptr<AnimationLog> weak = recorder;
    recorder.reset();
    EXPECT_TRUE(weak.expired());
    anim->notifyDidStop(false);
}

TEST(CAAnimationTest, RepeatAndAutoreverse) {
    auto anim = basicAnimation("opacity", 1, CAValue::number(0), CAValue::number(1));
    anim->setAutoreverses(true);
    anim->setRepeatCount(2);
    anim->setFillMode(kCAFillModeForwards);
    EXPECT_DOUBLE_EQ(numberAt(*anim, 0.25), 0.25);
    EXPECT_DOUBLE_EQ(numberAt(*anim, 1.25), 0.75);
    EXPECT_DOUBLE_EQ(numberAt(*anim, 2.5), 0.5);
    // A reversing animation ends where it started.
    EXPECT_DOUBLE_EQ(numberAt(*anim, 9), 0);

    anim->setAutoreverses(false);
    anim->setRepeatCount(1.5f);
    EXPECT_DOUBLE_EQ(numberAt(*anim, 1.2), 0.2);
    EXPECT_DOUBLE_EQ(numberAt(*anim, 3), 0.5);

    anim->setRepeatCount(HUGE_VALF);
    EXPECT_NEAR(numberAt(*anim, 1000.75), 0.75, 1e-9);
}

TEST(CABasicAnimationTest, MissingEndsComeFromTheLayer) {
    auto anim = basicAnimation("opacity", 1, std::nullopt, CAValue::number(10));
    EXPECT_DOUBLE_EQ(numberAt(*anim, 0.5, 4), 7);
    anim->setToValue(std::nullopt);
    anim->setFromValue(CAValue::number(10));
    EXPECT_DOUBLE_EQ(numberAt(*anim, 0.5, 4), 7);
    anim->setByValue(CAValue::number(2));
    EXPECT_DOUBLE_EQ(numberAt(*anim, 0.5, 4), 11);
    anim->setFromValue(std::nullopt);
    EXPECT_DOUBLE_EQ(numberAt(*anim, 0.5, 4), 5);
    anim->setToValue(CAValue::number(0));
    EXPECT_DOUBLE_EQ(numberAt(*anim, 0.25, 4), -1.5);

    // A value of another kind than the property's is ignored rather than mangled.
    anim->setByValue(std::nullopt);
    anim->setToValue(CAValue::point(1, 1));
    EXPECT_DOUBLE_EQ(numberAt(*anim, 0.5, 4), 4);
}

TEST(CAKeyframeAnimationTest, SegmentsKeyTimesAndModes) {
    auto anim = CAKeyframeAnimation::animationWithKeyPath("position");
    anim->setValues({CAValue::point(0, 0), CAValue::point(100, 0), CAValue::point(100, 50)});
    anim->setDuration(1);
    // Evenly spaced without key times.
    EXPECT_EQ(*anim->valueAtProgress(0.75), CAValue::point(100, 25));
    EXPECT_EQ(*anim->valueAtProgress(-1), CAValue::point(0, 0));
    EXPECT_EQ(*anim->valueAtProgress(2), CAValue::point(100, 50));

    anim->setKeyTimes({0, 0.8, 1});
    EXPECT_EQ(*anim->valueAtProgress(0.4), CAValue::point(50, 0));
    EXPECT_EQ(*anim->valueAtProgress(0.9), CAValue::point(100, 25));
    // Key times that do not rise are not used.
    anim->setKeyTimes({0, 1, 0.5});
    EXPECT_EQ(*anim->valueAtProgress(0.25), CAValue::point(50, 0));

    anim->setKeyTimes({});
    anim->setTimingFunctions(
        {CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseIn)});
    const auto eased = anim->valueAtProgress(0.25)->v[0];
    EXPECT_LT(eased, 50);
    EXPECT_GT(eased, 0);
    // The second segment has no function of its own: linear.
    EXPECT_EQ(*anim->valueAtProgress(0.75), CAValue::point(100, 25));

    // Paced: the 100 pt leg takes two thirds of the time, the 50 pt leg one third.
    anim->setCalculationMode(kCAAnimationPaced);
    EXPECT_EQ(*anim->valueAtProgress(1.0 / 3.0), CAValue::point(50, 0));
    EXPECT_NEAR(anim->valueAtProgress(5.0 / 6.0)->v[1], 25, 1e-9);

    anim->setCalculationMode(kCAAnimationDiscrete);
    EXPECT_EQ(*anim->valueAtProgress(0.3), CAValue::point(0, 0));
    EXPECT_EQ(*anim->valueAtProgress(0.5), CAValue::point(100, 0));
    EXPECT_EQ(*anim->valueAtProgress(0.99), CAValue::point(100, 50));

    anim->setValues({});
    EXPECT_FALSE(anim->valueAtProgress(0.5).has_value());
}

TEST(CAAnimationGroupTest, RunsChildrenOnItsTimeLine) {
    auto fade = basicAnimation("opacity", 1, CAValue::number(0), CAValue::number(1));
    auto move = basicAnimation("position.x", 1, CAValue::number(0), CAValue::number(100));
    move->setBeginTime(1);
    auto group = CAAnimationGroup::animation();
    group->setAnimations({fade, move});
    group->setDuration(2);

    AnimationTarget values;
    values.v["opacity"] = CAValue::number(0.3);
    values.v["position.x"] = CAValue::number(-5);
    group->applyAt(0.5, values);
    EXPECT_DOUBLE_EQ(values.v["opacity"].number(), 0.5);
    EXPECT_DOUBLE_EQ(values.v["position.x"].number(), -5);

    values.v["opacity"] = CAValue::number(0.3);
    group->applyAt(1.5, values);
    EXPECT_DOUBLE_EQ(values.v["opacity"].number(), 0.3);
    EXPECT_DOUBLE_EQ(values.v["position.x"].number(), 50);

    // A group that holds its end holds its children's end values.
    group->setFillMode(kCAFillModeForwards);
    group->applyAt(10, values);
    EXPECT_DOUBLE_EQ(values.v["position.x"].number(), 100);
}

TEST(CAValueTest, InterpolatesByKind) {
    EXPECT_FALSE(CAValueInterpolate(CAValue::number(1), CAValue::size(1, 1), 0.5));
    EXPECT_EQ(*CAValueInterpolate(CAValue::rect(0, 0, 10, 10), CAValue::rect(10, 20, 30, 40), 0.5),
              CAValue::rect(5, 10, 20, 25));
    // Colours stay within range when a curve overshoots.
    EXPECT_EQ(*CAValueInterpolate(CAValue::color(0, 0, 0, 1), CAValue::color(1, 0.5, 0, 1), 1.2),
              CAValue::color(1, 0.6, 0, 1));

    auto rot = [](double deg) {
        const double r = deg * std::numbers::pi / 180;
        return CAValue::transform({std::cos(r), std::sin(r), 0, 0, -std::sin(r), std::cos(r), 0, 0,
                                   0, 0, 1, 0, 0, 0, 0, 1});
    };
    // A quarter turn halfway is an eighth turn, not a shrunken matrix.
    const auto half = *CAValueInterpolate(CAValue::identityTransform(), rot(90), 0.5);
    EXPECT_NEAR(half.v[0], std::cos(std::numbers::pi / 4), 1e-12);
    EXPECT_NEAR(half.v[1], std::sin(std::numbers::pi / 4), 1e-12);
    EXPECT_NEAR(std::hypot(half.v[4], half.v[5]), 1.0, 1e-12);
    // From 350° to 10° goes the short way, through 0°.
    const auto mid = *CAValueInterpolate(rot(350), rot(10), 0.5);
    EXPECT_NEAR(mid.v[0], 1.0, 1e-12);
    EXPECT_NEAR(mid.v[1], 0.0, 1e-12);

    // Scale with translation interpolates both.
    const auto big = CAValue::transform({3, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1, 0, 10, 20, 0, 1});
    const auto m = *CAValueInterpolate(CAValue::identityTransform(), big, 0.5);
    EXPECT_EQ(m, CAValue::transform({2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0, 5, 10, 0, 1}));
}

class CALayerAnimationsTest : public testsupport::ManualClockTest {
  protected:
    double presented(const CALayerAnimations& list) {
        AnimationTarget values;
        values.v["opacity"] = CAValue::number(0);
        list.applyAt(Clock::now(), values);
        return values.v["opacity"].number();
    }
    std::shared_ptr<CABasicAnimation> fade(double duration) {
        auto a = basicAnimation("opacity", duration, CAValue::number(0), CAValue::number(1));
        a->setDelegate(recorder);
        return a;
    }
    std::shared_ptr<AnimationLog> recorder = std::make_shared<AnimationLog>();
};

TEST_F(CALayerAnimationsTest, RemovedBeforeTheEndStopsUnfinishedOnALaterTurn) {
    CALayerAnimations list;
    auto first = fade(1);
    list.addAnimation(first, "k");
    loop->runUntilIdle();
    auto second = fade(1);
    second->setFromValue(CAValue::number(1));
    second->setToValue(CAValue::number(3));
    list.removeAnimation(first, "k");
    list.addAnimation(second, "k");
    // Removing needs the same animation and key.
    list.removeAnimation(second, "other");
    list.removeAnimation(first, "k");
    EXPECT_EQ(recorder->log, (std::vector<std::string>{"start"}));
    loop->runUntilIdle();
    EXPECT_EQ(recorder->log, (std::vector<std::string>{"start", "stop NO", "start"}));
    Clock::advance(0.5);
    EXPECT_DOUBLE_EQ(presented(list), 2);
    advance(0.5);
    EXPECT_EQ(recorder->log, (std::vector<std::string>{"start", "stop NO", "start", "stop YES"}));
    EXPECT_TRUE(list.empty());
}

}  // namespace
