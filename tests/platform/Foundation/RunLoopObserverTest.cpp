#include <gtest/gtest.h>

#include "Foundation/NSRunLoop.h"

namespace {

// A before-waiting observer that performs a block leaves work queued just as the loop decides
// whether to sleep; the loop must run it rather than sleep or lock itself out. An observer
// removed by another during the same notification (its owner went) is not called.
TEST(RunLoopObserverTest, PerformedBlockRunsInThatTurnAndRemovedObserverIsNotCalled) {
    auto loop = NSRunLoop::mainRunLoop();
    loop->runUntilIdle();
    bool performed = false;
    bool ran = false;
    const auto token = loop->addBeforeWaitingObserver([&] {
        if (performed) return;
        performed = true;
        loop->performBlock([&] { ran = true; });
    });
    EXPECT_TRUE(loop->runOnce(5.0));
    EXPECT_TRUE(ran);
    loop->removeBeforeWaitingObserver(token);
    loop->runUntilIdle();

    int laterCalls = 0;
    NSRunLoop::Token later = 0;
    const auto earlier = loop->addBeforeWaitingObserver([&] {
        if (later) loop->removeBeforeWaitingObserver(later);
        later = 0;
    });
    later = loop->addBeforeWaitingObserver([&] { ++laterCalls; });
    loop->performBlock([] {});
    EXPECT_TRUE(loop->runOnce(0));
    EXPECT_EQ(later, 0u);
    EXPECT_EQ(laterCalls, 0);
    loop->removeBeforeWaitingObserver(earlier);
    loop->runUntilIdle();
}

}  // namespace
