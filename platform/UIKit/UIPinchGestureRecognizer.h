#pragma once

#include <memory>
#include <vector>

#include "UIKit/UIGestureRecognizer.h"

// Continuous, two fingers: begins once their distance has changed by kMinimumChange; scale is
// the ratio of their distance to the distance when it was last set (1 at the start).
class UIPinchGestureRecognizer : public UIGestureRecognizer {
  public:
    static constexpr CGFloat kMinimumChange = 8;

    static std::shared_ptr<UIPinchGestureRecognizer> create();
    template <class T, class Sender>
    static std::shared_ptr<UIPinchGestureRecognizer> create(const std::shared_ptr<T>& target,
                                                            void (T::*action)(Sender&)) {
        auto r = create();
        r->addTarget(target, action);
        return r;
    }

    CGFloat scale() const { return scale_; }
    // Later changes multiply this value.
    void setScale(CGFloat scale);
    // Scale per second.
    CGFloat velocity() const { return rateOf(samples_).x; }

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

  protected:
    UIPinchGestureRecognizer() = default;
    void reset() override;

  private:
    CGFloat distance() const;

    CGFloat scale_ = 1;
    CGFloat scaleBase_ = 1;
    CGFloat startDistance_ = 0;
    CGFloat refDistance_ = 0;
    CGFloat lastDistance_ = 0;
    std::vector<Sample> samples_;
};
