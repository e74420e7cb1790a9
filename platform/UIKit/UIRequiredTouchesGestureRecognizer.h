#pragma once

#include "UIKit/UIGestureRecognizer.h"

// What tap, long press and swipe share: they want a number of fingers down, and more fail them.
class UIRequiredTouchesGestureRecognizer : public UIGestureRecognizer {
  public:
    unsigned numberOfTouchesRequired() const { return touchesRequired_; }
    void setNumberOfTouchesRequired(unsigned n) { touchesRequired_ = n < 1 ? 1 : n; }

  protected:
    UIRequiredTouchesGestureRecognizer() = default;

    // Fails the gesture, and answers true, when more fingers are down than it wants.
    bool failOnExtraTouches() {
        if (trackedTouches().size() <= touchesRequired_) return false;
        setState(UIGestureRecognizerStateFailed);
        return true;
    }

  private:
    unsigned touchesRequired_ = 1;
};
