#pragma once

#include <functional>
#include <memory>

#include "Foundation/Clock.h"
#include "Foundation/NSObject.h"

class NSRunLoop;
class NSTimer;

// Calls its target once per screen refresh (or every frameInterval-th refresh) on the run loop
// it was added to, on the refresh grid of the platform clock. The target is held weakly: a link
// whose target has gone invalidates itself, so an owner that forgets invalidate() still dies.
class CADisplayLink : public NSObject {
  public:
    using Block = std::function<void(CADisplayLink&)>;

    static constexpr CFTimeInterval kRefreshPeriod = 1.0 / 60.0;

    static std::shared_ptr<CADisplayLink> displayLinkWithBlock(Block block);
    template <class T>
    static std::shared_ptr<CADisplayLink> displayLinkWithTarget(
        const std::shared_ptr<T>& target, void (T::*selector)(CADisplayLink&)) {
        std::weak_ptr<T> weak = target;
        return make([weak, selector](CADisplayLink& link) {
            if (auto strong = weak.lock()) {
                ((*strong).*selector)(link);
                return true;
            }
            return false;
        });
    }

    ~CADisplayLink() override;

    // Schedules the link on the loop; adding it to another loop moves it there.
    void addToRunLoop(const std::shared_ptr<NSRunLoop>& runLoop);
    void invalidate();
    bool isValid() const { return valid_; }

    bool isPaused() const { return paused_; }
    void setPaused(bool paused);
    // Values below 1 are taken as 1.
    long frameInterval() const { return frameInterval_; }
    void setFrameInterval(long interval);

    // The refresh period, whatever the frame interval.
    CFTimeInterval duration() const { return kRefreshPeriod; }
    // The time of the refresh the last call was made for (0 before the first call).
    CFTimeInterval timestamp() const { return timestamp_; }

    // Makes one call now, as if a refresh had just happened; for tests and forced frames.
    void stepFrame();

  private:
    // The callback answers false once its target is gone.
    using Callback = std::function<bool(CADisplayLink&)>;
    static std::shared_ptr<CADisplayLink> make(Callback callback);
    explicit CADisplayLink(Callback callback);

    void schedule();
    void unschedule();
    void deliver(CFTimeInterval refreshTime);

    Callback callback_;
    std::weak_ptr<NSRunLoop> runLoop_;
    std::shared_ptr<NSTimer> timer_;
    long frameInterval_ = 1;
    bool paused_ = false;
    bool valid_ = true;
    CFTimeInterval timestamp_ = 0;
};
