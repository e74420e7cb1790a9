#include "shell/TabContainerViewController.h"

#include "UIKit/UITouch.h"
#include "shell/CustomNavBar.h"
#include "shell/CustomTabBar.h"
#include "shell/FactoryClass.h"
#include "shell/LeftViewController.h"
#include "shell/ViewControllerClasses.h"

namespace {
// The side menu's share of the screen's width.
constexpr CGFloat kSideWidth = 0.7;
}  // namespace

std::shared_ptr<TabContainerViewController> TabContainerViewController::create(
    std::string className) {
    return std::shared_ptr<TabContainerViewController>(
        new TabContainerViewController(std::move(className), {}));
}

void TabContainerViewController::viewDidLoad() {
    const auto& v = view();
    v->setBackgroundColor(UIColor::colorWithRGBHex(0xf0f0f0));
    if (listClassName_.empty()) return;
    list_ = ViewControllerClasses::create(listClassName_, sharedSelf<UIViewController>());
    if (!list_) return;
    addChildViewController(list_);
    const CGRect b = v->bounds();
    list_->view()->setFrame(
        CGRectMake(0, CustomNavBar::kHeight, b.size.width,
                   b.size.height - CustomNavBar::kHeight - CustomTabBar::kHeight));
    list_->view()->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                       UIViewAutoresizingFlexibleHeight);
    v->addSubview(list_->view());
    list_->didMoveToParentViewController(sharedSelf<UIViewController>());
}

void TabContainerViewController::viewWillAppear(bool) {
    const auto tabBar = CustomTabBar::shareManager();
    const int index = tabBar->indexOfClass(className_);
    const std::string title = index >= 0 ? tabBar->tabs()[static_cast<size_t>(index)].title : "";
    const auto navBar = CustomNavBar::shareManager();
    std::weak_ptr<TabContainerViewController> weak = sharedSelf<TabContainerViewController>();
    navBar->setupNavBarHaveLeft(
        true, "ic_user_man_normal", "ic_user_man_selected", !rightItemImage().empty(),
        rightItemImage(), rightItemSelectedImage(), weak,
        [weak](const std::shared_ptr<UIView>& sender) {
            if (auto self = weak.lock()) self->navBarButtonClick(sender);
        },
        title);
    const auto& v = view();
    const CGRect b = v->bounds();
    navBar->setFrame(CGRectMake(0, 0, b.size.width, CustomNavBar::kHeight));
    tabBar->setFrame(
        CGRectMake(0, b.size.height - CustomTabBar::kHeight, b.size.width, CustomTabBar::kHeight));
    v->addSubview(navBar);
    v->addSubview(tabBar);
    tabBar->setSelectedIndex(index);
    keepMenuOnTop();
    if (needRefresh_ && list_) {
        needRefresh_ = false;
        ::doRefresh(*list_);
    }
}

void TabContainerViewController::viewWillDisappear(bool) {
    FactoryClass::removeBarWithClass(*this);
}

void TabContainerViewController::navBarButtonClick(const std::shared_ptr<UIView>& sender) {
    if (sender && sender->tag() == 1) rightItemClick();
    if (sender && sender->tag() == 0) setShowLeftView(!showLeft_);
}

void TabContainerViewController::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    const auto touched = touches.empty() || !touches.front() ? nullptr : touches.front()->view();
    if (!touched || touched->tag() != kShadowTag) {
        UIViewController::touchesEnded(touches, event);
        return;
    }
    if (showLeft_) setShowLeftView(false);
}

void TabContainerViewController::makeSideSlipView() {
    if (side_) return;
    const CGRect b = view()->bounds();
    side_ = SideSlipView::create(CGRectMake(0, CustomNavBar::kHeight, b.size.width * kSideWidth,
                                            b.size.height - CustomNavBar::kHeight),
                                 sharedSelf<UIViewController>());
    side_->setAutoresizingMask(UIViewAutoresizingFlexibleHeight);
    side_->setContentVC(LeftViewController::create());
    side_->setHidden(true);
    view()->addSubview(side_);
}

void TabContainerViewController::slideSideSlipView(bool shown) {
    side_->setHidden(!shown);
    if (shown && side_->contentVC()) ::doRefresh(*side_->contentVC());
}

void TabContainerViewController::setShowLeftView(bool shown) {
    makeSideSlipView();
    if (!sideSlipView()) return;
    showLeft_ = shown;
    if (shown)
        keepMenuOnTop();
    else if (shadowView_)
        shadowView_->removeFromSuperview();
    slideSideSlipView(shown);
    if (auto* list = dynamic_cast<TabListScreen*>(list_.get())) list->setIsShowLeftView(shown);
}

void TabContainerViewController::keepMenuOnTop() {
    const auto& panel = sideSlipView();
    if (!showLeft_ || !panel) return;
    if (!shadowView_) {
        shadowView_ = UIView::create(view()->bounds());
        shadowView_->setBackgroundColor(UIColor::blackColor());
        shadowView_->setAlpha(0.6);
        shadowView_->setUserInteractionEnabled(true);
        shadowView_->setTag(kShadowTag);
        shadowView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                         UIViewAutoresizingFlexibleHeight);
    }
    view()->addSubview(shadowView_);
    view()->bringSubviewToFront(panel.get());
}
