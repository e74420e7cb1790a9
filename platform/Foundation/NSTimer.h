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
// platform's timers do. Scheduling and moving the date belong to the loop's thread;
// invalidate() may come from any thread.
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
    bool repeats() const { return repeats_; }
    CFTimeInterval fireDate() const { return fireDate_; }
    void setFireDate(CFTimeInterval date);
    void fire();

    // What only the run loop that holds the timer may do; NSRunLoop alone can make the key.
    class LoopKey {
        friend class NSRunLoop;
        LoopKey() = default;
    };
    // The loop that setFireDate re-schedules the timer in.
    void didScheduleIn(LoopKey, const std::shared_ptr<NSRunLoop>& loop) { runLoop_ = loop; }
    // After a repeating timer fired at its date: the next date of its schedule after `now`, so
    // that a timer that fell behind fires once for all the dates it missed.
    void advanceSchedule(LoopKey, CFTimeInterval now);

  private:
    NSTimer(NSTimeInterval interval, bool repeats, Block block);

    NSTimeInterval interval_;
    bool repeats_;
    Block block_;
    CFTimeInterval fireDate_;
    std::atomic<bool> valid_{true};
    std::weak_ptr<NSRunLoop> runLoop_;
};
