#include "UIGestureRecognizer.h"

#include <algorithm>
#include <cmath>

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

  private:
    using Ref = std::shared_ptr<UIGestureRecognizer>;
    using Key = UIGestureRecognizer::ArbiterKey;

    // The touches of one event that go to one recogniser, by phase.
    struct Phases {
        UITouchSet began, moved, ended, cancelled;
    };
    static Phases phasesFor(const UIEvent& event, const UIGestureRecognizerBase& recognizer);

    void resetFinished();
    static void offerNewTouches(UIEvent& event);
    static std::vector<std::shared_ptr<UIGestureRecognizerBase>> recognizersOf(
        const UIEvent& event);
    static void deliverUnarbitrated(UIGestureRecognizerBase& r, const Phases& phases,
                                    UIEvent& event);
    void deliverTo(UIGestureRecognizer& r, const Phases& phases, UIEvent& event);
    void settleAfterDelivery(UIGestureRecognizer& r);

    void tryRecognize(UIGestureRecognizer& r, UIGestureRecognizerState s);
    void failRivals(UIGestureRecognizer& r, const std::vector<Ref>& live);
    void fail(UIGestureRecognizer& r);
    void finish(UIGestureRecognizer& r);
    void scheduleReset(UIGestureRecognizer& r);
    void resetIfDone(UIGestureRecognizer& r);
    std::vector<Ref> liveRecognizers();
    void track(UIGestureRecognizer& r);
    static bool simultaneous(UIGestureRecognizer& a, UIGestureRecognizer& b);
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

bool UIGestureArbiter::simultaneous(UIGestureRecognizer& a, UIGestureRecognizer& b) {
    auto sa = a.sharedSelf<UIGestureRecognizer>(), sb = b.sharedSelf<UIGestureRecognizer>();
    if (auto d = a.delegate();
        d && d->gestureRecognizerShouldRecognizeSimultaneouslyWithGestureRecognizer(sa, sb))
        return true;
    auto d = b.delegate();
    return d && d->gestureRecognizerShouldRecognizeSimultaneouslyWithGestureRecognizer(sb, sa);
}

void UIGestureArbiter::deliver(UIEvent& event) {
    resetFinished();
    offerNewTouches(event);
    for (const auto& base : recognizersOf(event)) {
        const Phases phases = phasesFor(event, *base);
        if (auto r = std::dynamic_pointer_cast<UIGestureRecognizer>(base))
            deliverTo(*r, phases, event);
        else
            deliverUnarbitrated(*base, phases, event);
    }
    holdBackEndedTouches(event);
}

void UIGestureArbiter::resetFinished() {
    for (auto& r : liveRecognizers()) resetIfDone(*r);
    releaseHeldTouches();  // in case a recogniser it waited for has gone
}

// A new touch goes only to the recognisers that are on and whose delegate takes it.
void UIGestureArbiter::offerNewTouches(UIEvent& event) {
    for (const auto& touch : event.allTouches()) {
        if (touch->phase() != UITouchPhaseBegan) continue;
        std::vector<std::shared_ptr<UIGestureRecognizerBase>> taken;
        for (const auto& base : touch->gestureRecognizers()) {
            auto r = std::dynamic_pointer_cast<UIGestureRecognizer>(base);
            if (!r) {
                taken.push_back(base);
                continue;
            }
            if (!r->isEnabled() || isTerminal(r->state())) continue;
            if (auto d = r->delegate(); d && !d->gestureRecognizerShouldReceiveTouch(r, touch))
                continue;
            taken.push_back(base);
        }
        touch->setGestureRecognizers(std::move(taken));
    }
}

std::vector<std::shared_ptr<UIGestureRecognizerBase>> UIGestureArbiter::recognizersOf(
    const UIEvent& event) {
    std::vector<std::shared_ptr<UIGestureRecognizerBase>> order;
    for (const auto& touch : event.allTouches())
        for (const auto& base : touch->gestureRecognizers())
            if (std::find(order.begin(), order.end(), base) == order.end()) order.push_back(base);
    return order;
}

UIGestureArbiter::Phases UIGestureArbiter::phasesFor(const UIEvent& event,
                                                     const UIGestureRecognizerBase& recognizer) {
    Phases phases;
    for (const auto& touch : event.allTouches()) {
        const auto& list = touch->gestureRecognizers();
        const bool mine = std::any_of(list.begin(), list.end(),
                                      [&](const auto& r) { return r.get() == &recognizer; });
        if (!mine) continue;
        switch (touch->phase()) {
            case UITouchPhaseBegan:
                phases.began.push_back(touch);
                break;
            case UITouchPhaseMoved:
                phases.moved.push_back(touch);
                break;
            case UITouchPhaseEnded:
                phases.ended.push_back(touch);
                break;
            case UITouchPhaseCancelled:
                phases.cancelled.push_back(touch);
                break;
            case UITouchPhaseStationary:
                break;
        }
    }
    return phases;
}

