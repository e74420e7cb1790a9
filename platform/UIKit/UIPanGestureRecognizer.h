#pragma once

#include <limits>
#include <memory>
#include <vector>

#include "UIKit/UIGestureRecognizer.h"

// Continuous: begins when the centroid of between minimum and maximum fingers has moved
// kMinimumDistance from where it came down. The translation counts from there; fingers added
// or lifted during the pan do not make it jump.
class UIPanGestureRecognizer : public UIGestureRecognizerFactory<UIPanGestureRecognizer> {
  public:
    static constexpr CGFloat kMinimumDistance = 10;

    std::size_t minimumNumberOfTouches() const { return minimumTouches_; }
    void setMinimumNumberOfTouches(std::size_t n) { minimumTouches_ = n < 1 ? 1 : n; }
    std::size_t maximumNumberOfTouches() const { return maximumTouches_; }
    void setMaximumNumberOfTouches(std::size_t n) { maximumTouches_ = n < 1 ? 1 : n; }

    // Null view: window coordinates.
    CGPoint translationInView(const UIView* view) const;
    void setTranslation(CGPoint translation, const UIView* view);
    // Points per second over the last tenth of a second.
    CGPoint velocityInView(const UIView* view) const;

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;

  protected:
    UIPanGestureRecognizer() = default;
    void reset() override;

  private:
    // Moves the origin by the jump of the centroid when the set of fingers changes.
    void rebase(CGPoint oldCentroid, const UITouchSet& leaving);
    CGPoint centroidWithout(const UITouchSet& leaving) const;

    std::size_t minimumTouches_ = 1;
    std::size_t maximumTouches_ = std::numeric_limits<std::size_t>::max();
    // Window coordinates: translation = centroid - origin.
    CGPoint origin_;
    CGPoint lastCentroid_;
    std::vector<Sample> samples_;
};
