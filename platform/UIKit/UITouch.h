#pragma once

#include <memory>
#include <vector>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/Clock.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIResponder.h"

class UIView;
class UIWindow;
class UIGestureRecognizerBase;

enum UITouchPhase {
    UITouchPhaseBegan,
    UITouchPhaseMoved,
    UITouchPhaseStationary,
    UITouchPhaseEnded,
    UITouchPhaseCancelled,
};

// One finger from down to up. Hosts create it at touch-down and update it in place; the window
// fills in the view, the recognisers and the tap count.
class UITouch : public NSObject {
  public:
    static std::shared_ptr<UITouch> create(CGPoint locationInWindow, CFTimeInterval timestamp);

    UITouchPhase phase() const { return phase_; }
    CFTimeInterval timestamp() const { return timestamp_; }
    unsigned tapCount() const { return tapCount_; }
    std::shared_ptr<UIView> view() const { return view_; }
    std::shared_ptr<UIWindow> window() const { return window_.lock(); }
    const std::vector<std::shared_ptr<UIGestureRecognizerBase>>& gestureRecognizers() const {
        return recognizers_;
    }

    // In the coordinates of the view; null means the window's.
    CGPoint locationInView(const UIView* view) const;
    CGPoint previousLocationInView(const UIView* view) const;
    CGPoint locationInWindow() const { return location_; }

    // Host side: a new position or phase at a time.
    void update(UITouchPhase phase, CGPoint locationInWindow, CFTimeInterval timestamp);

    // Window side.
    void setView(std::shared_ptr<UIView> view) { view_ = std::move(view); }
    void setWindow(std::weak_ptr<UIWindow> window) { window_ = std::move(window); }
    void setTapCount(unsigned n) { tapCount_ = n; }
    void setGestureRecognizers(std::vector<std::shared_ptr<UIGestureRecognizerBase>> r) {
        recognizers_ = std::move(r);
    }
    // Once a recogniser takes the touch over, its view saw touchesCancelled and hears no more.
    bool isCancelledForView() const { return cancelledForView_; }
    void setCancelledForView() { cancelledForView_ = true; }

  private:
    UITouch() = default;
    UITouchPhase phase_ = UITouchPhaseBegan;
    CGPoint location_;
    CGPoint previous_;
    CFTimeInterval timestamp_ = 0;
    unsigned tapCount_ = 1;
    std::shared_ptr<UIView> view_;
    std::weak_ptr<UIWindow> window_;
    std::vector<std::shared_ptr<UIGestureRecognizerBase>> recognizers_;
    bool cancelledForView_ = false;
};

enum UIEventType { UIEventTypeTouches };

// The touches of one moment: all fingers down, each with its phase.
class UIEvent : public NSObject {
  public:
    static std::shared_ptr<UIEvent> create(UITouchSet touches, CFTimeInterval timestamp);

    UIEventType type() const { return UIEventTypeTouches; }
    CFTimeInterval timestamp() const { return timestamp_; }
    const UITouchSet& allTouches() const { return touches_; }
    UITouchSet touchesForView(const UIView* view) const;
    UITouchSet touchesForWindow(const UIWindow* window) const;

  private:
    UIEvent() = default;
    UITouchSet touches_;
    CFTimeInterval timestamp_ = 0;
};
