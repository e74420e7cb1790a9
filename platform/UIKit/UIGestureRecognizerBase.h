#pragma once

#include <memory>

#include "Foundation/NSObject.h"
#include "UIKit/UIResponder.h"

class UIView;
class UIEvent;

// What the window needs of a gesture recogniser; the gesture module derives its recognisers
// from this. How touches get to them:
// - UIView::addGestureRecognizer keeps recognisers in order and attaches them (view()).
// - At touch-down the window hit-tests and gives the touch the enabled recognisers of the hit
//   view and then of each ancestor (UITouch::gestureRecognizers()).
// - For every event the window first delivers the touches to their recognisers: through the
//   installed UIGestureDispatcher if there is one (arbitration, failure requirements), else
//   straight to each recogniser's touches* methods.
// - Then it delivers to the views, except that a touch whose recogniser answers
//   cancelsViewTouches() gets touchesCancelled in its view once and is not delivered there again.
class UIGestureRecognizerBase : public NSObject {
  public:
    std::shared_ptr<UIView> view() const { return view_.lock(); }
    bool isEnabled() const { return enabled_; }
    virtual void setEnabled(bool enabled) { enabled_ = enabled; }

    virtual void touchesBegan(const UITouchSet&, UIEvent*) {}
    virtual void touchesMoved(const UITouchSet&, UIEvent*) {}
    virtual void touchesEnded(const UITouchSet&, UIEvent*) {}
    virtual void touchesCancelled(const UITouchSet&, UIEvent*) {}
    // True once it has recognised and its touches should leave the view.
    virtual bool cancelsViewTouches() const { return false; }
    // The view it was added to changed (null when removed).
    virtual void didMoveToView() {}

  protected:
    UIGestureRecognizerBase() = default;

  private:
    friend class UIView;
    std::weak_ptr<UIView> view_;
    bool enabled_ = true;
};

// Installed once by the gesture module to take over delivery to recognisers.
class UIGestureDispatcher {
  public:
    virtual ~UIGestureDispatcher() = default;
    virtual void deliver(UIEvent& event) = 0;
};
