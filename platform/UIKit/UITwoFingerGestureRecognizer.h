#pragma once

#include <utility>
#include <vector>

#include "UIKit/UIGestureRecognizer.h"

// Continuous, exactly two fingers: what pinch and rotation share. The subclass measures the pair
// (their distance, the turn of the line between them); the gesture begins once the measure has
// changed by the minimum since the fingers came down, follows it while both are down and ends
// when one lifts. A third finger before it began fails it. The value (scale, rotation) derives
// from the measure and from the value and measure when the value was last set.
class UITwoFingerGestureRecognizer : public UIGestureRecognizer {
  public:
    // Value per second.
    CGFloat velocity() const { return rateOf(samples_).x; }

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;

  protected:
    // The value before any gesture, and the change of measure that begins one.
    UITwoFingerGestureRecognizer(CGFloat restingValue, CGFloat minimumChange);
    void reset() override;

    CGFloat value() const { return value_; }
    // Later changes count from this value and the measure of now.
    void setValue(CGFloat value);
    CGFloat measure() const { return measure_; }
    // Window locations of the two fingers.
    std::pair<CGPoint, CGPoint> fingers() const;

    // The measure of the fingers as they come down, and after they moved.
    virtual CGFloat startMeasure() = 0;
    virtual CGFloat followMeasure() = 0;
    // The value at `measure`, given the value and the measure when the value was last set.
    virtual CGFloat valueAt(CGFloat measure, CGFloat valueSet, CGFloat measureAtSet) const = 0;

  private:
    const CGFloat restingValue_;
    const CGFloat minimumChange_;
    CGFloat value_;
    CGFloat valueSet_;
    CGFloat measure_ = 0;
    CGFloat measureAtStart_ = 0;
    CGFloat measureAtSet_ = 0;
    std::vector<Sample> samples_;
};
