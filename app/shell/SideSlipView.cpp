#include "shell/SideSlipView.h"

std::shared_ptr<SideSlipView> SideSlipView::create(CGRect frame,
                                                   std::weak_ptr<UIViewController> owner) {
    auto view = finishCreate(std::shared_ptr<SideSlipView>(new SideSlipView()), frame);
    view->owner_ = std::move(owner);
    view->setClipsToBounds(true);
    return view;
}

void SideSlipView::setContentVC(std::shared_ptr<UIViewController> controller) {
    const auto owner = owner_.lock();
    if (!owner || !controller) return;
    if (content_) {
        content_->willMoveToParentViewController(nullptr);
        content_->view()->removeFromSuperview();
        content_->removeFromParentViewController();
    }
    content_ = std::move(controller);
    owner->addChildViewController(content_);
    content_->view()->setFrame(CGRectMake(0, 0, bounds().size.width, bounds().size.height));
    content_->view()->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                          UIViewAutoresizingFlexibleHeight);
    addSubview(content_->view());
    content_->didMoveToParentViewController(owner);
}
