#include "UINavigationController.h"

#include <algorithm>

#include "Foundation/NSLog.h"
#include "Foundation/NSRunLoop.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UILayoutContainerView.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UITabBarController.h"

namespace {
bool contains(const std::vector<std::shared_ptr<UIViewController>>& v,
              const std::shared_ptr<UIViewController>& c) {
    return std::find(v.begin(), v.end(), c) != v.end();
}
}  // namespace

std::shared_ptr<UINavigationController> UINavigationController::create(
    std::shared_ptr<UIViewController> rootViewController) {
    auto nav = std::shared_ptr<UINavigationController>(new UINavigationController());
    if (rootViewController) nav->setViewControllers({std::move(rootViewController)}, false);
    return nav;
}

void UINavigationController::loadView() {
    std::weak_ptr<UINavigationController> weak = weakSelf<UINavigationController>();
    auto container = UILayoutContainerView::create(UIScreen::mainScreen()->bounds(), [weak] {
        if (auto nav = weak.lock()) nav->layoutContent();
    });
    container->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                   UIViewAutoresizingFlexibleHeight);
    setView(container);
    container->addSubview(navigationBar());
    if (auto top = topViewController()) container->insertSubviewAtIndex(top->view(), 0);
    layoutContent();
}

const std::shared_ptr<UINavigationBar>& UINavigationController::navigationBar() {
    if (!bar_) {
        bar_ = UINavigationBar::create(CGRectMake(0, 0, UIScreen::mainScreen()->bounds().size.width,
                                                  UINavigationBar::kHeight));
        std::weak_ptr<UINavigationController> weak = weakSelf<UINavigationController>();
        bar_->setBackAction([weak] {
            if (auto nav = weak.lock()) nav->popViewControllerAnimated(true);
        });
        std::vector<std::shared_ptr<UINavigationItem>> items;
        for (const auto& c : stack_) items.push_back(c->navigationItem());
        bar_->setItems(std::move(items));
        bar_->setHidden(barHidden_);
    }
    return bar_;
}

void UINavigationController::layoutContent() {
    if (!isViewLoaded()) return;
    const CGRect b = view()->bounds();
    const CGFloat statusBar = UIApplication::sharedApplication()->statusBarFrame().size.height;
    // The bar keeps its height when hidden; the content then takes its place.
    navigationBar()->setFrame(CGRectMake(0, statusBar, b.size.width, UINavigationBar::kHeight));
    auto top = topViewController();
    if (!top || !top->isViewLoaded()) return;
    CGRect content = b;
    if (!barHidden_ && !(top->edgesForExtendedLayout() & UIRectEdgeTop)) {
        const CGFloat below = statusBar + UINavigationBar::kHeight;
        content = CGRectMake(0, below, b.size.width, std::max<CGFloat>(0, b.size.height - below));
    }
    top->view()->setFrame(content);
}

std::shared_ptr<UIViewController> UINavigationController::topViewController() const {
    return stack_.empty() ? nullptr : stack_.back();
}

std::shared_ptr<UIViewController> UINavigationController::visibleViewController() const {
    if (auto p = presentedViewController()) return p;
    return topViewController();
}

std::vector<std::shared_ptr<UIViewController>> UINavigationController::appearanceChildren() const {
    if (auto top = topViewController()) return {top};
    return {};
}

bool UINavigationController::hidesBottomBar() const {
    return std::any_of(stack_.begin() + (stack_.empty() ? 0 : 1), stack_.end(),
                       [](const auto& c) { return c->hidesBottomBarWhenPushed(); });
}

void UINavigationController::setViewControllers(
    std::vector<std::shared_ptr<UIViewController>> controllers, bool animated) {
    std::vector<std::shared_ptr<UIViewController>> unique;
    for (auto& c : controllers) {
        if (!c || contains(unique, c)) continue;
        if (auto p = c->parentViewController(); p && p.get() != this) {
            NSLog("UINavigationController: a controller of another parent is left out");
            continue;
        }
        unique.push_back(std::move(c));
    }
    replaceStack(std::move(unique), animated);
}

