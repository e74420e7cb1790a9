#pragma once

#include "UIKit/UIRequiredTouchesGestureRecognizer.h"

// Continuous: begins once the required fingers have stayed down for minimumPressDuration
// within allowableMovement of where they came down; then reports moves and the lift.
class UILongPressGestureRecognizer
    : public UIGestureRecognizerFactory<UILongPressGestureRecognizer,
                                        UIRequiredTouchesGestureRecognizer> {
  public:
    CFTimeInterval minimumPressDuration() const { return minimumPressDuration_; }
    void setMinimumPressDuration(CFTimeInterval d) { minimumPressDuration_ = d < 0 ? 0 : d; }
    CGFloat allowableMovement() const { return allowableMovement_; }
    void setAllowableMovement(CGFloat m) { allowableMovement_ = m < 0 ? 0 : m; }

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    // Lifted before the press was long enough: no long press.
    void touchesEnded(const UITouchSet&, UIEvent*) override { endOrFail(); }

  protected:
    UILongPressGestureRecognizer() = default;
    void reset() override;

  private:
    CFTimeInterval minimumPressDuration_ = 0.5;
    CGFloat allowableMovement_ = 10;
    bool timing_ = false;
};
