#include "UITapGestureRecognizer.h"

#include <algorithm>
#include <cmath>

void UITapGestureRecognizer::touchesBegan(const UITouchSet& touches, UIEvent*) {
    if (tapsDone_ > 0 && fingersThisTap_ == 0) {
        // A later tap: it must land near the first.
        const CGPoint p = touches.front()->locationInWindow();
        if (std::hypot(p.x - firstTapStart_.x, p.y - firstTapStart_.y) > kMultiTapDistance)
            return setState(UIGestureRecognizerStateFailed);
    }
    if (tapsDone_ == 0 && fingersThisTap_ == 0) firstTapStart_ = centroidInWindow();
    fingersThisTap_ = std::max(fingersThisTap_, trackedTouches().size());
    failOnExtraTouches();
}

void UITapGestureRecognizer::touchesMoved(const UITouchSet&, UIEvent*) {
    if (farthestTravel() > kAllowableMovement) setState(UIGestureRecognizerStateFailed);
}

void UITapGestureRecognizer::touchesEnded(const UITouchSet& touches, UIEvent*) {
    if (farthestTravel() > kAllowableMovement) return setState(UIGestureRecognizerStateFailed);
    if (touches.size() < trackedTouches().size()) return;  // fingers still down
    if (fingersThisTap_ != numberOfTouchesRequired())
        return setState(UIGestureRecognizerStateFailed);
    fingersThisTap_ = 0;
    if (++tapsDone_ >= tapsRequired_) return setState(UIGestureRecognizerStateRecognized);
    const unsigned tapsSoFar = tapsDone_;
    scheduleTimer(kTapInterval, [tapsSoFar](UIGestureRecognizer& r) {
        auto& tap = static_cast<UITapGestureRecognizer&>(r);
        if (tap.tapsDone_ == tapsSoFar && tap.fingersThisTap_ == 0 &&
            tap.state() == UIGestureRecognizerStatePossible)
            tap.setState(UIGestureRecognizerStateFailed);
    });
}

void UITapGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    tapsDone_ = 0;
    fingersThisTap_ = 0;
}
