#include <gtest/gtest.h>

#include "Foundation/NSRunLoop.h"

namespace {

// A before-waiting observer that performs a block leaves work queued just as the loop decides
// whether to sleep; the loop must run it rather than sleep or lock itself out.
TEST(RunLoopObserverTest, BlockPerformedByABeforeWaitingObserverRunsInThatTurn) {
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
}

}  // namespace
