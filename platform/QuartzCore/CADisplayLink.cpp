#include "CADisplayLink.h"

#include <cmath>

#include "Foundation/NSRunLoop.h"
#include "Foundation/NSTimer.h"

CADisplayLink::CADisplayLink(Callback callback) : callback_(std::move(callback)) {}

CADisplayLink::~CADisplayLink() { unschedule(); }

std::shared_ptr<CADisplayLink> CADisplayLink::make(Callback callback) {
    return std::shared_ptr<CADisplayLink>(new CADisplayLink(std::move(callback)));
}

std::shared_ptr<CADisplayLink> CADisplayLink::displayLinkWithBlock(Block block) {
    return make([block = std::move(block)](CADisplayLink& link) {
        if (block) block(link);
        return true;
    });
}

void CADisplayLink::addToRunLoop(const std::shared_ptr<NSRunLoop>& runLoop) {
    if (!valid_ || !runLoop) return;
    if (runLoop_.lock() == runLoop && timer_) return;
    unschedule();
    runLoop_ = runLoop;
    schedule();
}

void CADisplayLink::invalidate() {
    valid_ = false;
    unschedule();
    runLoop_.reset();
    callback_ = nullptr;
}

void CADisplayLink::setPaused(bool paused) {
    if (paused_ == paused) return;
    paused_ = paused;
    if (paused_)
        unschedule();
    else
        schedule();
}

void CADisplayLink::setFrameInterval(long interval) {
    if (interval < 1) interval = 1;
    if (interval == frameInterval_) return;
    frameInterval_ = interval;
    if (timer_) {
        unschedule();
        schedule();
    }
}

// The link owns a repeating timer on its loop; the run loop keeps the link alive through the
// timer's block, and unscheduling breaks that cycle.
void CADisplayLink::schedule() {
    auto loop = runLoop_.lock();
    if (!valid_ || paused_ || !loop) return;
    const CFTimeInterval period = kRefreshPeriod * static_cast<double>(frameInterval_);
    timer_ = NSTimer::timerWithTimeInterval(
        period, true, [self = sharedSelf<CADisplayLink>()](NSTimer& timer) {
            // The timer's date is the scheduled refresh even when the loop ran late.
            const CFTimeInterval period = timer.timeInterval();
            CFTimeInterval refresh = timer.fireDate();
            const CFTimeInterval now = Clock::now();
            if (now - refresh >= period) refresh += std::floor((now - refresh) / period) * period;
            self->deliver(refresh);
        });
    loop->addTimer(timer_);
}

void CADisplayLink::unschedule() {
    if (!timer_) return;
    timer_->invalidate();
    timer_.reset();
}

void CADisplayLink::stepFrame() {
    if (valid_) deliver(Clock::now());
}

void CADisplayLink::deliver(CFTimeInterval refreshTime) {
    timestamp_ = refreshTime;
    auto keep = sharedSelf<CADisplayLink>();
    auto callback = callback_;
    if (callback && !callback(*this)) invalidate();
}
