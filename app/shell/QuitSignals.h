#pragma once

#include <signal.h>

#include <functional>

#include "Foundation/NSRunLoop.h"

// SIGINT and SIGTERM as a request to quit. From construction on they are caught (and kept);
// once onSignal is given a callback, the main run loop runs it on the first turn after one
// arrives, so the app leaves through its usual path and its destructors run. One at a time.
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
    int pipe_[2] = {-1, -1};
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
    NSRunLoop::Token watch_ = 0;
    bool watching_ = false;
    bool received_ = false;
};
