#pragma once

#include <memory>

#include "UIKit/UIGestureRecognizerBase.h"
#include "UIKit/UITouch.h"
#include "UIKit/UIView.h"

using UIWindowLevel = CGFloat;
inline constexpr UIWindowLevel UIWindowLevelNormal = 0;
inline constexpr UIWindowLevel UIWindowLevelAlert = 2000;

class UIViewController;

// The root of a view tree on screen and the place touches enter it (sendEvent).
class UIWindow : public UIView {
  public:
    static std::shared_ptr<UIWindow> create(CGRect frame);
    ~UIWindow() override;

    void makeKeyAndVisible();
    void makeKeyWindow();
    bool isKeyWindow() const;
    UIWindowLevel windowLevel() const { return level_; }
    void setWindowLevel(UIWindowLevel level) { level_ = level; }

    // Hit-tests touches as they begin; each touch then stays with its view until it ends.
    // Recognisers get the touches first (see UIGestureRecognizerBase).
    virtual void sendEvent(UIEvent& event);
    static void setGestureDispatcher(std::shared_ptr<UIGestureDispatcher> dispatcher);

    // Taps count up when they land within this time and distance of the previous one.
    static constexpr CFTimeInterval kMultiTapInterval = 0.35;
    static constexpr CGFloat kMultiTapDistance = 10;

    std::shared_ptr<UIResponder> nextResponder() const override;

    // The controller whose view fills the window (UIWindowRootViewController.cpp). It appears
    // when set on a shown window or when the window is shown, and disappears when replaced or
    // hidden.
    const std::shared_ptr<UIViewController>& rootViewController() const { return root_; }
    void setRootViewController(std::shared_ptr<UIViewController> controller);
    void setHidden(bool hidden) override;

  protected:
    UIWindow() = default;

  private:
    void prepareBeganTouch(UITouch& touch, UIEvent& event);
    void deliverToRecognizers(UIEvent& event);
    void deliverToViews(UIEvent& event);

    UIWindowLevel level_ = UIWindowLevelNormal;
    CGPoint lastTapPoint_;
    CFTimeInterval lastTapTime_ = -1;
    unsigned lastTapCount_ = 0;
    std::shared_ptr<UIViewController> root_;
};
