#include "UIGestureRecognizer.h"

#include <algorithm>

#include "Foundation/NSRunLoop.h"
#include "Foundation/NSTimer.h"
#include "UIKit/UIControl.h"
#include "UIKit/UIView.h"
#include "UIKit/UIWindow.h"

namespace {

constexpr CFTimeInterval kVelocityWindow = 0.1;

bool isTerminal(UIGestureRecognizerState s) {
    return s == UIGestureRecognizerStateEnded || s == UIGestureRecognizerStateCancelled ||
           s == UIGestureRecognizerStateFailed;
}

bool hasRecognized(UIGestureRecognizerState s) {
    return s == UIGestureRecognizerStateBegan || s == UIGestureRecognizerStateChanged ||
           s == UIGestureRecognizerStateEnded || s == UIGestureRecognizerStateCancelled;
}

bool isActive(UIGestureRecognizerState s) {
    return s == UIGestureRecognizerStateBegan || s == UIGestureRecognizerStateChanged;
}

}  // namespace

// Delivers touches to recognisers and decides which of them may recognise. One per process,
// used on the main thread, installed in the window when the first recogniser is made.
class UIGestureArbiter : public UIGestureDispatcher {
  public:
    static UIGestureArbiter& shared() {
        static const std::shared_ptr<UIGestureArbiter> arbiter = [] {
            auto owned = std::make_shared<UIGestureArbiter>();
            UIWindow::setGestureDispatcher(owned);
            return owned;
        }();
        return *arbiter;
    }

    void deliver(UIEvent& event) override;
    void requestState(UIGestureRecognizer& r, UIGestureRecognizerState s);
    void scheduleReset(UIGestureRecognizer& r);

  private:
    using Ref = std::shared_ptr<UIGestureRecognizer>;

    void tryRecognize(UIGestureRecognizer& r, UIGestureRecognizerState s);
    void fail(UIGestureRecognizer& r);
    void finish(UIGestureRecognizer& r);
    void resetIfDone(UIGestureRecognizer& r);
    std::vector<Ref> liveRecognizers();
    void track(UIGestureRecognizer& r);
    static bool sharesTouches(const UIGestureRecognizer& a, const UIGestureRecognizer& b);
    static bool simultaneous(UIGestureRecognizer& a, UIGestureRecognizer& b);
    static bool waitsFor(const UIGestureRecognizer& r, const UIGestureRecognizer& other);
    void holdBackEndedTouches(UIEvent& event);
    void releaseHeldTouches();

    // A lifted finger whose view waits for undecided recognisers.
    struct HeldTouch {
        std::shared_ptr<UITouch> touch;
        std::shared_ptr<UIEvent> event;
        std::vector<std::weak_ptr<UIGestureRecognizer>> waitingFor;
    };

    std::vector<std::weak_ptr<UIGestureRecognizer>> live_;
    std::vector<HeldTouch> held_;
};

std::vector<UIGestureArbiter::Ref> UIGestureArbiter::liveRecognizers() {
    std::vector<Ref> out;
    std::erase_if(live_, [](const auto& w) { return w.expired(); });
    for (auto& w : live_)
        if (auto r = w.lock()) out.push_back(std::move(r));
    return out;
}

void UIGestureArbiter::track(UIGestureRecognizer& r) {
    for (auto& w : live_)
        if (w.lock().get() == &r) return;
    live_.push_back(r.weakSelf<UIGestureRecognizer>());
}

bool UIGestureArbiter::sharesTouches(const UIGestureRecognizer& a, const UIGestureRecognizer& b) {
    for (auto* t : a.seenTouches_)
        if (std::find(b.seenTouches_.begin(), b.seenTouches_.end(), t) != b.seenTouches_.end())
            return true;
    return false;
}

