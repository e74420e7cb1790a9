#include "UILongPressGestureRecognizer.h"

#include <cmath>

std::shared_ptr<UILongPressGestureRecognizer> UILongPressGestureRecognizer::create() {
    return std::shared_ptr<UILongPressGestureRecognizer>(new UILongPressGestureRecognizer());
}

void UILongPressGestureRecognizer::touchesBegan(const UITouchSet& touches, UIEvent*) {
    for (const auto& t : touches) starts_.emplace_back(t.get(), t->locationInWindow());
    if (state() != UIGestureRecognizerStatePossible) return;
    const std::size_t down = trackedTouches().size();
    if (down > touchesRequired_) return setState(UIGestureRecognizerStateFailed);
    if (down < touchesRequired_ || timing_) return;
    timing_ = true;
    scheduleTimer(minimumPressDuration_, [](UIGestureRecognizer& r) {
        if (r.state() == UIGestureRecognizerStatePossible)
            static_cast<UILongPressGestureRecognizer&>(r).setState(UIGestureRecognizerStateBegan);
    });
}

void UILongPressGestureRecognizer::touchesMoved(const UITouchSet&, UIEvent*) {
    if (state() != UIGestureRecognizerStatePossible) {
        setState(UIGestureRecognizerStateChanged);
        return;
    }
    for (const auto& t : trackedTouches()) {
        for (const auto& [touch, start] : starts_) {
            if (touch != t.get()) continue;
            const CGPoint p = t->locationInWindow();
            if (std::hypot(p.x - start.x, p.y - start.y) > allowableMovement_)
                return setState(UIGestureRecognizerStateFailed);
        }
    }
}

void UILongPressGestureRecognizer::touchesEnded(const UITouchSet&, UIEvent*) {
    // Lifted before the press was long enough: no long press.
    setState(state() == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateFailed
                                                         : UIGestureRecognizerStateEnded);
}

void UILongPressGestureRecognizer::touchesCancelled(const UITouchSet&, UIEvent*) {
    setState(state() == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateFailed
                                                         : UIGestureRecognizerStateCancelled);
}

void UILongPressGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    timing_ = false;
    starts_.clear();
}
