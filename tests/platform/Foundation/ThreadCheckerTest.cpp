#include <gtest/gtest.h>

#include <thread>

#include "Foundation/ThreadChecker.h"
#include "ThreadChecks.h"

namespace {

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
