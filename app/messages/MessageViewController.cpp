#include "messages/MessageViewController.h"

#include "Foundation/NSRunLoop.h"
#include "UIKit/UIViewAnimationWithBlocks.h"

std::shared_ptr<MessageViewController> MessageViewController::create() {
    return std::shared_ptr<MessageViewController>(new MessageViewController());
}

void MessageViewController::viewDidLoad() {
    setEdgesForExtendedLayout(UIRectEdgeNone);
    view()->setBackgroundColor(UIColor::blackColor());
    std::weak_ptr<MessageViewController> weak = sharedSelf<MessageViewController>();
    NSRunLoop::mainRunLoop()->performAfterDelay(0, [weak] {
        if (auto self = weak.lock()) self->setupUIConfig();
    });
}

void MessageViewController::setupUIConfig() {
    if (midVC_) return;
    const CGRect b = view()->bounds();
    const CGFloat w = b.size.width;
    const CGFloat h = b.size.height;
    const auto self = sharedSelf<UIViewController>();
    midVC_ = MessageMiddleViewController::create(self);
    midVC_->setHidesBottomBarWhenPushed(true);
    midView_ = SideSlipView::create(CGRectMake(0, 0, w, h), self);
    midView_->setContentVC(midVC_);
    midVC_->viewWillAppear(false);

    leftVC_ = LeftViewController::create();
    leftVC_->setHidesBottomBarWhenPushed(true);
    leftView_ = SideSlipView::create(CGRectMake(-kLeftShare * w, 0, kLeftShare * w, h), self);
    leftView_->setContentVC(leftVC_);
    leftVC_->viewWillAppear(false);

    view()->addSubview(midView_);
    view()->addSubview(leftView_);
}

// The list hears the appearance as the container's child.
void MessageViewController::viewWillAppear(bool) {
    if (!needRefreshLoad()) return;
    setNeedRefreshLoad(false);
    if (!midVC_) return;
    midVC_->doRefresh();
    leftVC_->doRefresh();
}

void MessageViewController::slideSideSlipView(bool open) {
    midVC_->setIsShowLeftView(open);
    const auto left = leftView_;
    const auto mid = midView_;
    UIViewAnimateWithDuration(kSlideDuration, [left, mid, open] {
        CGRect l = left->frame();
        CGRect m = mid->frame();
        l.origin.x = open ? 0 : -l.size.width;
        m.origin.x = open ? l.size.width : 0;
        left->setFrame(l);
        mid->setFrame(m);
    });
}
