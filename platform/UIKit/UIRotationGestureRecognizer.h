#pragma once

#include <memory>
#include <numbers>
#include <vector>

#include "UIKit/UIGestureRecognizer.h"

// Continuous, two fingers: begins once the line between them has turned kMinimumRotation;
// rotation is in radians, clockwise on screen positive, counted from when it was last set
// (0 at the start) and not wrapped, so several turns add up.
class UIRotationGestureRecognizer : public UIGestureRecognizer {
  public:
    static constexpr CGFloat kMinimumRotation = 5 * std::numbers::pi / 180;

    static std::shared_ptr<UIRotationGestureRecognizer> create();
    template <class T, class Sender>
    static std::shared_ptr<UIRotationGestureRecognizer> create(const std::shared_ptr<T>& target,
                                                               void (T::*action)(Sender&)) {
        auto r = create();
        r->addTarget(target, action);
        return r;
    }

    CGFloat rotation() const { return rotation_; }
    void setRotation(CGFloat rotation);
    // Radians per second.
    CGFloat velocity() const { return rateOf(samples_).x; }

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

  protected:
    UIRotationGestureRecognizer() = default;
    void reset() override;

  private:
    CGFloat angle() const;

    CGFloat rotation_ = 0;
    CGFloat rotationBase_ = 0;
    // Turn since the fingers came down, unwrapped; and its value when rotation was last set.
    CGFloat turned_ = 0;
    CGFloat turnedAtBase_ = 0;
    CGFloat lastAngle_ = 0;
    std::vector<Sample> samples_;
};
