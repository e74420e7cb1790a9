#include "UITwoFingerGestureRecognizer.h"

#include <cmath>

UITwoFingerGestureRecognizer::UITwoFingerGestureRecognizer(CGFloat restingValue,
                                                           CGFloat minimumChange)
    : restingValue_(restingValue),
      minimumChange_(minimumChange),
      value_(restingValue),
      valueSet_(restingValue) {}

void UITwoFingerGestureRecognizer::setValue(CGFloat value) {
    value_ = valueSet_ = value;
    measureAtSet_ = measure_;
    samples_.clear();
}

std::pair<CGPoint, CGPoint> UITwoFingerGestureRecognizer::fingers() const {
    const auto& t = trackedTouches();
    return {t[0]->locationInWindow(), t[1]->locationInWindow()};
}

void UITwoFingerGestureRecognizer::touchesBegan(const UITouchSet& touches, UIEvent*) {
    const std::size_t down = trackedTouches().size();
    if (state() != UIGestureRecognizerStatePossible) return;
    if (down > 2) return setState(UIGestureRecognizerStateFailed);
    if (down < 2) return;
    measure_ = measureAtStart_ = measureAtSet_ = startMeasure();
    samples_.clear();
    addSample(samples_, touches.front()->timestamp(), {value_, 0});
}

void UITwoFingerGestureRecognizer::touchesMoved(const UITouchSet& touches, UIEvent*) {
    if (trackedTouches().size() < 2) return;
    measure_ = followMeasure();
    if (state() == UIGestureRecognizerStatePossible &&
        std::fabs(measure_ - measureAtStart_) < minimumChange_)
        return;
    value_ = valueAt(measure_, valueSet_, measureAtSet_);
    addSample(samples_, touches.front()->timestamp(), {value_, 0});
    setState(state() == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateBegan
                                                         : UIGestureRecognizerStateChanged);
}

void UITwoFingerGestureRecognizer::touchesEnded(const UITouchSet& touches, UIEvent*) {
    if (trackedTouches().size() - touches.size() >= 2) return;
    endOrFail();
}

void UITwoFingerGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    value_ = valueSet_ = restingValue_;
    measure_ = measureAtStart_ = measureAtSet_ = 0;
    samples_.clear();
}
