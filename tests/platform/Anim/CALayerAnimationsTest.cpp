#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AnimationProbes.h"
#include "Foundation/NSRunLoop.h"
#include "ManualClock.h"
#include "QuartzCore/CABasicAnimation.h"
#include "QuartzCore/CALayerAnimations.h"

namespace {

using testsupport::AnimationLog;
using testsupport::AnimationTarget;

class CALayerAnimationsTest : public testsupport::ManualClockTest {
  protected:
    double presented(const CALayerAnimations& list) {
        AnimationTarget values;
        values.v["opacity"] = CAValue::number(0);
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
