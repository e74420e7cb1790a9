#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "AnimationProbes.h"
#include "Foundation/NSRunLoop.h"
#include "ManualClock.h"
#include "QuartzCore/CABasicAnimation.h"
#include "QuartzCore/CAKeyframeAnimation.h"
#include "QuartzCore/CALayerAnimations.h"

namespace {

using testsupport::AnimationLog;
using testsupport::AnimationTarget;

class CALayerAnimationsTest : public testsupport::ManualClockTest {
  protected:
    double presented(const CALayerAnimations& list, double model = 0) {
        AnimationTarget values;
        values.v["opacity"] = CAValue::number(model);
        list.applyAt(Clock::now(), values);
        return values.v["opacity"].number();
    }
    std::shared_ptr<CABasicAnimation> fade(double duration) {
        auto a = CABasicAnimation::animationWithKeyPath("opacity");
        a->setFromValue(CAValue::number(0));
        a->setToValue(CAValue::number(1));
        a->setDuration(duration);
        a->setDelegate(recorder);
        return a;
    }
    std::shared_ptr<AnimationLog> recorder = std::make_shared<AnimationLog>();
};

TEST_F(CALayerAnimationsTest, KeyframeValueMidwayAndOneCompletion) {
    std::vector<std::string> dropped;
    CALayerAnimations list([&](const std::shared_ptr<CAAnimation>&, const std::string& key) {
        dropped.push_back(key);
    });
    auto anim = CAKeyframeAnimation::animationWithKeyPath("opacity");
    anim->setValues({CAValue::number(0), CAValue::number(0.2), CAValue::number(1)});
    anim->setKeyTimes({0, 0.25, 1});
    anim->setDuration(2);
    int completions = 0;
    anim->setCompletion([&](bool finished) {
        EXPECT_TRUE(finished);
        ++completions;
    });
    list.addAnimation(anim, "fade");
    advance(1.0);
    // Halfway: a third of the way along the second segment.
    EXPECT_NEAR(presented(list, 5), 0.2 + 0.8 / 3.0, 1e-12);
    EXPECT_TRUE(list.isRunning());
    EXPECT_EQ(completions, 0);
    Clock::advance(1.0);
    EXPECT_EQ(completions, 0);  // only a run-loop turn delivers it
    loop->runUntilIdle();
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(dropped, (std::vector<std::string>{"fade"}));
    EXPECT_TRUE(list.empty());
    EXPECT_DOUBLE_EQ(presented(list, 5), 5);
    advance(5.0);
    EXPECT_EQ(completions, 1);
}

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

TEST_F(CALayerAnimationsTest, LaterBeginTimeStartsLater) {
    CALayerAnimations list;
    auto anim = fade(1);
    anim->setBeginTime(CACurrentMediaTime() + 1);
    list.addAnimation(anim, "later");
    loop->runUntilIdle();
    EXPECT_TRUE(recorder->log.empty());
    EXPECT_DOUBLE_EQ(presented(list, 0.7), 0.7);
    advance(1.5);
    EXPECT_EQ(recorder->log, (std::vector<std::string>{"start"}));
    EXPECT_DOUBLE_EQ(presented(list, 0.7), 0.5);
    advance(1);
    EXPECT_EQ(recorder->log, (std::vector<std::string>{"start", "stop YES"}));
}

TEST_F(CALayerAnimationsTest, ListGoneBeforeTheEndTellsNobody) {
    {
        CALayerAnimations list;
        list.addAnimation(fade(1), "k");
    }
    advance(2);
    EXPECT_TRUE(recorder->log.empty());
}

}  // namespace
