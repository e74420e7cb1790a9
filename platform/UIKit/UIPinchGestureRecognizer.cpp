#include "UIPinchGestureRecognizer.h"

#include <cmath>

std::shared_ptr<UIPinchGestureRecognizer> UIPinchGestureRecognizer::create() {
    return std::shared_ptr<UIPinchGestureRecognizer>(new UIPinchGestureRecognizer());
}

CGFloat UIPinchGestureRecognizer::distance() const {
    const auto& t = trackedTouches();
    const CGPoint a = t[0]->locationInWindow(), b = t[1]->locationInWindow();
    return std::hypot(b.x - a.x, b.y - a.y);
}

void UIPinchGestureRecognizer::setScale(CGFloat scale) {
    scale_ = scaleBase_ = scale;
    refDistance_ = lastDistance_;
    samples_.clear();
}

void UIPinchGestureRecognizer::touchesBegan(const UITouchSet& touches, UIEvent*) {
    const std::size_t down = trackedTouches().size();
    if (state() != UIGestureRecognizerStatePossible) return;
    if (down > 2) return setState(UIGestureRecognizerStateFailed);
    if (down < 2) return;
    startDistance_ = refDistance_ = lastDistance_ = distance();
    samples_.clear();
    addSample(samples_, touches.front()->timestamp(), {scale_, 0});
}

void UIPinchGestureRecognizer::touchesMoved(const UITouchSet& touches, UIEvent*) {
    if (trackedTouches().size() < 2) return;
    lastDistance_ = distance();
    if (state() == UIGestureRecognizerStatePossible &&
        std::fabs(lastDistance_ - startDistance_) < kMinimumChange)
        return;
    // Two fingers on one spot give no ratio; keep the last scale.
    if (refDistance_ > 0) scale_ = scaleBase_ * lastDistance_ / refDistance_;
    addSample(samples_, touches.front()->timestamp(), {scale_, 0});
    setState(state() == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateBegan
                                                         : UIGestureRecognizerStateChanged);
}

void UIPinchGestureRecognizer::touchesEnded(const UITouchSet& touches, UIEvent*) {
    if (trackedTouches().size() - touches.size() >= 2) return;
    setState(state() == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateFailed
                                                         : UIGestureRecognizerStateEnded);
}

void UIPinchGestureRecognizer::touchesCancelled(const UITouchSet&, UIEvent*) {
    setState(state() == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateFailed
                                                         : UIGestureRecognizerStateCancelled);
}

void UIPinchGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    scale_ = scaleBase_ = 1;
    startDistance_ = refDistance_ = lastDistance_ = 0;
    samples_.clear();
}
