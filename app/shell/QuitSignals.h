#pragma once

#include <signal.h>

#include <functional>

#include "Foundation/NSRunLoop.h"

// SIGINT and SIGTERM as a request to quit. From construction on they are held back in every
// thread and read from a descriptor by the main run loop, so no handler runs on whatever thread
// the kernel picks (a sanitizer's runtime may hold a handler back until that thread next calls
// into it, which an idle library thread may never do). Construct it before any thread starts:
// threads inherit the mask. Once onSignal is given a callback, the main run loop runs it on the
// first turn after one arrives, so the app leaves through its usual path and its destructors
// run. One at a time.
class QuitSignals {
  public:
    QuitSignals();
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    // Call on the main thread.
    void onSignal(std::function<void()> quit);
    bool received() const { return received_; }

  private:
    int fd_ = -1;
    sigset_t previousMask_{};
    NSRunLoop::Token watch_ = 0;
    bool watching_ = false;
    bool received_ = false;
};
