#include "UILongPressGestureRecognizer.h"

void UILongPressGestureRecognizer::touchesBegan(const UITouchSet&, UIEvent*) {
    if (state() != UIGestureRecognizerStatePossible || failOnExtraTouches()) return;
    if (trackedTouches().size() < numberOfTouchesRequired() || timing_) return;
    timing_ = true;
    scheduleTimer(minimumPressDuration_, [](UIGestureRecognizer& r) {
        if (r.state() == UIGestureRecognizerStatePossible)
            static_cast<UILongPressGestureRecognizer&>(r).setState(UIGestureRecognizerStateBegan);
    });
}

void UILongPressGestureRecognizer::touchesMoved(const UITouchSet&, UIEvent*) {
    if (state() != UIGestureRecognizerStatePossible)
        setState(UIGestureRecognizerStateChanged);
    else if (farthestTravel() > allowableMovement_)
        setState(UIGestureRecognizerStateFailed);
}

void UILongPressGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    timing_ = false;
}