void UINavigationController::pushViewController(const std::shared_ptr<UIViewController>& controller,
                                                bool animated) {
    if (!controller || contains(stack_, controller) || controller->parentViewController() ||
        std::dynamic_pointer_cast<UINavigationController>(controller)) {
        NSLog("pushViewController: refused a controller that cannot be pushed");
        return;
    }
    auto stack = stack_;
    stack.push_back(controller);
    replaceStack(std::move(stack), animated);
}

std::shared_ptr<UIViewController> UINavigationController::popViewControllerAnimated(bool animated) {
    if (stack_.size() < 2) return nullptr;
    auto popped = stack_.back();
    auto stack = stack_;
    stack.pop_back();
    replaceStack(std::move(stack), animated);
    return popped;
}

std::vector<std::shared_ptr<UIViewController>>
UINavigationController::popToRootViewControllerAnimated(bool animated) {
    if (stack_.empty()) return {};
    return popToViewController(stack_.front(), animated);
}

std::vector<std::shared_ptr<UIViewController>> UINavigationController::popToViewController(
    const std::shared_ptr<UIViewController>& controller, bool animated) {
    auto it = std::find(stack_.begin(), stack_.end(), controller);
    if (it == stack_.end()) return {};
    std::vector<std::shared_ptr<UIViewController>> popped(it + 1, stack_.end());
    if (popped.empty()) return {};
    replaceStack({stack_.begin(), it + 1}, animated);
    return popped;
}

void UINavigationController::setNavigationBarHidden(bool hidden, bool) {
    barHidden_ = hidden;
    navigationBar()->setHidden(hidden);
    layoutContent();
}

void UINavigationController::setToolbarHidden(bool hidden, bool) { toolbarHidden_ = hidden; }

void UINavigationController::finishPending() {
    if (!pending_) return;
    auto finish = std::move(pending_);
    pending_ = nullptr;
    finish();
}

void UINavigationController::replaceStack(std::vector<std::shared_ptr<UIViewController>> stack,
                                          bool animated) {
    finishPending();
    auto self = sharedSelf<UINavigationController>();
    const auto oldTop = topViewController();
    std::vector<std::shared_ptr<UIViewController>> added, removed;
    for (const auto& c : stack)
        if (!contains(stack_, c)) added.push_back(c);
    for (const auto& c : stack_)
        if (!contains(stack, c)) removed.push_back(c);
    for (const auto& c : removed) c->willMoveToParentViewController(nullptr);
    for (const auto& c : added) addChildViewController(c);
    stack_ = std::move(stack);
    if (bar_) {
        std::vector<std::shared_ptr<UINavigationItem>> items;
        for (const auto& c : stack_) items.push_back(c->navigationItem());
        bar_->setItems(std::move(items));
    }
    const auto newTop = topViewController();
    if (newTop != oldTop) {
        // The top's view loads with this controller's.
        if (newTop && isViewLoaded()) newTop->loadViewIfNeeded();
        if (isShowing()) {
            if (oldTop) oldTop->beginAppearanceTransition(false, animated);
            if (newTop) newTop->beginAppearanceTransition(true, animated);
        }
        if (isViewLoaded() && newTop) {
            view()->insertSubviewAtIndex(newTop->view(), 0);
            layoutContent();
        }
    }
    std::weak_ptr<UINavigationController> weak = self;
    pending_ = [weak, oldTop, newTop, added, removed] {
        auto nav = weak.lock();
        if (!nav) return;
        if (oldTop && oldTop != newTop) {
            if (oldTop->isViewLoaded() && nav->isViewLoaded() &&
                oldTop->view()->superview() == nav->view())
                oldTop->view()->removeFromSuperview();
            oldTop->endAppearanceTransition();
        }
        if (newTop && newTop != oldTop) newTop->endAppearanceTransition();
        for (const auto& c : removed) c->removeFromParentViewController();
        for (const auto& c : added) c->didMoveToParentViewController(nav);
        nav->tellTabBar();
    };
    if (!animated) {
        finishPending();
        return;
    }
    NSRunLoop::mainRunLoop()->performBlock([weak] {
        if (auto nav = weak.lock()) nav->finishPending();
    });
}

void UINavigationController::tellTabBar() {
    auto tab = tabBarController();
    if (!tab || !tab->isViewLoaded()) return;
    tab->view()->setNeedsLayout();
    tab->view()->layoutIfNeeded();
}
