#include "UIRotationGestureRecognizer.h"

#include <cmath>
#include <numbers>

std::shared_ptr<UIRotationGestureRecognizer> UIRotationGestureRecognizer::create() {
    return std::shared_ptr<UIRotationGestureRecognizer>(new UIRotationGestureRecognizer());
}

CGFloat UIRotationGestureRecognizer::angle() const {
    const auto& t = trackedTouches();
    const CGPoint a = t[0]->locationInWindow(), b = t[1]->locationInWindow();
    return std::atan2(b.y - a.y, b.x - a.x);
}

void UIRotationGestureRecognizer::setRotation(CGFloat rotation) {
    rotation_ = rotationBase_ = rotation;
    turnedAtBase_ = turned_;
    samples_.clear();
}

void UIRotationGestureRecognizer::touchesBegan(const UITouchSet& touches, UIEvent*) {
    const std::size_t down = trackedTouches().size();
    if (state() != UIGestureRecognizerStatePossible) return;
    if (down > 2) return setState(UIGestureRecognizerStateFailed);
    if (down < 2) return;
    lastAngle_ = angle();
    turned_ = turnedAtBase_ = 0;
    samples_.clear();
    addSample(samples_, touches.front()->timestamp(), {rotation_, 0});
}

void UIRotationGestureRecognizer::touchesMoved(const UITouchSet& touches, UIEvent*) {
    if (trackedTouches().size() < 2) return;
    const CGFloat a = angle();
    CGFloat delta = a - lastAngle_;
    // The short way round between two samples.
    if (delta > std::numbers::pi) delta -= 2 * std::numbers::pi;
    if (delta < -std::numbers::pi) delta += 2 * std::numbers::pi;
    lastAngle_ = a;
    turned_ += delta;
    if (state() == UIGestureRecognizerStatePossible && std::fabs(turned_) < kMinimumRotation)
        return;
    rotation_ = rotationBase_ + (turned_ - turnedAtBase_);
    addSample(samples_, touches.front()->timestamp(), {rotation_, 0});
    setState(state() == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateBegan
                                                         : UIGestureRecognizerStateChanged);
}

void UIRotationGestureRecognizer::touchesEnded(const UITouchSet& touches, UIEvent*) {
    if (trackedTouches().size() - touches.size() >= 2) return;
    setState(state() == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateFailed
                                                         : UIGestureRecognizerStateEnded);
}

void UIRotationGestureRecognizer::touchesCancelled(const UITouchSet&, UIEvent*) {
    setState(state() == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateFailed
                                                         : UIGestureRecognizerStateCancelled);
}

void UIRotationGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    rotation_ = rotationBase_ = turned_ = turnedAtBase_ = lastAngle_ = 0;
    samples_.clear();
}