void UIGestureArbiter::deliverUnarbitrated(UIGestureRecognizerBase& r, const Phases& phases,
                                           UIEvent& event) {
    if (!phases.began.empty()) r.touchesBegan(phases.began, &event);
    if (!phases.moved.empty()) r.touchesMoved(phases.moved, &event);
    if (!phases.ended.empty()) r.touchesEnded(phases.ended, &event);
    if (!phases.cancelled.empty()) r.touchesCancelled(phases.cancelled, &event);
}

void UIGestureArbiter::deliverTo(UIGestureRecognizer& r, const Phases& phases, UIEvent& event) {
    // Only a recogniser still deciding or recognising hears touches; the others just keep
    // count of the fingers still down so that they reset once all are up.
    auto listening = [&] {
        return r.isEnabled() && r.view() && !isTerminal(r.state()) &&
               r.pendingState() == UIGestureRecognizerStatePossible;
    };
    if (!phases.began.empty()) {
        track(r);
        r.beginTracking(Key(), phases.began);
        if (listening()) r.touchesBegan(phases.began, &event);
    }
    if (!phases.moved.empty()) {
        r.followTracking(Key());
        if (listening()) r.touchesMoved(phases.moved, &event);
    }
    if (!phases.ended.empty()) {
        r.followTracking(Key());
        if (listening()) r.touchesEnded(phases.ended, &event);
        r.endTracking(Key(), phases.ended);
    }
    if (!phases.cancelled.empty()) {
        r.followTracking(Key());
        if (listening()) r.touchesCancelled(phases.cancelled, &event);
        r.endTracking(Key(), phases.cancelled);
    }
    settleAfterDelivery(r);
}

void UIGestureArbiter::settleAfterDelivery(UIGestureRecognizer& r) {
    if (r.numberOfTouches() > 0) return;
    // A continuous recogniser still waiting to begin hears no touches; once its last finger
    // is up there is nothing left for it to follow, and begun now it would never end.
    if (r.pendingState() == UIGestureRecognizerStateBegan) fail(r);
    if (isTerminal(r.state())) scheduleReset(r);
}

