#pragma once

#include "UIKit/UIRequiredTouchesGestureRecognizer.h"

// Discrete: recognises when the required number of fingers has come down and lifted the
// required number of times, each tap within the slop of where the first began and following the
// previous one within the tap interval.
class UITapGestureRecognizer
    : public UIGestureRecognizerFactory<UITapGestureRecognizer,
                                        UIRequiredTouchesGestureRecognizer> {
  public:
    static constexpr CGFloat kAllowableMovement = 10;
    static constexpr CFTimeInterval kTapInterval = 0.35;
    // How far later taps may land from the first one.
    static constexpr CGFloat kMultiTapDistance = 45;

    unsigned numberOfTapsRequired() const { return tapsRequired_; }
    void setNumberOfTapsRequired(unsigned n) { tapsRequired_ = n < 1 ? 1 : n; }

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;

  protected:
    UITapGestureRecognizer() = default;
    void reset() override;

  private:
    unsigned tapsRequired_ = 1;
    unsigned tapsDone_ = 0;
    std::size_t fingersThisTap_ = 0;
    CGPoint firstTapStart_;
};