bool UIGestureArbiter::simultaneous(UIGestureRecognizer& a, UIGestureRecognizer& b) {
    auto sa = a.sharedSelf<UIGestureRecognizer>(), sb = b.sharedSelf<UIGestureRecognizer>();
    if (auto d = a.delegate();
        d && d->gestureRecognizerShouldRecognizeSimultaneouslyWithGestureRecognizer(sa, sb))
        return true;
    auto d = b.delegate();
    return d && d->gestureRecognizerShouldRecognizeSimultaneouslyWithGestureRecognizer(sb, sa);
}

bool UIGestureArbiter::waitsFor(const UIGestureRecognizer& r, const UIGestureRecognizer& other) {
    return std::any_of(r.requiredToFail_.begin(), r.requiredToFail_.end(),
                       [&](const auto& w) { return w.lock().get() == &other; });
}

void UIGestureArbiter::deliver(UIEvent& event) {
    for (auto& r : liveRecognizers()) resetIfDone(*r);
    releaseHeldTouches();  // in case a recogniser it waited for has gone

    // A new touch goes only to the recognisers that are on and whose delegate takes it.
    for (const auto& touch : event.allTouches()) {
        if (touch->phase() != UITouchPhaseBegan) continue;
        std::vector<std::shared_ptr<UIGestureRecognizerBase>> taken;
        for (const auto& base : touch->gestureRecognizers()) {
            auto r = std::dynamic_pointer_cast<UIGestureRecognizer>(base);
            if (!r) {
                taken.push_back(base);
                continue;
            }
            if (!r->isEnabled() || isTerminal(r->state_)) continue;
            if (auto d = r->delegate(); d && !d->gestureRecognizerShouldReceiveTouch(r, touch))
                continue;
            taken.push_back(base);
        }
        touch->setGestureRecognizers(std::move(taken));
    }

    std::vector<std::shared_ptr<UIGestureRecognizerBase>> order;
    for (const auto& touch : event.allTouches())
        for (const auto& base : touch->gestureRecognizers())
            if (std::find(order.begin(), order.end(), base) == order.end()) order.push_back(base);

    for (const auto& base : order) {
        UITouchSet began, moved, ended, cancelled;
        for (const auto& touch : event.allTouches()) {
            const auto& list = touch->gestureRecognizers();
            if (std::find(list.begin(), list.end(), base) == list.end()) continue;
            switch (touch->phase()) {
                case UITouchPhaseBegan:
                    began.push_back(touch);
                    break;
                case UITouchPhaseMoved:
                    moved.push_back(touch);
                    break;
                case UITouchPhaseEnded:
                    ended.push_back(touch);
                    break;
                case UITouchPhaseCancelled:
                    cancelled.push_back(touch);
                    break;
                case UITouchPhaseStationary:
                    break;
            }
        }
        auto r = std::dynamic_pointer_cast<UIGestureRecognizer>(base);
        if (!r) {
            if (!began.empty()) base->touchesBegan(began, &event);
            if (!moved.empty()) base->touchesMoved(moved, &event);
            if (!ended.empty()) base->touchesEnded(ended, &event);
            if (!cancelled.empty()) base->touchesCancelled(cancelled, &event);
            continue;
        }
        // Only a recogniser still deciding or recognising hears touches; the others just
        // keep count of the fingers still down so that they reset once all are up.
        auto listening = [&] {
            return r->isEnabled() && r->view() && !isTerminal(r->state_) &&
                   r->pending_ == UIGestureRecognizerStatePossible;
        };
        if (!began.empty()) {
            track(*r);
            for (const auto& t : began) {
                r->touches_.push_back(t);
                r->seenTouches_.push_back(t.get());
            }
            r->lastLocation_ = r->centroidInWindow();
            if (listening()) r->touchesBegan(began, &event);
        }
        if (!moved.empty()) {
            r->lastLocation_ = r->centroidInWindow();
            if (listening()) r->touchesMoved(moved, &event);
        }
        for (auto* set : {&ended, &cancelled}) {
            if (set->empty()) continue;
            r->lastLocation_ = r->centroidInWindow();
            if (listening()) {
                if (set == &ended)
                    r->touchesEnded(*set, &event);
                else
                    r->touchesCancelled(*set, &event);
            }
            std::erase_if(r->touches_, [&](const auto& t) {
                return std::find(set->begin(), set->end(), t) != set->end();
            });
        }
        // A continuous recogniser still waiting to begin hears no touches; once its last
        // finger is up there is nothing left for it to follow, and begun now it would never end.
        if (r->pending_ == UIGestureRecognizerStateBegan && r->touches_.empty()) fail(*r);
        if (isTerminal(r->state_) && r->touches_.empty()) scheduleReset(*r);
    }
    holdBackEndedTouches(event);
}

