#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Deadline.h"
#include "Foundation/Clock.h"
#include "Foundation/Dispatch.h"
#include "Foundation/NSRunLoop.h"
#include "Gate.h"
#include "ManualClock.h"

namespace {

using testsupport::runUntil;
using testsupport::waitUntil;

void recordMax(std::atomic<int>& max, int value) {
    int seen = max.load();
    while (value > seen && !max.compare_exchange_weak(seen, value)) {
    }
}

class DispatchTest : public ::testing::Test {
  protected:
    void SetUp() override { loop->runUntilIdle(); }
    void TearDown() override { loop->runUntilIdle(); }
    std::shared_ptr<NSRunLoop> loop = NSRunLoop::mainRunLoop();
};

TEST_F(DispatchTest, MainQueueDefersToTheRunLoopInFifoOrderEvenFromMain) {
    std::vector<int> order;
    auto main = DispatchQueue::main();
    main->async([&] {
        order.push_back(1);
        main->async([&] { order.push_back(4); });
    });
    main->async([&] { order.push_back(2); });
    std::thread other([&] { main->async([&] { order.push_back(3); }); });
    other.join();
    EXPECT_TRUE(order.empty());

    loop->runOnce();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    loop->runOnce();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(DispatchTest, AfterFollowsTheManualClock) {
    testsupport::ManualClock clock;
    std::vector<std::string> fired;
    auto main = DispatchQueue::main();
    main->after(2.0, [&] { fired.push_back("2a"); });
    main->after(1.0, [&] { fired.push_back("1a"); });
    main->after(1.0, [&] { fired.push_back("1b"); });
    main->after(2.0, [&] { fired.push_back("2b"); });
    std::atomic<bool> serialFired{false};
    DispatchQueue::createSerial("after")->after(1.5, [&] { serialFired = true; });

    loop->runUntilIdle();
    EXPECT_TRUE(fired.empty());
    clock.advance(1.0);
    EXPECT_EQ(fired, (std::vector<std::string>{"1a", "1b"}));
    EXPECT_FALSE(serialFired.load());

    clock.advance(1.0);
    EXPECT_EQ(fired, (std::vector<std::string>{"1a", "1b", "2a", "2b"}));
    EXPECT_TRUE(runUntil([&] { return serialFired.load(); }));
}

TEST_F(DispatchTest, SerialQueueKeepsEachProducersOrderAndNeverOverlaps) {
    auto queue = DispatchQueue::createSerial("serial");
    constexpr int kProducers = 4;
    constexpr int kBlocks = 2000;
    std::vector<std::pair<int, int>> seen;  // touched only by the queue's blocks
    std::atomic<int> inside{0};
    std::atomic<int> maxInside{0};
    auto record = [&](int producer, int i) {
        recordMax(maxInside, ++inside);
        seen.emplace_back(producer, i);
        --inside;
    };

    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kBlocks; ++i) {
                if (i % 100 == 99)
                    queue->sync([&, p, i] { record(p, i); });
                else
                    queue->async([&, p, i] { record(p, i); });
            }
        });
    }
    for (auto& t : producers) t.join();
    std::size_t total = 0;
    queue->sync([&] { total = seen.size(); });

    ASSERT_EQ(total, std::size_t{kProducers * kBlocks});
    EXPECT_EQ(maxInside.load(), 1);
    std::vector<int> next(kProducers, 0);
    for (const auto& [producer, i] : seen) {
        ASSERT_EQ(i, next[producer]) << "producer " << producer;
        ++next[producer];
    }
}

TEST_F(DispatchTest, SyncRunsOnTheCallerAfterEarlierBlocksAndMayReenterOrOnMainWhenItTurns) {
    auto queue = DispatchQueue::createSerial("sync");
    int counter = 0;
    for (int i = 0; i < 100; ++i) queue->async([&] { ++counter; });
    int seen = -1;
    std::thread::id ranOn;
    queue->sync([&] {
        seen = counter;
        ranOn = std::this_thread::get_id();
    });
    EXPECT_EQ(seen, 100);
    EXPECT_EQ(ranOn, std::this_thread::get_id());

    std::atomic<bool> nested{false};
    queue->async([&] { queue->sync([&] { nested = true; }); });
    queue->sync([] {});
    EXPECT_TRUE(nested.load());

    // Onto main from another thread: it runs on main when main turns.
    std::atomic<bool> returned{false};
    ranOn = {};
    std::thread other([&] {
        DispatchQueue::main()->sync([&] { ranOn = std::this_thread::get_id(); });
        returned = true;
    });
    EXPECT_TRUE(runUntil([&] { return returned.load(); }));
    other.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());

    bool inPlace = false;
    DispatchQueue::main()->sync([&] { inPlace = true; });
    EXPECT_TRUE(inPlace);
}

