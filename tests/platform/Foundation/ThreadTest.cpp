#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Deadline.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSThread.h"
#include "Foundation/ThreadChecker.h"
#include "ThreadChecks.h"

namespace {

TEST(ThreadTest, RunLoopThreadRunsPerformedBlocksInOrderUntilCancelled) {
    auto thread = NSThread::create();
    thread->setName("VMNetworkLoadThread");
    std::mutex mutex;
    std::vector<int> order;
    std::vector<std::thread::id> ranOn;
    std::atomic<bool> onMain{true};
    std::string systemName;
    auto note = [&](int i) {
        std::lock_guard lock(mutex);
        order.push_back(i);
        ranOn.push_back(std::this_thread::get_id());
    };
    thread->performBlock([&] { note(1); });  // before start: kept until the loop exists
    EXPECT_EQ(thread->runLoop(), nullptr);
    thread->start();
    ASSERT_NE(thread->runLoop(), nullptr);
    thread->performBlock([&] {
        note(2);
        onMain = NSThread::isMainThread();
        char buffer[16] = {};
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        systemName = buffer;
    });
    std::thread other([&] { thread->performBlock([&] { note(3); }); });
    other.join();
    ASSERT_TRUE(testsupport::waitUntil([&] {
        std::lock_guard lock(mutex);
        return order.size() == 3;
    }));

    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ranOn[0], ranOn[1]);
    EXPECT_EQ(ranOn[1], ranOn[2]);
    EXPECT_FALSE(onMain.load());
    EXPECT_EQ(systemName, "VMNetworkLoadTh");  // the system's 15-character limit

    thread->cancel();
    EXPECT_TRUE(testsupport::waitUntil([&] { return thread->isFinished(); }));
    EXPECT_FALSE(thread->isExecuting());
}

std::atomic<bool> gThreadExited{false};

// Its destructor runs as its thread exits, which is how a test sees a thread end.
struct ExitWatch {
    ~ExitWatch() { gThreadExited = true; }
};

// Whether it runs a loop or a block of its own, the owner returns only once the thread ended.
TEST(ThreadTest, DroppingAThreadStopsAndJoinsIt) {
    gThreadExited = false;
    std::atomic<bool> armed{false};
    auto thread = NSThread::create();
    thread->start();
    thread->performBlock([&] {
        thread_local ExitWatch watch;
        armed = true;
    });
    ASSERT_TRUE(testsupport::waitUntil([&] { return armed.load(); }));
    EXPECT_FALSE(gThreadExited.load());
    thread.reset();
    EXPECT_TRUE(gThreadExited.load()) << "the owner returned before the run-loop thread ended";

    std::atomic<bool> keepGoing{true};
    std::atomic<int> rounds{0};
    std::atomic<bool> exited{false};
    std::thread::id bodyThread;
    auto detached = NSThread::detachNewThreadWithBlock([&] {
        bodyThread = std::this_thread::get_id();
        while (keepGoing.load()) {
            ++rounds;
            std::this_thread::yield();
        }
        exited = true;
    });
    ASSERT_TRUE(testsupport::waitUntil([&] { return rounds.load() > 10; }));
    keepGoing = false;
    detached.reset();
    EXPECT_TRUE(exited.load()) << "the owner returned before the detached thread ended";
    EXPECT_NE(bodyThread, std::this_thread::get_id());
}

// The owner is the thread that made the checker until another takes it over; from then on the
// first thread is the stranger.
TEST(ThreadCheckerDeathTest, OnlyTheOwnerPassesAndATakeOverMovesOwnership) {
    BRISFOLD_THREAD_CHECK_DEATH_TEST();
    ThreadChecker checker("test object");
    checker.verifyThread();
    EXPECT_DEATH(std::thread([&] { checker.verifyThread(); }).join(),
                 "test object used off its thread");
    std::thread([&] {
        checker.attachToCurrentThread();
        checker.verifyThread();
    }).join();
    EXPECT_DEATH(checker.verifyThread(), "test object used off its thread");
}

}  // namespace
