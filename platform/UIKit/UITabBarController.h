#pragma once

#include <memory>
#include <vector>

#include "UIKit/UITabBar.h"
#include "UIKit/UIViewController.h"

// Shows one of its controllers at a time with a tab bar along the bottom. Switching tells the
// leaving controller and the coming one (will..., then did...) at once. A navigation controller
// that shows a pushed controller asking for it moves the bar below the bottom edge, leaving its
// hidden flag to the app (which may cover or replace the bar).
class UITabBarController : public UIViewController, public UITabBarDelegate {
  public:
    static std::shared_ptr<UITabBarController> create();

    const std::vector<std::shared_ptr<UIViewController>>& viewControllers() const {
        return controllers_;
    }
    void setViewControllers(std::vector<std::shared_ptr<UIViewController>> controllers,
                            bool animated = false);
    // -1 when there are no controllers.
    int selectedIndex() const { return selected_; }
    void setSelectedIndex(int index);
    std::shared_ptr<UIViewController> selectedViewController() const;
    void setSelectedViewController(const std::shared_ptr<UIViewController>& controller);
    const std::shared_ptr<UITabBar>& tabBar();

    void loadView() override;
    void tabBarDidSelectItem(const std::shared_ptr<UITabBar>& bar,
                             const std::shared_ptr<UITabBarItem>& item) override;

  protected:
    UITabBarController() = default;
    std::vector<std::shared_ptr<UIViewController>> appearanceChildren() const override;

  private:
    void layoutContent();
    void show(int index, const std::shared_ptr<UIViewController>& from);

    std::vector<std::shared_ptr<UIViewController>> controllers_;
    std::shared_ptr<UITabBar> tabBar_;
    int selected_ = -1;
};