void UIGestureArbiter::holdBackEndedTouches(UIEvent& event) {
    for (const auto& touch : event.allTouches()) {
        if (touch->phase() != UITouchPhaseEnded || touch->isCancelledForView()) continue;
        auto view = touch->view();
        if (!view || dynamic_cast<UIControl*>(view.get())) continue;
        HeldTouch held{touch, event.sharedSelf<UIEvent>(), {}};
        for (const auto& base : touch->gestureRecognizers()) {
            auto r = std::dynamic_pointer_cast<UIGestureRecognizer>(base);
            if (r && r->isEnabled() && r->delaysTouchesEnded_ &&
                r->state_ == UIGestureRecognizerStatePossible)
                held.waitingFor.push_back(r);
        }
        if (held.waitingFor.empty()) continue;
        // The window passes over a touch marked so; its view hears of it when the wait is over.
        touch->setCancelledForView();
        held_.push_back(std::move(held));
    }
}

void UIGestureArbiter::releaseHeldTouches() {
    for (std::size_t i = 0; i < held_.size();) {
        auto& held = held_[i];
        bool taken = false;
        std::erase_if(held.waitingFor, [&](const auto& w) {
            auto r = w.lock();
            if (!r || r->state_ == UIGestureRecognizerStatePossible) return !r;
            taken = taken || (r->cancelsTouchesInView_ && hasRecognized(r->state_));
            return true;
        });
        if (!taken && !held.waitingFor.empty()) {
            ++i;
            continue;
        }
        const HeldTouch done = std::move(held);
        held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(i));
        if (auto view = done.touch->view()) {
            if (taken)
                view->touchesCancelled({done.touch}, done.event.get());
            else
                view->touchesEnded({done.touch}, done.event.get());
        }
    }
}

void UIGestureArbiter::requestState(UIGestureRecognizer& r, UIGestureRecognizerState s) {
    auto keep = r.sharedSelf<UIGestureRecognizer>();
    const auto current = r.state_;
    if (current == UIGestureRecognizerStatePossible) {
        if (r.pending_ != UIGestureRecognizerStatePossible) {
            // Waiting for another recogniser to fail: only giving up is taken now.
            if (s == UIGestureRecognizerStateFailed || s == UIGestureRecognizerStateCancelled)
                fail(r);
            return;
        }
        switch (s) {
            case UIGestureRecognizerStateBegan:
            case UIGestureRecognizerStateEnded:
                tryRecognize(r, s);
                break;
            case UIGestureRecognizerStateFailed:
            case UIGestureRecognizerStateCancelled:
                fail(r);
                break;
            default:
                break;
        }
        return;
    }
    if (!isActive(current)) return;
    switch (s) {
        case UIGestureRecognizerStateChanged:
        case UIGestureRecognizerStateEnded:
        case UIGestureRecognizerStateCancelled:
            r.state_ = s;
            break;
        case UIGestureRecognizerStateFailed:
            r.state_ = UIGestureRecognizerStateCancelled;
            break;
        default:
            return;
    }
    r.sendActions();
    if (isTerminal(r.state_)) finish(r);
}

