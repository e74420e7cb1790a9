#include "UITapGestureRecognizer.h"

#include <cmath>

std::shared_ptr<UITapGestureRecognizer> UITapGestureRecognizer::create() {
    return std::shared_ptr<UITapGestureRecognizer>(new UITapGestureRecognizer());
}

void UITapGestureRecognizer::touchesBegan(const UITouchSet& touches, UIEvent*) {
    if (tapsDone_ > 0 && fingersThisTap_ == 0) {
        // A later tap: it must land near the first.
        const CGPoint p = touches.front()->locationInWindow();
        if (std::hypot(p.x - firstTapStart_.x, p.y - firstTapStart_.y) > kMultiTapDistance)
            return setState(UIGestureRecognizerStateFailed);
    }
    for (const auto& t : touches) starts_.emplace_back(t.get(), t->locationInWindow());
    if (tapsDone_ == 0 && fingersThisTap_ == 0) firstTapStart_ = centroidInWindow();
    fingersThisTap_ = std::max(fingersThisTap_, trackedTouches().size());
    if (fingersThisTap_ > touchesRequired_) setState(UIGestureRecognizerStateFailed);
}

bool UITapGestureRecognizer::movedTooFar() const {
    for (const auto& t : trackedTouches()) {
        for (const auto& [touch, start] : starts_) {
            if (touch != t.get()) continue;
            const CGPoint p = t->locationInWindow();
            if (std::hypot(p.x - start.x, p.y - start.y) > kAllowableMovement) return true;
        }
    }
    return false;
}

void UITapGestureRecognizer::touchesMoved(const UITouchSet&, UIEvent*) {
    if (movedTooFar()) setState(UIGestureRecognizerStateFailed);
}

void UITapGestureRecognizer::touchesEnded(const UITouchSet& touches, UIEvent*) {
    if (movedTooFar()) return setState(UIGestureRecognizerStateFailed);
    if (touches.size() < trackedTouches().size()) return;  // fingers still down
    if (fingersThisTap_ != touchesRequired_) return setState(UIGestureRecognizerStateFailed);
    fingersThisTap_ = 0;
    starts_.clear();
    if (++tapsDone_ >= tapsRequired_) return setState(UIGestureRecognizerStateRecognized);
    const unsigned tapsSoFar = tapsDone_;
    scheduleTimer(kTapInterval, [tapsSoFar](UIGestureRecognizer& r) {
        auto& tap = static_cast<UITapGestureRecognizer&>(r);
        if (tap.tapsDone_ == tapsSoFar && tap.fingersThisTap_ == 0 &&
            tap.state() == UIGestureRecognizerStatePossible)
            tap.setState(UIGestureRecognizerStateFailed);
    });
}

void UITapGestureRecognizer::touchesCancelled(const UITouchSet&, UIEvent*) {
    setState(UIGestureRecognizerStateFailed);
}

void UITapGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    tapsDone_ = 0;
    fingersThisTap_ = 0;
    starts_.clear();
}
