#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "UIKit/UIGestureRecognizer.h"

// Continuous: begins once the required fingers have stayed down for minimumPressDuration
// within allowableMovement of where they came down; then reports moves and the lift.
class UILongPressGestureRecognizer : public UIGestureRecognizer {
  public:
    static std::shared_ptr<UILongPressGestureRecognizer> create();
    template <class T, class Sender>
    static std::shared_ptr<UILongPressGestureRecognizer> create(const std::shared_ptr<T>& target,
                                                                void (T::*action)(Sender&)) {
        auto r = create();
        r->addTarget(target, action);
        return r;
    }

    CFTimeInterval minimumPressDuration() const { return minimumPressDuration_; }
    void setMinimumPressDuration(CFTimeInterval d) { minimumPressDuration_ = d < 0 ? 0 : d; }
    CGFloat allowableMovement() const { return allowableMovement_; }
    void setAllowableMovement(CGFloat m) { allowableMovement_ = m < 0 ? 0 : m; }
    unsigned numberOfTouchesRequired() const { return touchesRequired_; }
    void setNumberOfTouchesRequired(unsigned n) { touchesRequired_ = n < 1 ? 1 : n; }

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

  protected:
    UILongPressGestureRecognizer() = default;
    void reset() override;

  private:
    CFTimeInterval minimumPressDuration_ = 0.5;
    CGFloat allowableMovement_ = 10;
    unsigned touchesRequired_ = 1;
    bool timing_ = false;
    std::vector<std::pair<const UITouch*, CGPoint>> starts_;
};
