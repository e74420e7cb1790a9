#include <gtest/gtest.h>

#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSRunLoop.h"
#include "ManualClock.h"
#include "QuartzCore/CADisplayLink.h"
#include "QuartzCore/CAMediaTimingFunction.h"

namespace {

class DisplayLinkTest : public testsupport::ManualClockTest {
  protected:
    void frame(int n = 1) {
        for (int i = 0; i < n; ++i) advance(CADisplayLink::kRefreshPeriod);
    }
};

struct FrameCounter : NSObject {
    std::vector<CFTimeInterval> stamps;
    void drawView(CADisplayLink& link) { stamps.push_back(link.timestamp()); }
};

TEST_F(DisplayLinkTest, FiresOncePerRefreshWithTheRefreshTimestampWhileItsTargetLives) {
    auto target = std::make_shared<FrameCounter>();
    auto link = CADisplayLink::displayLinkWithTarget(target, &FrameCounter::drawView);
    const CFTimeInterval start = CACurrentMediaTime();
    link->addToRunLoop(loop);
    loop->runUntilIdle();
    EXPECT_TRUE(target->stamps.empty());
    frame();
    ASSERT_EQ(target->stamps.size(), 1u);
    EXPECT_NEAR(target->stamps[0], start + 1.0 / 60.0, 1e-9);
    frame(4);

    // A loop that ran late makes one call, stamped with the latest refresh.
    advance(3.5 / 60.0);
    ASSERT_EQ(target->stamps.size(), 6u);  // 1 + 4 + 1
    EXPECT_NEAR(target->stamps.back(), start + 8.0 / 60.0, 1e-9);

    // The run loop lets go of a link once the link finds its target gone.
    std::weak_ptr<CADisplayLink> weakLink = link;
    link.reset();
    ASSERT_FALSE(weakLink.expired());
    target.reset();
    frame();
    EXPECT_TRUE(weakLink.expired());
}

TEST_F(DisplayLinkTest, FrameIntervalPauseAndInvalidate) {
    int calls = 0;
    auto link = CADisplayLink::displayLinkWithBlock([&](CADisplayLink&) { ++calls; });
    link->setFrameInterval(3);
    link->addToRunLoop(loop);
    frame(2);
    EXPECT_EQ(calls, 0);
    frame();
    EXPECT_EQ(calls, 1);
    frame(6);
    EXPECT_EQ(calls, 3);

    link->setFrameInterval(0);
    frame(2);
    EXPECT_EQ(calls, 5);

    link->setPaused(true);
    frame(10);
    EXPECT_EQ(calls, 5);
    link->setPaused(false);
    frame();
    EXPECT_EQ(calls, 6);

    link->stepFrame();
    EXPECT_EQ(calls, 7);
    EXPECT_DOUBLE_EQ(link->timestamp(), Clock::now());

    link->invalidate();
    frame(3);
    link->stepFrame();
    link->addToRunLoop(loop);
    frame();
    EXPECT_EQ(calls, 7);
}

}  // namespace
