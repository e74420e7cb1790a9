#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "Deadline.h"

namespace testsupport {

// A deadline for a call that has none of its own (a run loop's run(), a join): unless the object
// goes first, the process ends with a message naming what hung, so that a hang fails at once
// instead of at the test runner's time-out.
class Watchdog {
  public:
    explicit Watchdog(std::string what, CFTimeInterval seconds = kPatience);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

  private:
    std::mutex mutex_;
    std::condition_variable disarmed_;
    bool done_ = false;
    std::thread thread_;
};

}  // namespace testsupport
