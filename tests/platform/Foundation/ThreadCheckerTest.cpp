#include <gtest/gtest.h>

#include <thread>

#include "Foundation/ThreadChecker.h"

namespace {

TEST(ThreadCheckerTest, KnowsItsOwnerAndWhoTookItOver) {
    ThreadChecker checker;
    EXPECT_TRUE(checker.isCurrent());
    checker.verifyThread();
    bool currentElsewhere = true;
    bool currentAfterTakeOver = false;
    std::thread([&] {
        currentElsewhere = checker.isCurrent();
        checker.attachToCurrentThread();
        currentAfterTakeOver = checker.isCurrent();
        checker.verifyThread();
    }).join();
    EXPECT_FALSE(currentElsewhere);
    EXPECT_TRUE(currentAfterTakeOver);
    EXPECT_FALSE(checker.isCurrent());
}

TEST(ThreadCheckerDeathTest, ACallFromAnotherThreadAbortsInCheckedBuilds) {
    if (!ThreadChecker::kEnabled) GTEST_SKIP() << "checks are compiled out of this build";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const ThreadChecker checker;
    EXPECT_DEATH(std::thread([&] { checker.verifyThread("the test's object"); }).join(),
                 "the test's object used off its owning thread");
}

}  // namespace