void UIGestureArbiter::tryRecognize(UIGestureRecognizer& r, UIGestureRecognizerState s) {
    auto self = r.sharedSelf<UIGestureRecognizer>();
    if (!r.isEnabled()) return fail(r);
    if (auto d = r.delegate(); d && !d->gestureRecognizerShouldBegin(self)) return fail(r);
    bool waiting = false;
    for (const auto& w : r.requiredToFail_) {
        auto other = w.lock();
        if (!other) continue;
        if (hasRecognized(other->state_)) return fail(r);
        // One that has seen none of these touches has nothing to decide.
        if (other->state_ == UIGestureRecognizerStatePossible && !other->seenTouches_.empty())
            waiting = true;
    }
    if (waiting) {
        r.pending_ = s;
        return;
    }
    auto live = liveRecognizers();
    for (const auto& other : live) {
        if (other.get() == &r || !isActive(other->state_)) continue;
        if (sharesTouches(r, *other) && !simultaneous(r, *other)) return fail(r);
    }
    r.state_ = s;
    r.pending_ = UIGestureRecognizerStatePossible;
    for (const auto& other : live) {
        if (other.get() == &r || other->state_ != UIGestureRecognizerStatePossible) continue;
        if (waitsFor(*other, r) || (sharesTouches(r, *other) && !simultaneous(r, *other)))
            fail(*other);
    }
    if (r.state_ != s) return;  // a failure above re-entered and changed it
    releaseHeldTouches();
    r.sendActions();
    if (isTerminal(r.state_)) finish(r);
}

void UIGestureArbiter::fail(UIGestureRecognizer& r) {
    if (r.state_ != UIGestureRecognizerStatePossible) return;
    auto keep = r.sharedSelf<UIGestureRecognizer>();
    r.state_ = UIGestureRecognizerStateFailed;
    r.pending_ = UIGestureRecognizerStatePossible;
    for (const auto& other : liveRecognizers()) {
        if (other->state_ != UIGestureRecognizerStatePossible ||
            other->pending_ == UIGestureRecognizerStatePossible || !waitsFor(*other, r))
            continue;
        const auto wanted = other->pending_;
        other->pending_ = UIGestureRecognizerStatePossible;
        tryRecognize(*other, wanted);
    }
    releaseHeldTouches();
    finish(r);
}

void UIGestureArbiter::finish(UIGestureRecognizer& r) {
    if (r.touches_.empty()) scheduleReset(r);
}

void UIGestureArbiter::scheduleReset(UIGestureRecognizer& r) {
    if (r.resetScheduled_) return;
    r.resetScheduled_ = true;
    // After the window has delivered this event to the views, which asks cancelsViewTouches().
    NSRunLoop::currentRunLoop()->performBlock([weak = r.weakSelf<UIGestureRecognizer>(), this] {
        if (auto r = weak.lock()) resetIfDone(*r);
    });
}

void UIGestureArbiter::resetIfDone(UIGestureRecognizer& r) {
    if (!r.resetScheduled_ || !isTerminal(r.state_) || !r.touches_.empty()) return;
    r.reset();
    std::erase_if(live_, [&](const auto& w) {
        auto s = w.lock();
        return !s || s.get() == &r;
    });
}

UIGestureRecognizer::UIGestureRecognizer() { UIGestureArbiter::shared(); }

UIGestureRecognizer::~UIGestureRecognizer() {
    for (auto& t : timers_) t->invalidate();
}

void UIGestureRecognizer::addTargetEntry(const std::shared_ptr<const void>& target,
                                         std::string action, Action invoke) {
    if (!target) return;
    // A dead target's address may come back as another object's.
    std::erase_if(targets_, [](const TargetEntry& e) { return e.alive.expired(); });
    for (const auto& e : targets_)
        if (e.target == target.get() && e.action == action) return;
    targets_.push_back({target, target.get(), std::move(action), std::move(invoke)});
}

void UIGestureRecognizer::removeTargetEntry(const void* target, const std::string& action) {
    std::erase_if(targets_,
                  [&](const TargetEntry& e) { return e.target == target && e.action == action; });
}

void UIGestureRecognizer::sendActions() {
    auto keep = sharedSelf<UIGestureRecognizer>();
    const auto targets = targets_;
    for (const auto& e : targets) e.invoke(*this);
}

