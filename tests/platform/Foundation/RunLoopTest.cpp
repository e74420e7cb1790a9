#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Deadline.h"
#include "Foundation/Clock.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSTimer.h"
#include "Foundation/ThreadChecker.h"
#include "ManualClock.h"
#include "ThreadChecks.h"

namespace {

using RunLoopTimers = testsupport::ManualClockTest;
using RunLoopPerform = testsupport::ManualClockTest;

// Date order and the order of equal dates are checked through the main queue's after(). A
// not-a-number interval or date fires at once instead of stalling the loop's other timers.
TEST_F(RunLoopTimers, TimerOfNoNumberIntervalFiresAtOnceAndKeepsOthersInOrder) {
    std::vector<std::string> fired;
    loop->performAfterDelay(std::nan(""), [&] { fired.push_back("nan"); });
    loop->performAfterDelay(1.0, [&] { fired.push_back("1.0"); });
    loop->performAfterDelay(0.5, [&] { fired.push_back("0.5"); });
    auto repeating = NSTimer::scheduledTimerWithTimeInterval(std::nan(""), true, [](NSTimer&) {});
    EXPECT_FALSE(std::isnan(repeating->fireDate()));
    repeating->invalidate();
    auto moved = NSTimer::scheduledTimerWithTimeInterval(5.0, false, [](NSTimer&) {});
    moved->setFireDate(std::nan(""));
    EXPECT_FALSE(std::isnan(moved->fireDate()));
    moved->invalidate();
    loop->runUntilIdle();
    EXPECT_EQ(fired, (std::vector<std::string>{"nan"}));
    advance(1.0);
    EXPECT_EQ(fired, (std::vector<std::string>{"nan", "0.5", "1.0"}));
}

// One invalidated inside its block stops; one that falls behind fires once, then keeps its
// schedule; one rescheduled inside its block keeps the new date, with no earlier one left behind.
TEST_F(RunLoopTimers, RepeatingTimersStopFallBehindAndMoveAsTold) {
    int stopped = 0;
    auto stopping = NSTimer::scheduledTimerWithTimeInterval(0.1, true, [&](NSTimer& t) {
        if (++stopped == 3) t.invalidate();
    });
    for (int i = 0; i < 10; ++i) advance(0.1);
    EXPECT_EQ(stopped, 3);
    EXPECT_FALSE(stopping->isValid());

    int behind = 0;
    auto slow = NSTimer::scheduledTimerWithTimeInterval(1.0, true, [&](NSTimer&) { ++behind; });
    advance(3.5);
    EXPECT_EQ(behind, 1);
    advance(0.5);
    EXPECT_EQ(behind, 2);
    slow->invalidate();

    int count = 0;
    auto timer = NSTimer::scheduledTimerWithTimeInterval(1.0, true, [&](NSTimer& t) {
        if (++count == 1) t.setFireDate(Clock::now() + 0.5);
    });
    const double start = Clock::now();
    advance(1.0);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(timer->fireDate(), start + 1.5);
    timer->setFireDate(Clock::now() + 100);
    for (int i = 0; i < 6; ++i) advance(0.5);
    EXPECT_EQ(count, 1);
    timer->invalidate();
}

TEST_F(RunLoopTimers, TimerMovedByAnEarlierTimerOfTheSameTurnFiresAtItsNewDate) {
    std::vector<std::string> fired;
    std::shared_ptr<NSTimer> later;
    loop->performAfterDelay(0.5, [&] {
        fired.push_back("first");
        later->setFireDate(Clock::now() + 1.0);
    });
    later = loop->performAfterDelay(0.5, [&] { fired.push_back("moved"); });
    Clock::advance(0.5);
    loop->runUntilIdle();
    EXPECT_EQ(fired, (std::vector<std::string>{"first"}));
    Clock::advance(1.0);
    loop->runUntilIdle();
    EXPECT_EQ(fired, (std::vector<std::string>{"first", "moved"}));
}

// The order of performed blocks, and of those performed during a turn, is checked through the
// main queue. A turn tells whether it ran anything; a zero delay also waits for the turn after.
TEST_F(RunLoopPerform, TurnsTellWhetherTheyRanAndAZeroDelayWaitsForTheNextTurn) {
    std::vector<int> order;
    loop->performBlock([&] {
        loop->performAfterDelay(0, [&] { order.push_back(2); });
        order.push_back(1);
    });
    EXPECT_TRUE(loop->runOnce());
    EXPECT_EQ(order, (std::vector<int>{1}));
    loop->runUntilIdle();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_FALSE(loop->runOnce());
}

// Also a delayed one, which waits for its date.
TEST_F(RunLoopPerform, BlocksFromOtherThreadsWakeTheLoopAndRunOnIt) {
    std::atomic<int> done{0};
    std::thread::id ranOn, delayedRanOn;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i)
            loop->performBlock([&] {
                ranOn = std::this_thread::get_id();
                ++done;
            });
        loop->performAfterDelay(1.0, [&] { delayedRanOn = std::this_thread::get_id(); });
    });
    EXPECT_TRUE(testsupport::runUntil([&] { return done.load() == 100; }));
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    loop->runUntilIdle();
    EXPECT_EQ(delayedRanOn, std::thread::id());
    advance(1.0);
    EXPECT_EQ(delayedRanOn, std::this_thread::get_id());
}

