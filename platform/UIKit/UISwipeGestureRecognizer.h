#pragma once

#include "UIKit/UIRequiredTouchesGestureRecognizer.h"

enum UISwipeGestureRecognizerDirection : unsigned {
    UISwipeGestureRecognizerDirectionRight = 1 << 0,
    UISwipeGestureRecognizerDirectionLeft = 1 << 1,
    UISwipeGestureRecognizerDirectionUp = 1 << 2,
    UISwipeGestureRecognizerDirectionDown = 1 << 3,
};

// Discrete: recognises when the required fingers travel kMinimumDistance in one of the allowed
// directions within kMaximumDuration, straying off that line by at most half the distance.
// A move that starts the wrong way, or a lift before the distance, fails it.
class UISwipeGestureRecognizer
    : public UIGestureRecognizerFactory<UISwipeGestureRecognizer,
                                        UIRequiredTouchesGestureRecognizer> {
  public:
    static constexpr CGFloat kMinimumDistance = 50;
    static constexpr CFTimeInterval kMaximumDuration = 0.5;
    static constexpr CGFloat kSlop = 10;

    unsigned direction() const { return direction_; }
    void setDirection(unsigned mask) { direction_ = mask; }

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;

  protected:
    UISwipeGestureRecognizer() = default;
    void reset() override;

  private:
    void judge(CFTimeInterval now);

    unsigned direction_ = UISwipeGestureRecognizerDirectionRight;
    CGPoint start_;
    CFTimeInterval startTime_ = 0;
    bool started_ = false;
};
