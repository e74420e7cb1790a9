#include <gtest/gtest.h>

#include <thread>

#include "Foundation/ThreadChecker.h"

namespace {

// The owner is the thread that made the checker until another takes it over; from then on the
// first thread is the stranger.
TEST(ThreadCheckerDeathTest, OnlyTheOwnerPassesAndATakeOverMovesOwnership) {
#ifndef BRISFOLD_THREAD_CHECKS
    GTEST_SKIP() << "thread checks are compiled only into debug and sanitizer builds";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
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