TEST_F(DispatchTest, ConcurrentQueueOverlapsBlocksButABarrierRunsAlone) {
    auto queue = DispatchQueue::createConcurrent("barrier");

    std::atomic<int> met{0};
    std::atomic<bool> bothMet{true};
    auto group = DispatchGroup::create();
    for (int i = 0; i < 2; ++i)
        group->async(queue, [&] {
            ++met;
            if (!waitUntil([&] { return met.load() == 2; })) bothMet = false;
        });
    group->wait();
    EXPECT_TRUE(bothMet.load()) << "two blocks of a concurrent queue never ran together";

    // Each block stays a moment, for a wrongly started one to be caught running beside it.
    constexpr CFTimeInterval kOpenWindow = 200e-6;
    std::atomic<int> inFlight{0};
    std::atomic<int> barriersRunning{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> plainDone{0};
    std::atomic<int> barriersDone{0};
    auto plain = [&] {
        ++inFlight;
        if (barriersRunning.load() != 0) ++overlaps;
        testsupport::busyFor(kOpenWindow);
        if (barriersRunning.load() != 0) ++overlaps;
        --inFlight;
        ++plainDone;
    };
    auto barrier = [&] {
        if (++barriersRunning != 1 || inFlight.load() != 0) ++overlaps;
        testsupport::busyFor(kOpenWindow);
        if (inFlight.load() != 0) ++overlaps;
        --barriersRunning;
        ++barriersDone;
    };
    std::thread feeder([&] {
        for (int i = 0; i < 400; ++i) {
            if (i % 20 == 10)
                queue->barrierAsync(barrier);
            else
                queue->async(plain);
        }
    });
    for (int i = 0; i < 10; ++i) queue->barrierSync(barrier);
    feeder.join();
    int plainSeen = 0;
    queue->barrierSync([&] { plainSeen = plainDone.load(); });

    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(plainSeen, 380);
    EXPECT_EQ(barriersDone.load(), 30);
}

TEST_F(DispatchTest, GlobalQueuesShareASmallPoolAndServeHigherPriorityFirst) {
    std::mutex mutex;
    std::set<std::thread::id> threads;
    auto group = DispatchGroup::create();
    for (int i = 0; i < 500; ++i)
        group->async(DispatchQueue::global(), [&] {
            std::lock_guard lock(mutex);
            threads.insert(std::this_thread::get_id());
        });
    group->wait();
    const std::size_t poolSize = std::max(4u, std::thread::hardware_concurrency());
    EXPECT_LE(threads.size(), poolSize);

    // Occupy every worker, queue low then high work, then free a single worker.
    testsupport::Gate gate;
    auto blockers = DispatchGroup::create();
    for (std::size_t i = 0; i < poolSize; ++i)
        blockers->async(DispatchQueue::global(), [&] { gate.pass(); });
    ASSERT_TRUE(waitUntil([&] { return gate.waiting() == poolSize; }));
    std::vector<std::string> order;
    auto work = DispatchGroup::create();
    auto note = [&](const char* what) {
        std::lock_guard lock(mutex);
        order.emplace_back(what);
    };
    work->async(DispatchQueue::global(DispatchQueuePriority::Background), [&] { note("bg"); });
    work->async(DispatchQueue::global(DispatchQueuePriority::Low), [&] { note("low"); });
    work->async(DispatchQueue::global(DispatchQueuePriority::High), [&] { note("high"); });
    gate.admit(1);
    work->wait();
    gate.open();
    blockers->wait();
    EXPECT_EQ(order, (std::vector<std::string>{"high", "low", "bg"}));
}

TEST_F(DispatchTest, GroupNotifiesOnceAllBlocksEndAndOnceRunsOnce) {
    auto group = DispatchGroup::create();
    auto queue = DispatchQueue::createConcurrent("group");
    std::atomic<int> done{0};
    for (int i = 0; i < 50; ++i) group->async(queue, [&] { ++done; });
    int atNotify = -1;
    group->notify(DispatchQueue::main(), [&] { atNotify = done.load(); });
    group->wait();
    EXPECT_EQ(done.load(), 50);
    EXPECT_TRUE(runUntil([&] { return atNotify >= 0; }));
    EXPECT_EQ(atNotify, 50);

    group->leave();  // unbalanced: must not wrap the count
    bool immediate = false;
    group->notify(DispatchQueue::main(), [&] { immediate = true; });
    loop->runUntilIdle();
    EXPECT_TRUE(immediate);

    DispatchOnceToken token;
    std::atomic<int> calls{0};
    std::vector<std::thread> racers;
    for (int i = 0; i < 8; ++i) racers.emplace_back([&] { dispatchOnce(token, [&] { ++calls; }); });
    for (auto& t : racers) t.join();
    EXPECT_EQ(calls.load(), 1);
}

}  // namespace

namespace {

// Trivially destructible, so it outlives every static the exit tears down.
std::atomic<bool> gBlockRunning{false};
std::atomic<bool> gExiting{false};

TEST(DispatchExitTest, BlockStillRunningAtExitCanStillQueueWork) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            DispatchQueue::global()->async([] {
                gBlockRunning = true;
                testsupport::waitUntil([] { return gExiting.load(); });
                DispatchQueue::main()->async([] {});
                DispatchQueue::global(DispatchQueuePriority::Low)->async([] {});
            });
            // Runs at exit after the queues made later are torn down and before the pool made
            // earlier joins its workers: the block above then reaches for those queues.
            std::atexit([] { gExiting = true; });
            DispatchQueue::main();
            testsupport::waitUntil([] { return gBlockRunning.load(); });
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
