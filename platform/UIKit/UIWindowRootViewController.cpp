#include "UIKit/UIViewController.h"
#include "UIKit/UIWindow.h"

void UIWindow::setRootViewController(std::shared_ptr<UIViewController> controller) {
    if (controller == root_) return;
    auto self = sharedSelf<UIWindow>();
    auto old = std::move(root_);
    root_ = std::move(controller);
    const bool shown = !isHidden();
    if (old) {
        if (shown) old->beginAppearanceTransition(false, false);
        if (old->isViewLoaded() && old->view()->superview() == self)
            old->view()->removeFromSuperview();
        if (shown) old->endAppearanceTransition();
    }
    if (!root_) return;
    const auto& v = root_->view();
    v->setFrame(bounds());
    v->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    if (shown) root_->beginAppearanceTransition(true, false);
    addSubview(v);
    if (shown) root_->endAppearanceTransition();
}

void UIWindow::setHidden(bool hidden) {
    const bool was = isHidden();
    if (root_ && hidden != was) root_->beginAppearanceTransition(!hidden, false);
    UIView::setHidden(hidden);
    if (root_ && hidden != was) root_->endAppearanceTransition();
}
