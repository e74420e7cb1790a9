#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "Foundation/Clock.h"
#include "Foundation/NSRunLoop.h"

namespace testsupport {

// Manual time for the life of the object, with the main run loop drained on the way in and out
// so that no timer or block leaks between tests.
class ManualClock {
  public:
    ManualClock();
    ~ManualClock();
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    // Moves the clock forward and runs what came due on the main run loop.
    void advance(CFTimeInterval seconds);

    const std::shared_ptr<NSRunLoop> loop = NSRunLoop::mainRunLoop();
};

// A fixture whose tests run on the manual clock. The clock is set up before a derived fixture's
// members and torn down after them, so views and timers go while time is still manual.
class ManualClockTest : public ::testing::Test {
  protected:
    void advance(CFTimeInterval seconds) { clock.advance(seconds); }

    ManualClock clock;
    const std::shared_ptr<NSRunLoop> loop = clock.loop;
};

}  // namespace testsupport