void UIGestureRecognizer::setEnabled(bool enabled) {
    UIGestureRecognizerBase::setEnabled(enabled);
    if (enabled) return;
    auto& arbiter = UIGestureArbiter::shared();
    if (isActive(state_))
        arbiter.requestState(*this, UIGestureRecognizerStateCancelled);
    else if (state_ == UIGestureRecognizerStatePossible && !seenTouches_.empty())
        arbiter.requestState(*this, UIGestureRecognizerStateFailed);
}

void UIGestureRecognizer::didMoveToView() {
    if (isActive(state_))
        UIGestureArbiter::shared().requestState(*this, UIGestureRecognizerStateCancelled);
    // Undecided, it gives up: whatever waits for it to fail would otherwise wait for good.
    else if (state_ == UIGestureRecognizerStatePossible && !seenTouches_.empty())
        UIGestureArbiter::shared().requestState(*this, UIGestureRecognizerStateFailed);
    touches_.clear();
    reset();
}

void UIGestureRecognizer::requireGestureRecognizerToFail(
    const std::shared_ptr<UIGestureRecognizer>& other) {
    if (!other || other.get() == this) return;
    requiredToFail_.push_back(other);
}

void UIGestureRecognizer::setState(UIGestureRecognizerState state) {
    UIGestureArbiter::shared().requestState(*this, state);
}

void UIGestureRecognizer::reset() {
    state_ = UIGestureRecognizerStatePossible;
    pending_ = UIGestureRecognizerStatePossible;
    seenTouches_.clear();
    for (auto& t : timers_) t->invalidate();
    timers_.clear();
    resetScheduled_ = false;
}

bool UIGestureRecognizer::cancelsViewTouches() const {
    return cancelsTouchesInView_ && (isActive(state_) || state_ == UIGestureRecognizerStateEnded);
}

CGPoint UIGestureRecognizer::centroidInWindow() const {
    if (touches_.empty()) return lastLocation_;
    CGPoint sum;
    for (const auto& t : touches_) {
        const CGPoint p = t->locationInWindow();
        sum.x += p.x;
        sum.y += p.y;
    }
    const double n = static_cast<double>(touches_.size());
    return {sum.x / n, sum.y / n};
}

CGPoint UIGestureRecognizer::locationInView(const UIView* view) const {
    const CGPoint p = centroidInWindow();
    return view ? view->convertPointFromView(p, nullptr) : p;
}

CGPoint UIGestureRecognizer::locationOfTouch(std::size_t index, const UIView* view) const {
    if (index >= touches_.size()) return CGPointZero;
    return touches_[index]->locationInView(view);
}

void UIGestureRecognizer::scheduleTimer(CFTimeInterval delay,
                                        std::function<void(UIGestureRecognizer&)> block) {
    std::erase_if(timers_, [](const auto& t) { return !t->isValid(); });
    timers_.push_back(NSRunLoop::currentRunLoop()->performAfterDelay(
        delay, [weak = weakSelf<UIGestureRecognizer>(), block = std::move(block)] {
            if (auto r = weak.lock()) block(*r);
        }));
}

void UIGestureRecognizer::addSample(std::vector<Sample>& samples, CFTimeInterval time,
                                    CGPoint value) {
    samples.push_back({time, value});
    // Keep one sample at or before the window's start as the baseline.
    while (samples.size() > 2 && samples[1].time <= time - kVelocityWindow)
        samples.erase(samples.begin());
}

CGPoint UIGestureRecognizer::rateOf(const std::vector<Sample>& samples) {
    // addSample keeps the front as the last sample before the window: a finger that rested
    // before lifting thus has no speed left.
    if (samples.size() < 2) return CGPointZero;
    const Sample& first = samples.front();
    const Sample& last = samples.back();
    const double dt = last.time - first.time;
    if (dt <= 0) return CGPointZero;
    return {(last.value.x - first.value.x) / dt, (last.value.y - first.value.y) / dt};
}
