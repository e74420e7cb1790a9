#include "UISwipeGestureRecognizer.h"

#include <cmath>

void UISwipeGestureRecognizer::touchesBegan(const UITouchSet& touches, UIEvent*) {
    if (failOnExtraTouches()) return;
    // The swipe is timed from when all its fingers are down.
    start_ = centroidInWindow();
    startTime_ = touches.front()->timestamp();
    started_ = trackedTouches().size() == numberOfTouchesRequired();
}

void UISwipeGestureRecognizer::judge(CFTimeInterval now) {
    const CGPoint c = centroidInWindow();
    const double dx = c.x - start_.x, dy = c.y - start_.y;
    const bool horizontal = std::fabs(dx) >= std::fabs(dy);
    const double along = horizontal ? std::fabs(dx) : std::fabs(dy);
    const double across = horizontal ? std::fabs(dy) : std::fabs(dx);
    const unsigned dir = horizontal ? (dx > 0 ? UISwipeGestureRecognizerDirectionRight
                                              : UISwipeGestureRecognizerDirectionLeft)
                                    : (dy > 0 ? UISwipeGestureRecognizerDirectionDown
                                              : UISwipeGestureRecognizerDirectionUp);
    if (along >= kSlop && !(direction_ & dir)) return setState(UIGestureRecognizerStateFailed);
    if (along >= kSlop && across > along / 2) return setState(UIGestureRecognizerStateFailed);
    if (along >= kMinimumDistance) {
        if (now - startTime_ > kMaximumDuration) return setState(UIGestureRecognizerStateFailed);
        return setState(UIGestureRecognizerStateRecognized);
    }
    if (now - startTime_ > kMaximumDuration) setState(UIGestureRecognizerStateFailed);
}

void UISwipeGestureRecognizer::touchesMoved(const UITouchSet& touches, UIEvent*) {
    if (started_) judge(touches.front()->timestamp());
}

void UISwipeGestureRecognizer::touchesEnded(const UITouchSet& touches, UIEvent*) {
    if (started_) judge(touches.front()->timestamp());
    if (state() == UIGestureRecognizerStatePossible) setState(UIGestureRecognizerStateFailed);
}

void UISwipeGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    started_ = false;
    startTime_ = 0;
    start_ = CGPointZero;
}
