#pragma once

#include <memory>

#include "UIKit/UIGestureRecognizer.h"

// Discrete: recognises when the required number of fingers has come down and lifted the
// required number of times, each tap within the slop of where the first began and following the
// previous one within the tap interval.
class UITapGestureRecognizer : public UIGestureRecognizer {
  public:
    static constexpr CGFloat kAllowableMovement = 10;
    static constexpr CFTimeInterval kTapInterval = 0.35;
    // How far later taps may land from the first one.
    static constexpr CGFloat kMultiTapDistance = 45;

    static std::shared_ptr<UITapGestureRecognizer> create();
    template <class T, class Sender>
    static std::shared_ptr<UITapGestureRecognizer> create(const std::shared_ptr<T>& target,
                                                          void (T::*action)(Sender&)) {
        auto r = create();
        r->addTarget(target, action);
        return r;
    }

    unsigned numberOfTapsRequired() const { return tapsRequired_; }
    void setNumberOfTapsRequired(unsigned n) { tapsRequired_ = n < 1 ? 1 : n; }
    unsigned numberOfTouchesRequired() const { return touchesRequired_; }
    void setNumberOfTouchesRequired(unsigned n) { touchesRequired_ = n < 1 ? 1 : n; }

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

  protected:
    UITapGestureRecognizer() = default;
    void reset() override;

  private:
    bool movedTooFar() const;

    unsigned tapsRequired_ = 1;
    unsigned touchesRequired_ = 1;
    unsigned tapsDone_ = 0;
    std::size_t fingersThisTap_ = 0;
    CGPoint firstTapStart_;
    std::vector<std::pair<const UITouch*, CGPoint>> starts_;
};
