#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "Clock.h"
#include "NSObject.h"

class NSRunLoop;

// A timer fires its block on the run loop it is scheduled on, at fire dates read from Clock.
// A repeating timer that falls behind fires once and then keeps to its schedule, as the
// platform's timers do.
class NSTimer : public NSObject {
  public:
    using Block = std::function<void(NSTimer&)>;

    static std::shared_ptr<NSTimer> timerWithTimeInterval(NSTimeInterval interval, bool repeats,
                                                          Block block);
    // Creates the timer and schedules it on the current thread's run loop.
    static std::shared_ptr<NSTimer> scheduledTimerWithTimeInterval(NSTimeInterval interval,
                                                                   bool repeats, Block block);

    void invalidate() { valid_.store(false); }
    bool isValid() const { return valid_.load(); }
    NSTimeInterval timeInterval() const { return interval_; }
    CFTimeInterval fireDate() const { return fireDate_; }
    void setFireDate(CFTimeInterval date);
    void fire();

  private:
    friend class NSRunLoop;
    NSTimer(NSTimeInterval interval, bool repeats, Block block);

    NSTimeInterval interval_;
    bool repeats_;
    Block block_;
    CFTimeInterval fireDate_;
    std::atomic<bool> valid_{true};
    std::weak_ptr<NSRunLoop> runLoop_;
};