void UIGestureArbiter::holdBackEndedTouches(UIEvent& event) {
    for (const auto& touch : event.allTouches()) {
        if (touch->phase() != UITouchPhaseEnded || touch->isCancelledForView()) continue;
        auto view = touch->view();
        if (!view || dynamic_cast<UIControl*>(view.get())) continue;
        HeldTouch held{touch, event.sharedSelf<UIEvent>(), {}};
        for (const auto& base : touch->gestureRecognizers()) {
            auto r = std::dynamic_pointer_cast<UIGestureRecognizer>(base);
            if (r && r->isEnabled() && r->delaysTouchesEnded() &&
                r->state() == UIGestureRecognizerStatePossible)
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
            if (!r || r->state() == UIGestureRecognizerStatePossible) return !r;
            taken = taken || (r->cancelsTouchesInView() && hasRecognized(r->state()));
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
    const auto current = r.state();
    if (current == UIGestureRecognizerStatePossible) {
        if (r.pendingState() != UIGestureRecognizerStatePossible) {
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
            r.commitState(Key(), s);
            break;
        case UIGestureRecognizerStateFailed:
            r.commitState(Key(), UIGestureRecognizerStateCancelled);
            break;
        default:
            return;
    }
    r.sendActions(Key());
    if (isTerminal(r.state())) finish(r);
}

void UIGestureArbiter::tryRecognize(UIGestureRecognizer& r, UIGestureRecognizerState s) {
    auto self = r.sharedSelf<UIGestureRecognizer>();
    if (!r.isEnabled()) return fail(r);
    if (auto d = r.delegate(); d && !d->gestureRecognizerShouldBegin(self)) return fail(r);
    bool waiting = false;
    for (const auto& other : r.recognizersRequiredToFail()) {
        if (hasRecognized(other->state())) return fail(r);
        // One that has seen none of these touches has nothing to decide.
        if (other->state() == UIGestureRecognizerStatePossible && other->hasSeenTouches())
            waiting = true;
    }
    if (waiting) {
        r.setPendingState(Key(), s);
        return;
    }
    auto live = liveRecognizers();
    for (const auto& other : live) {
        if (other.get() == &r || !isActive(other->state())) continue;
        if (r.sharesTouchesWith(*other) && !simultaneous(r, *other)) return fail(r);
    }
    r.commitState(Key(), s);
    failRivals(r, live);
    if (r.state() != s) return;  // a failure above re-entered and changed it
    releaseHeldTouches();
    r.sendActions(Key());
    if (isTerminal(r.state())) finish(r);
}

// Those still deciding that wait for r to fail, or that share its touches and may not
// recognise with it, fail now that it has recognised.
void UIGestureArbiter::failRivals(UIGestureRecognizer& r, const std::vector<Ref>& live) {
    for (const auto& other : live) {
        if (other.get() == &r || other->state() != UIGestureRecognizerStatePossible) continue;
        if (other->requiresToFail(r) || (r.sharesTouchesWith(*other) && !simultaneous(r, *other)))
            fail(*other);
    }
}

void UIGestureArbiter::fail(UIGestureRecognizer& r) {
    if (r.state() != UIGestureRecognizerStatePossible) return;
    auto keep = r.sharedSelf<UIGestureRecognizer>();
    r.commitState(Key(), UIGestureRecognizerStateFailed);
    for (const auto& other : liveRecognizers()) {
        if (other->state() != UIGestureRecognizerStatePossible ||
            other->pendingState() == UIGestureRecognizerStatePossible || !other->requiresToFail(r))
            continue;
        const auto wanted = other->pendingState();
        other->setPendingState(Key(), UIGestureRecognizerStatePossible);
        tryRecognize(*other, wanted);
    }
    releaseHeldTouches();
    finish(r);
}

void UIGestureArbiter::finish(UIGestureRecognizer& r) {
    if (r.numberOfTouches() == 0) scheduleReset(r);
}

void UIGestureArbiter::scheduleReset(UIGestureRecognizer& r) {
    if (!r.scheduleReset(Key())) return;
    // After the window has delivered this event to the views, which asks cancelsViewTouches().
    NSRunLoop::currentRunLoop()->performBlock([weak = r.weakSelf<UIGestureRecognizer>(), this] {
        if (auto r = weak.lock()) resetIfDone(*r);
    });
}

void UIGestureArbiter::resetIfDone(UIGestureRecognizer& r) {
    if (!r.resetIfDone(Key())) return;
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
    touchStarts_.clear();
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

void UIGestureRecognizer::endOrFail() {
    setState(state_ == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateFailed
                                                        : UIGestureRecognizerStateEnded);
}

void UIGestureRecognizer::touchesCancelled(const UITouchSet&, UIEvent*) {
    setState(state_ == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateFailed
                                                        : UIGestureRecognizerStateCancelled);
}

void UIGestureRecognizer::beginTracking(ArbiterKey, const UITouchSet& began) {
    for (const auto& t : began) {
        touches_.push_back(t);
        touchStarts_.push_back(t->locationInWindow());
        seenTouches_.push_back(t.get());
    }
    lastLocation_ = centroidInWindow();
}

void UIGestureRecognizer::endTracking(ArbiterKey, const UITouchSet& gone) {
    for (std::size_t i = touches_.size(); i-- > 0;) {
        if (std::find(gone.begin(), gone.end(), touches_[i]) == gone.end()) continue;
        touches_.erase(touches_.begin() + static_cast<std::ptrdiff_t>(i));
        touchStarts_.erase(touchStarts_.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

bool UIGestureRecognizer::sharesTouchesWith(const UIGestureRecognizer& other) const {
    return std::any_of(seenTouches_.begin(), seenTouches_.end(), [&](const UITouch* t) {
        return std::find(other.seenTouches_.begin(), other.seenTouches_.end(), t) !=
               other.seenTouches_.end();
    });
}

bool UIGestureRecognizer::requiresToFail(const UIGestureRecognizer& other) const {
    return std::any_of(requiredToFail_.begin(), requiredToFail_.end(),
                       [&](const auto& w) { return w.lock().get() == &other; });
}

std::vector<std::shared_ptr<UIGestureRecognizer>> UIGestureRecognizer::recognizersRequiredToFail()
    const {
    std::vector<std::shared_ptr<UIGestureRecognizer>> live;
    for (const auto& w : requiredToFail_)
        if (auto r = w.lock()) live.push_back(std::move(r));
    return live;
}

void UIGestureRecognizer::commitState(ArbiterKey, UIGestureRecognizerState s) {
    state_ = s;
    pending_ = UIGestureRecognizerStatePossible;
}

bool UIGestureRecognizer::scheduleReset(ArbiterKey) {
    if (resetScheduled_) return false;
    resetScheduled_ = true;
    return true;
}

bool UIGestureRecognizer::resetIfDone(ArbiterKey) {
    if (!resetScheduled_ || !isTerminal(state_) || !touches_.empty()) return false;
    reset();
    return true;
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

CGFloat UIGestureRecognizer::farthestTravel() const {
    CGFloat farthest = 0;
    for (std::size_t i = 0; i < touches_.size(); ++i) {
        const CGPoint p = touches_[i]->locationInWindow(), start = touchStarts_[i];
        farthest = std::max(farthest, std::hypot(p.x - start.x, p.y - start.y));
    }
    return farthest;
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
