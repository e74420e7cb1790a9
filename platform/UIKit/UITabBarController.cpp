#include "UITabBarController.h"

#include <algorithm>

#include "UIKit/UILayoutContainerView.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIScreen.h"

std::shared_ptr<UITabBarController> UITabBarController::create() {
    return std::shared_ptr<UITabBarController>(new UITabBarController());
}

const std::shared_ptr<UITabBar>& UITabBarController::tabBar() {
    if (!tabBar_) {
        tabBar_ = UITabBar::create(
            CGRectMake(0, 0, UIScreen::mainScreen()->bounds().size.width, UITabBar::kHeight));
        tabBar_->setDelegate(
            std::static_pointer_cast<UITabBarDelegate>(sharedSelf<UITabBarController>()));
    }
    return tabBar_;
}

void UITabBarController::loadView() {
    std::weak_ptr<UITabBarController> weak = weakSelf<UITabBarController>();
    auto container = UILayoutContainerView::create(UIScreen::mainScreen()->bounds(), [weak] {
        if (auto tab = weak.lock()) tab->layoutContent();
    });
    container->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                   UIViewAutoresizingFlexibleHeight);
    setView(container);
    container->addSubview(tabBar());
    if (auto selected = selectedViewController())
        container->insertSubviewAtIndex(selected->view(), 0);
    layoutContent();
}

void UITabBarController::layoutContent() {
    if (!isViewLoaded()) return;
    const CGRect b = view()->bounds();
    auto selected = selectedViewController();
    auto nav = std::dynamic_pointer_cast<UINavigationController>(selected);
    const bool pushedAway = nav && nav->hidesBottomBar();
    const CGFloat barTop = pushedAway ? b.size.height : b.size.height - UITabBar::kHeight;
    tabBar()->setFrame(CGRectMake(0, barTop, b.size.width, UITabBar::kHeight));
    if (!selected || !selected->isViewLoaded()) return;
    const bool full = pushedAway || tabBar()->isHidden() ||
                      (selected->edgesForExtendedLayout() & UIRectEdgeBottom);
    selected->view()->setFrame(full ? b : CGRectMake(0, 0, b.size.width, barTop));
}

std::shared_ptr<UIViewController> UITabBarController::selectedViewController() const {
    if (selected_ < 0 || selected_ >= static_cast<int>(controllers_.size())) return nullptr;
    return controllers_[static_cast<size_t>(selected_)];
}

std::vector<std::shared_ptr<UIViewController>> UITabBarController::appearanceChildren() const {
    if (auto s = selectedViewController()) return {s};
    return {};
}

void UITabBarController::setViewControllers(
    std::vector<std::shared_ptr<UIViewController>> controllers, bool) {
    auto self = sharedSelf<UITabBarController>();
    const auto old = selectedViewController();
    std::vector<std::shared_ptr<UIViewController>> unique;
    for (auto& c : controllers) {
        if (c && std::find(unique.begin(), unique.end(), c) == unique.end())
            unique.push_back(std::move(c));
    }
    std::vector<std::shared_ptr<UIViewController>> added;
    for (const auto& c : unique) {
        if (c->parentViewController() != self) {
            addChildViewController(c);
            added.push_back(c);
        }
    }
    std::vector<std::shared_ptr<UIViewController>> removed;
    for (const auto& c : controllers_) {
        if (std::find(unique.begin(), unique.end(), c) == unique.end()) removed.push_back(c);
    }
    controllers_ = std::move(unique);
    std::vector<std::shared_ptr<UITabBarItem>> items;
    for (const auto& c : controllers_) items.push_back(c->tabBarItem());
    tabBar()->setItems(std::move(items));
    auto kept = std::find(controllers_.begin(), controllers_.end(), old);
    const int index = kept != controllers_.end() ? static_cast<int>(kept - controllers_.begin())
                                                 : (controllers_.empty() ? -1 : 0);
    selected_ = -1;
    show(index, old);
    for (const auto& c : removed) {
        c->willMoveToParentViewController(nullptr);
        c->removeFromParentViewController();
    }
    for (const auto& c : added) c->didMoveToParentViewController(self);
}

void UITabBarController::setSelectedIndex(int index) {
    if (index < 0 || index >= static_cast<int>(controllers_.size()) || index == selected_) return;
    show(index, selectedViewController());
}

void UITabBarController::setSelectedViewController(
    const std::shared_ptr<UIViewController>& controller) {
    auto it = std::find(controllers_.begin(), controllers_.end(), controller);
    if (it != controllers_.end()) setSelectedIndex(static_cast<int>(it - controllers_.begin()));
}

void UITabBarController::tabBarDidSelectItem(const std::shared_ptr<UITabBar>&,
                                             const std::shared_ptr<UITabBarItem>& item) {
    for (size_t i = 0; i < controllers_.size(); ++i) {
        if (controllers_[i]->tabBarItem() == item) {
            setSelectedIndex(static_cast<int>(i));
            return;
        }
    }
}

void UITabBarController::show(int index, const std::shared_ptr<UIViewController>& from) {
    auto self = sharedSelf<UITabBarController>();
    selected_ = index;
    const auto to = selectedViewController();
    tabBar()->setSelectedItem(to ? to->tabBarItem() : nullptr);
    if (from == to) return;
    if (to && isViewLoaded()) to->loadViewIfNeeded();
    if (isShowing()) {
        if (from) from->beginAppearanceTransition(false, false);
        if (to) to->beginAppearanceTransition(true, false);
    }
    if (isViewLoaded()) {
        if (from && from->isViewLoaded() && from->view()->superview() == view())
            from->view()->removeFromSuperview();
        if (to) view()->insertSubviewAtIndex(to->view(), 0);
        layoutContent();
    }
    if (from) from->endAppearanceTransition();
    if (to) to->endAppearanceTransition();
}
