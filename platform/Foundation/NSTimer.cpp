#include "NSTimer.h"

#include <cmath>

#include "NSRunLoop.h"

NSTimer::NSTimer(NSTimeInterval interval, bool repeats, Block block)
    // Not-a-number would sort anywhere among the loop's fire dates and stall every timer there.
    : interval_(std::isnan(interval) || interval < 0 ? 0 : interval),
      repeats_(repeats),
      block_(std::move(block)),
      fireDate_(Clock::now() + interval_) {
    // A repeating timer of no interval would spin the loop; the platform clamps it too.
    if (repeats_ && interval_ <= 0) interval_ = 0.0001;
}

std::shared_ptr<NSTimer> NSTimer::timerWithTimeInterval(NSTimeInterval interval, bool repeats,
                                                        Block block) {
    return std::shared_ptr<NSTimer>(new NSTimer(interval, repeats, std::move(block)));
}

std::shared_ptr<NSTimer> NSTimer::scheduledTimerWithTimeInterval(NSTimeInterval interval,
                                                                 bool repeats, Block block) {
    auto timer = timerWithTimeInterval(interval, repeats, std::move(block));
    NSRunLoop::currentRunLoop()->addTimer(timer);
    return timer;
}

void NSTimer::setFireDate(CFTimeInterval date) {
    if (std::isnan(date)) date = Clock::now();
    auto loop = runLoop_.lock();
    if (!loop) {
        fireDate_ = date;
        return;
    }
    // Re-adding re-keys the timer in its loop.
    fireDate_ = date;
    loop->addTimer(std::static_pointer_cast<NSTimer>(shared_from_this()));
}

void NSTimer::advanceSchedule(LoopKey, CFTimeInterval now) {
    CFTimeInterval next = fireDate_ + interval_;
    if (next <= now) {
        const double missed = std::floor((now - fireDate_) / interval_);
        next = fireDate_ + (missed + 1) * interval_;
    }
    fireDate_ = next;
}

void NSTimer::fire() {
    if (!isValid()) return;
    auto keep = shared_from_this();
    if (block_) block_(*this);
    if (!repeats_) invalidate();
}
