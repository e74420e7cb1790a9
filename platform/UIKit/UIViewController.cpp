#include "UIViewController.h"

#include <algorithm>

#include "Foundation/NSLog.h"
#include "Foundation/NSRunLoop.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UINavigationItem.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UITabBarController.h"
#include "UIKit/UITabBarItem.h"
#include "UIKit/UIWindow.h"

std::shared_ptr<UIViewController> UIViewController::create() {
    return std::shared_ptr<UIViewController>(new UIViewController());
}

UIViewController::~UIViewController() {
    for (auto& child : children_) child->parent_.reset();
}

const std::shared_ptr<UIView>& UIViewController::view() {
    if (!view_) {
        loadView();
        if (!view_) UIViewController::loadView();
        viewDidLoad();
    }
    return view_;
}

void UIViewController::setView(std::shared_ptr<UIView> view) {
    if (view_) view_->setViewController({});
    view_ = std::move(view);
    if (view_) view_->setViewController(weakSelf<UIResponder>());
}

void UIViewController::loadView() {
    auto v = UIView::create(UIScreen::mainScreen()->bounds());
    v->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    setView(std::move(v));
}

void UIViewController::beginAppearanceTransition(bool isAppearing, bool animated) {
    if (isAppearing ? isShowing() : !isShowing()) return;
    auto self = sharedSelf<UIViewController>();
    appearance_ = isAppearing ? Appearance::Appearing : Appearance::Disappearing;
    appearanceAnimated_ = animated;
    if (isAppearing) {
        loadViewIfNeeded();
        viewWillAppear(animated);
    } else {
        viewWillDisappear(animated);
    }
    transitionChildren_.clear();
    for (const auto& child : appearanceChildren()) {
        transitionChildren_.push_back(child);
        child->beginAppearanceTransition(isAppearing, animated);
    }
}

void UIViewController::endAppearanceTransition() {
    auto self = sharedSelf<UIViewController>();
    if (appearance_ == Appearance::Appearing) {
        appearance_ = Appearance::Appeared;
        viewDidAppear(appearanceAnimated_);
    } else if (appearance_ == Appearance::Disappearing) {
        appearance_ = Appearance::Disappeared;
        viewDidDisappear(appearanceAnimated_);
    } else {
        return;
    }
    const auto children = std::move(transitionChildren_);
    transitionChildren_.clear();
    for (const auto& weak : children) {
        if (auto child = weak.lock()) child->endAppearanceTransition();
    }
}

std::vector<std::shared_ptr<UIViewController>> UIViewController::appearanceChildren() const {
    std::vector<std::shared_ptr<UIViewController>> out;
    if (!view_) return out;
    for (const auto& child : children_) {
        if (child->isViewLoaded() && child->view_->isDescendantOfView(view_.get()))
            out.push_back(child);
    }
    return out;
}

void UIViewController::setTitle(std::string title) {
    title_ = std::move(title);
    if (navigationItem_) navigationItem_->setTitle(title_);
    if (tabBarItem_) tabBarItem_->setTitle(title_);
}

const std::shared_ptr<UINavigationItem>& UIViewController::navigationItem() {
    if (!navigationItem_) navigationItem_ = UINavigationItem::create(title_);
    return navigationItem_;
}

const std::shared_ptr<UITabBarItem>& UIViewController::tabBarItem() {
    if (!tabBarItem_) tabBarItem_ = UITabBarItem::create(title_, nullptr, 0);
    return tabBarItem_;
}

void UIViewController::setTabBarItem(std::shared_ptr<UITabBarItem> item) {
    tabBarItem_ = std::move(item);
}

void UIViewController::addChildViewController(const std::shared_ptr<UIViewController>& child) {
    if (!child || child.get() == this) return;
    auto self = sharedSelf<UIViewController>();
    if (auto old = child->parentViewController()) {
        if (old == self) return;
        child->willMoveToParentViewController(nullptr);
        child->removeFromParentViewController();
    }
    child->willMoveToParentViewController(self);
    children_.push_back(child);
    child->parent_ = self;
}

void UIViewController::removeFromParentViewController() {
    auto parent = parentViewController();
    if (!parent) return;
    auto self = sharedSelf<UIViewController>();
    std::erase(parent->children_, self);
    parent_.reset();
    didMoveToParentViewController(nullptr);
}

std::shared_ptr<UINavigationController> UIViewController::navigationController() const {
    for (auto p = parentViewController(); p; p = p->parentViewController()) {
        if (auto nav = std::dynamic_pointer_cast<UINavigationController>(p)) return nav;
    }
    return nullptr;
}

std::shared_ptr<UITabBarController> UIViewController::tabBarController() const {
    for (auto p = parentViewController(); p; p = p->parentViewController()) {
        if (auto tab = std::dynamic_pointer_cast<UITabBarController>(p)) return tab;
    }
    return nullptr;
}

std::shared_ptr<UIViewController> UIViewController::outermost() {
    auto c = sharedSelf<UIViewController>();
    while (auto p = c->parentViewController()) c = p;
    return c;
}

namespace {
// Animated transitions finish on the next turn of the main run loop, the rest at once.
void finishTransition(bool animated, std::function<void()> finish) {
    if (animated) {
        NSRunLoop::mainRunLoop()->performBlock(std::move(finish));
    } else {
        finish();
    }
}
}  // namespace

void UIViewController::presentViewController(const std::shared_ptr<UIViewController>& controller,
                                             bool animated, std::function<void()> completion) {
    auto presenter = outermost();
    if (!controller || controller->presentingViewController() ||
        controller->parentViewController()) {
        NSLog("presentViewController: the controller is already shown elsewhere");
        return;
    }
    if (presenter->presented_) {
        NSLog("presentViewController: a controller is already presented");
        return;
    }
    auto window = presenter->isViewLoaded() ? presenter->view_->window() : nullptr;
    if (!window) window = UIApplication::sharedApplication()->keyWindow();
    presenter->presented_ = controller;
    controller->presenting_ = presenter;
    const auto& v = controller->view();
    if (window) {
        v->setFrame(window->bounds());
        window->addSubview(v);
    }
    presenter->beginAppearanceTransition(false, animated);
    controller->beginAppearanceTransition(true, animated);
    finishTransition(animated, [presenter, controller, completion = std::move(completion)] {
        controller->endAppearanceTransition();
        presenter->endAppearanceTransition();
        if (completion) completion();
    });
}

void UIViewController::dismissViewControllerAnimated(bool animated,
                                                     std::function<void()> completion) {
    auto self = sharedSelf<UIViewController>();
    auto presenter = outermost();
    if (!presenter->presented_) {
        if (auto p = presenter->presentingViewController()) {
            p->dismissViewControllerAnimated(animated, std::move(completion));
        }
        return;
    }
    auto controller = std::move(presenter->presented_);
    presenter->presented_.reset();
    controller->presenting_.reset();
    // Whatever the dismissed controller presented goes with it.
    if (controller->presented_) controller->dismissViewControllerAnimated(false);
    controller->beginAppearanceTransition(false, animated);
    presenter->beginAppearanceTransition(true, animated);
    finishTransition(animated, [presenter, controller, completion = std::move(completion)] {
        if (controller->isViewLoaded()) controller->view()->removeFromSuperview();
        controller->endAppearanceTransition();
        presenter->endAppearanceTransition();
        if (completion) completion();
    });
}

std::shared_ptr<UIResponder> UIViewController::nextResponder() const {
    if (view_) {
        if (auto s = view_->superview()) return s;
    }
    return nullptr;
}
