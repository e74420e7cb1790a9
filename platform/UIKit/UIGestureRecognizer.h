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
    // A cancelled touch ends the gesture: an undecided one fails, one under way is cancelled.
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

    // The arbiter's side of the state machine (UIGestureRecognizer.cpp); only it can make the
    // key. It asks for states on the subclass's behalf and keeps the books on touches.
    class ArbiterKey {
        friend class UIGestureArbiter;
        ArbiterKey() = default;
    };
    // Touches came down for this recogniser; they are tracked until ended or cancelled.
    void beginTracking(ArbiterKey, const UITouchSet& began);
    // The tracked touches moved or are about to leave: the location follows them.
    void followTracking(ArbiterKey) { lastLocation_ = centroidInWindow(); }
    void endTracking(ArbiterKey, const UITouchSet& gone);
    // Whether both have followed a touch since their last reset.
    bool sharesTouchesWith(const UIGestureRecognizer& other) const;
    bool hasSeenTouches() const { return !seenTouches_.empty(); }
    bool requiresToFail(const UIGestureRecognizer& other) const;
    std::vector<std::shared_ptr<UIGestureRecognizer>> recognizersRequiredToFail() const;
    // The state asked for while a recogniser required to fail is undecided (possible if none).
    UIGestureRecognizerState pendingState() const { return pending_; }
    void setPendingState(ArbiterKey, UIGestureRecognizerState s) { pending_ = s; }
    // The state the arbiter decided on; nothing is pending any more. Targets hear of it through
    // sendActions.
    void commitState(ArbiterKey, UIGestureRecognizerState s);
    void sendActions(ArbiterKey) { sendActions(); }
    // Asks for a reset once the gesture is over; false if one was asked for already.
    bool scheduleReset(ArbiterKey);
    // Resets if a reset was asked for, the gesture is over and no finger is down; returns
    // whether it did.
    bool resetIfDone(ArbiterKey);

  protected:
    UIGestureRecognizer();

    // Subclass side. Changed may be set repeatedly; each time the targets hear it.
    void setState(UIGestureRecognizerState state);
    // The last finger lifted: an undecided gesture fails, one under way ends.
    void endOrFail();
    // Back to a clean possible state; subclasses clear their own fields (and call this).
    virtual void reset();
    // The touches down that this recogniser follows, in the order they came down.
    const UITouchSet& trackedTouches() const { return touches_; }
    // Window coordinates of the centroid of the tracked touches.
    CGPoint centroidInWindow() const;
    // How far the tracked touch that strayed most is from where it came down.
    CGFloat farthestTravel() const;
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
    // Where each of touches_ came down, in window coordinates.
    std::vector<CGPoint> touchStarts_;
    std::vector<const UITouch*> seenTouches_;
    CGPoint lastLocation_;
    UIGestureRecognizerState pending_ = UIGestureRecognizerStatePossible;
    std::vector<std::shared_ptr<NSTimer>> timers_;
    bool resetScheduled_ = false;
};

// The factories of a concrete recogniser R, derived from Base: R::create() and
// R::create(target, action).
template <class R, class Base = UIGestureRecognizer>
class UIGestureRecognizerFactory : public Base {
  public:
    static std::shared_ptr<R> create() {
        // A class derived from R may call its protected constructor.
        struct Made final : R {};
        return std::shared_ptr<R>(new Made());
    }
    template <class T, class Sender>
    static std::shared_ptr<R> create(const std::shared_ptr<T>& target, void (T::*action)(Sender&)) {
        auto r = create();
        r->addTarget(target, action);
        return r;
    }

  protected:
    UIGestureRecognizerFactory() = default;
    using Base::Base;
};
