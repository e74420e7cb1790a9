#pragma once

#include <gtest/gtest.h>

#include "Foundation/ThreadChecker.h"

// Opens a death test of the thread checks: skipped where the checks are not compiled in, and run
// in a fresh process where they are, since the stranger is another thread.
#ifdef BRISFOLD_THREAD_CHECKS
#define BRISFOLD_THREAD_CHECK_DEATH_TEST() GTEST_FLAG_SET(death_test_style, "threadsafe")
#else
#define BRISFOLD_THREAD_CHECK_DEATH_TEST() \
    GTEST_SKIP() << "thread checks are compiled only into debug and sanitizer builds"
#endif