// Timers, sources, observers and turns belong to the loop's thread; another thread goes through
// performBlock or performAfterDelay.
TEST(RunLoopDeathTest, ChangingTheLoopFromAnotherThreadFailsLoudly) {
    BRISFOLD_THREAD_CHECK_DEATH_TEST();
    using Call = std::function<void(NSRunLoop&, NSTimer & scheduled)>;
    const std::vector<std::pair<const char*, Call>> calls = {
        {"addTimer",
         [](NSRunLoop& l, NSTimer&) {
             l.addTimer(NSTimer::timerWithTimeInterval(1, false, [](NSTimer&) {}));
         }},
        {"setFireDate", [](NSRunLoop&, NSTimer& t) { t.setFireDate(Clock::now()); }},
        {"addFileDescriptor",
         [](NSRunLoop& l, NSTimer&) { l.addFileDescriptor(0, 0, [](short) {}); }},
        {"addBeforeWaitingObserver",
         [](NSRunLoop& l, NSTimer&) { l.addBeforeWaitingObserver([] {}); }},
        {"runOnce", [](NSRunLoop& l, NSTimer&) { l.runOnce(); }},
    };
    auto loop = NSRunLoop::mainRunLoop();
    auto scheduled = loop->performAfterDelay(100, [] {});
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        EXPECT_DEATH(std::thread([&, &call = call] { call(*loop, *scheduled); }).join(),
                     "NSRunLoop used off its thread: .*NSRunLoop::");
    }
    scheduled->invalidate();
}

TEST(RunLoopThreads, EachHasItsOwnLoopWhichStopsFromAnotherThreadAndRealTimersFire) {
    auto loop = NSRunLoop::mainRunLoop();
    int fired = 0;
    loop->performAfterDelay(0.02, [&] { ++fired; });
    std::shared_ptr<NSRunLoop> other;
    std::thread stopper([&] {
        other = NSRunLoop::currentRunLoop();
        EXPECT_FALSE(NSRunLoop::isMainThread());
        loop->performAfterDelay(0.05, [&] { loop->stop(); });
    });
    stopper.join();
    EXPECT_NE(other, loop);
    EXPECT_EQ(NSRunLoop::currentRunLoop(), loop);
    bool gaveUp = false;
    const auto deadline = loop->performAfterDelay(testsupport::kPatience, [&] {
        gaveUp = true;
        loop->stop();
    });
    loop->run();
    deadline->invalidate();
    EXPECT_FALSE(gaveUp);
    EXPECT_EQ(fired, 1);
}

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
