#pragma once

#include "UIKit/UITwoFingerGestureRecognizer.h"

// Begins once the distance of the two fingers has changed by kMinimumChange; scale is the
// ratio of their distance to the distance when it was last set (1 at the start). velocity() is
// scale per second.
class UIPinchGestureRecognizer
    : public UIGestureRecognizerFactory<UIPinchGestureRecognizer, UITwoFingerGestureRecognizer> {
  public:
    static constexpr CGFloat kMinimumChange = 8;

    CGFloat scale() const { return value(); }
    // Later changes multiply this value.
    void setScale(CGFloat scale) { setValue(scale); }

  protected:
    UIPinchGestureRecognizer() : UIGestureRecognizerFactory(1, kMinimumChange) {}
    CGFloat startMeasure() override { return distance(); }
    CGFloat followMeasure() override { return distance(); }
    CGFloat valueAt(CGFloat distance, CGFloat scaleSet, CGFloat distanceAtSet) const override;

  private:
    CGFloat distance() const;
};
