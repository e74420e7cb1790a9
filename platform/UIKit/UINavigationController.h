#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "UIKit/UINavigationBar.h"
#include "UIKit/UIViewController.h"

// A stack of controllers showing the top one under a navigation bar. Pushes and pops tell the
// leaving and the coming controller (will..., then did...); animated ones finish on the next
// turn of the main run loop, and a new change first finishes the one under way.
class UINavigationController : public UIViewController {
  public:
    static std::shared_ptr<UINavigationController> create(
        std::shared_ptr<UIViewController> rootViewController);

    const std::vector<std::shared_ptr<UIViewController>>& viewControllers() const { return stack_; }
    void setViewControllers(std::vector<std::shared_ptr<UIViewController>> controllers,
                            bool animated);
    // A controller already in a stack or under another parent is refused.
    void pushViewController(const std::shared_ptr<UIViewController>& controller, bool animated);
    // Null when only the root is left.
    std::shared_ptr<UIViewController> popViewControllerAnimated(bool animated);
    std::vector<std::shared_ptr<UIViewController>> popToRootViewControllerAnimated(bool animated);
    std::vector<std::shared_ptr<UIViewController>> popToViewController(
        const std::shared_ptr<UIViewController>& controller, bool animated);
    std::shared_ptr<UIViewController> topViewController() const;
    // The top controller, or what it presents.
    std::shared_ptr<UIViewController> visibleViewController() const;

    const std::shared_ptr<UINavigationBar>& navigationBar();
    bool isNavigationBarHidden() const { return barHidden_; }
    void setNavigationBarHidden(bool hidden, bool animated);
    void setNavigationBarHidden(bool hidden) { setNavigationBarHidden(hidden, false); }
    bool isToolbarHidden() const { return toolbarHidden_; }
    void setToolbarHidden(bool hidden, bool animated);
    void setToolbarHidden(bool hidden) { setToolbarHidden(hidden, false); }

    // Whether a pushed controller of the stack asks the tab bar away.
    bool hidesBottomBar() const;

    void loadView() override;

  protected:
    UINavigationController() = default;
    std::vector<std::shared_ptr<UIViewController>> appearanceChildren() const override;

  private:
    void replaceStack(std::vector<std::shared_ptr<UIViewController>> stack, bool animated);
    void finishPending();
    void layoutContent();
    void tellTabBar();

    std::vector<std::shared_ptr<UIViewController>> stack_;
    std::shared_ptr<UINavigationBar> bar_;
    bool barHidden_ = false;
    bool toolbarHidden_ = true;
    std::function<void()> pending_;
};
