#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/Clock.h"
#include "UIKit/UIGestureRecognizerBase.h"
#include "UIKit/UITouch.h"

class UIGestureRecognizer;
class NSTimer;

enum UIGestureRecognizerState : long {
    UIGestureRecognizerStatePossible,
    UIGestureRecognizerStateBegan,
    UIGestureRecognizerStateChanged,
    UIGestureRecognizerStateEnded,
    UIGestureRecognizerStateCancelled,
    UIGestureRecognizerStateFailed,
    UIGestureRecognizerStateRecognized = UIGestureRecognizerStateEnded,
};

// Every method is optional; the defaults are what a recogniser does without a delegate.
class UIGestureRecognizerDelegate {
  public:
    virtual ~UIGestureRecognizerDelegate() = default;
    virtual bool gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>&) {
        return true;
    }
    virtual bool gestureRecognizerShouldRecognizeSimultaneouslyWithGestureRecognizer(
        const std::shared_ptr<UIGestureRecognizer>&, const std::shared_ptr<UIGestureRecognizer>&) {
        return false;
    }
    virtual bool gestureRecognizerShouldReceiveTouch(const std::shared_ptr<UIGestureRecognizer>&,
                                                     const std::shared_ptr<UITouch>&) {
        return true;
    }
};

// The state machine of every recogniser. A subclass reads touches and asks for states with
// setState(); the request goes through arbitration: the delegate may refuse to begin, a
// recogniser required to fail holds it until that one fails (or fails it when that one
// recognises), and recognising fails the other undecided recognisers of the same touches
// unless one of the two delegates lets them run together. Continuous recognisers go
// possible → began → changed… → ended | cancelled; discrete ones possible → recognized; either
// may fail from possible. Targets hear every state but possible and failed. A recogniser that
// finished resets to possible once its touches are up, on the next run-loop turn.
class UIGestureRecognizer : public UIGestureRecognizerBase {
  public:
    using Action = std::function<void(UIGestureRecognizer&)>;

    ~UIGestureRecognizer() override;

    // Targets are held weakly; an action is sent to every live target in the order added.
    // The action may take the recogniser's own class.
    template <class T, class Sender>
    void addTarget(const std::shared_ptr<T>& target, void (T::*action)(Sender&)) {
        static_assert(std::is_base_of_v<UIGestureRecognizer, Sender>);
        std::weak_ptr<T> weak = target;
        addTargetEntry(target, actionKey(action), [weak, action](UIGestureRecognizer& r) {
            if (auto strong = weak.lock()) {
                if (auto* sender = dynamic_cast<Sender*>(&r)) ((*strong).*action)(*sender);
            }
        });
    }
    template <class T, class Sender>
    void removeTarget(const std::shared_ptr<T>& target, void (T::*action)(Sender&)) {
        removeTargetEntry(target.get(), actionKey(action));
    }

    UIGestureRecognizerState state() const { return state_; }
    std::shared_ptr<UIGestureRecognizerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<UIGestureRecognizerDelegate>& d) { delegate_ = d; }
    // Turning a recogniser off cancels a gesture in progress.
    void setEnabled(bool enabled) override;
    bool cancelsTouchesInView() const { return cancelsTouchesInView_; }
    void setCancelsTouchesInView(bool on) { cancelsTouchesInView_ = on; }
    // While this recogniser is undecided, a finger that lifts reaches its view only once it has
    // failed (touchesEnded then) or recognised (touchesCancelled). Touches of controls are
    // never held back: a button acts on touch-up at once.
    bool delaysTouchesEnded() const { return delaysTouchesEnded_; }
    void setDelaysTouchesEnded(bool on) { delaysTouchesEnded_ = on; }

    // This recogniser waits for `other` to fail before it recognises, and fails if it succeeds.
    void requireGestureRecognizerToFail(const std::shared_ptr<UIGestureRecognizer>& other);

    // The centroid of the touches down (or of the last ones, once they are up); null = window.
    CGPoint locationInView(const UIView* view) const;
    std::size_t numberOfTouches() const { return touches_.size(); }
    // CGPointZero for an index out of range.
    CGPoint locationOfTouch(std::size_t index, const UIView* view) const;

    // UIGestureRecognizerBase.
    bool cancelsViewTouches() const override;
    void didMoveToView() override;

  protected:
    UIGestureRecognizer();

    // Subclass side. Changed may be set repeatedly; each time the targets hear it.
    void setState(UIGestureRecognizerState state);
    // Back to a clean possible state; subclasses clear their own fields (and call this).
    virtual void reset();
    // The touches down that this recogniser follows, in the order they came down.
    const UITouchSet& trackedTouches() const { return touches_; }
    // Window coordinates of the centroid of the tracked touches.
    CGPoint centroidInWindow() const;
    // A rate per second from (time, value) samples: the change over the last 0.1 s of them.
    struct Sample {
        CFTimeInterval time;
        CGPoint value;
    };
    static CGPoint rateOf(const std::vector<Sample>& samples);
    // Keeps the samples of the last 0.1 s before `time` (and one older one as the baseline).
    static void addSample(std::vector<Sample>& samples, CFTimeInterval time, CGPoint value);
    // Schedules work on the current run loop that runs only if this recogniser is still alive
    // and not reset in between; reset() invalidates the timers.
    void scheduleTimer(CFTimeInterval delay, std::function<void(UIGestureRecognizer&)> block);

  private:
    friend class UIGestureArbiter;

    struct TargetEntry {
        std::weak_ptr<const void> alive;
        const void* target;
        std::string action;
        Action invoke;
    };
    template <class M>
    static std::string actionKey(M action) {
        std::string key(sizeof action, '\0');
        std::memcpy(key.data(), &action, sizeof action);
        return key;
    }
    void addTargetEntry(const std::shared_ptr<const void>& target, std::string action,
                        Action invoke);
    void removeTargetEntry(const void* target, const std::string& action);
    void sendActions();

    UIGestureRecognizerState state_ = UIGestureRecognizerStatePossible;
    std::weak_ptr<UIGestureRecognizerDelegate> delegate_;
    std::vector<TargetEntry> targets_;
    std::vector<std::weak_ptr<UIGestureRecognizer>> requiredToFail_;
    bool cancelsTouchesInView_ = true;
    bool delaysTouchesEnded_ = true;

    // Arbitration bookkeeping.
    UITouchSet touches_;
    std::vector<const UITouch*> seenTouches_;
    CGPoint lastLocation_;
    UIGestureRecognizerState pending_ = UIGestureRecognizerStatePossible;
    std::vector<std::shared_ptr<NSTimer>> timers_;
    bool resetScheduled_ = false;
};
