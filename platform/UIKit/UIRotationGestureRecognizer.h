#pragma once

#include <numbers>

#include "UIKit/UITwoFingerGestureRecognizer.h"

// Begins once the line between the two fingers has turned kMinimumRotation; rotation is in
// radians, clockwise on screen positive, counted from when it was last set (0 at the start) and
// not wrapped, so several turns add up. velocity() is radians per second.
class UIRotationGestureRecognizer
    : public UIGestureRecognizerFactory<UIRotationGestureRecognizer, UITwoFingerGestureRecognizer> {
  public:
    static constexpr CGFloat kMinimumRotation = 5 * std::numbers::pi / 180;

    CGFloat rotation() const { return value(); }
    void setRotation(CGFloat rotation) { setValue(rotation); }

  protected:
    UIRotationGestureRecognizer() : UIGestureRecognizerFactory(0, kMinimumRotation) {}
    // The measure is the turn since the fingers came down, unwrapped.
    CGFloat startMeasure() override;
    CGFloat followMeasure() override;
    CGFloat valueAt(CGFloat turned, CGFloat rotationSet, CGFloat turnedAtSet) const override {
        return rotationSet + (turned - turnedAtSet);
    }

  private:
    CGFloat angle() const;

    CGFloat lastAngle_ = 0;
};
