#include "inquiries/RemarkViewController.h"

#include "Foundation/JSONValue.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSRunLoop.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIImage.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIWebView.h"
#include "inquiries/InquiryScreenKit.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/ButtonAction.h"
#include "shell/CustomNavBar.h"
#include "shell/DataRequestManager.h"
#include "shell/FactoryClass.h"

namespace {
constexpr const char* kTitle = "添加备注";
}  // namespace

std::shared_ptr<RemarkViewController> RemarkViewController::create(std::string content,
                                                                   bool isNew) {
    auto screen =
        std::shared_ptr<RemarkViewController>(new RemarkViewController(std::move(content), isNew));
    screen->setHidesBottomBarWhenPushed(true);
    // The system bar's back item, for a container that shows that bar; this page hides it and
    // goes back by its own bar.
    auto back = UIButton::buttonWithType(UIButtonTypeCustom);
    back->setFrame(CGRectMake(0, 0, 25, 25));
    back->setBackgroundColor(UIColor::clearColor());
    back->setBackgroundImage(UIImage::imageNamed("ic_back_arrow_normal_orige.png"),
                             UIControlStateNormal);
    back->setBackgroundImage(UIImage::imageNamed("ic_back_arrow_selected_orige.png"),
                             UIControlStateSelected);
    std::weak_ptr<RemarkViewController> weak = screen;
    sendActionOnTap(back, weak, [weak](const std::shared_ptr<UIButton>&) {
        if (auto self = weak.lock()) self->backButtonClick();
    });
    screen->navigationItem()->setLeftBarButtonItem(UIBarButtonItem::createWithCustomView(back));
    return screen;
}

void RemarkViewController::viewDidLoad() {
    setEdgesForExtendedLayout(UIRectEdgeNone);
    view()->setBackgroundColor(UIColor::whiteColor());
    creatSwipeGesture(UISwipeGestureRecognizerDirectionLeft);
    creatSwipeGesture(UISwipeGestureRecognizerDirectionRight);
}

void RemarkViewController::creatSwipeGesture(unsigned direction) {
    inquiry::addSwipe(*view(), sharedSelf<RemarkViewController>(), direction);
}

void RemarkViewController::viewWillAppear(bool) {
    if (const auto navigation = navigationController())
        navigation->navigationBar()->setTitleTextAttributes(
            {UIFont::systemFontOfSize(19), inquiry::accentColor()});
    std::weak_ptr<RemarkViewController> weak = sharedSelf<RemarkViewController>();
    inquiry::setupDetailNavBar(*this, noticeTitle_.empty() ? kTitle : noticeTitle_, true, "",
                               [weak](const std::shared_ptr<UIView>& sender) {
                                   if (auto self = weak.lock()) self->navBarButtonClick(sender);
                               });
    // The confirm picture is a plain slab: it is the item's background, sized to the item so
    // that it leaves the title whole, and the word is on it.
    if (const auto& confirm = CustomNavBar::shareManager()->rightButton()) {
        const CGFloat barWidth = CustomNavBar::shareManager()->bounds().size.width;
        confirm->setFrame(CGRectMake(barWidth - 56, 27, 48, 30));
        confirm->setBackgroundImage(UIImage::imageNamed("确定按钮.jpg"), UIControlStateNormal);
        confirm->setTitle("确定", UIControlStateNormal);
        confirm->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
        confirm->titleLabel()->setFont(UIFont::boldSystemFontOfSize(15));
        confirm->layer()->setCornerRadius(4);
        confirm->setClipsToBounds(true);
    }
    NSRunLoop::mainRunLoop()->performAfterDelay(0, [weak] {
        if (auto self = weak.lock()) self->setupUIConfig();
    });
    if (!isNews_) return;
    const auto app = BrisfoldAppDelegate::getApp();
    DataRequestManager::shareManger()->requestWithURLString(app->serviceURL("NewsCenter/GetNotice"),
                                                            "", weakSelf<UIViewController>());
}

void RemarkViewController::viewWillDisappear(bool) { FactoryClass::removeBarWithClass(*this); }

// Built once: a later appearance keeps the text being edited.
void RemarkViewController::setupUIConfig() {
    if (contentTextView_) return;
    const CGSize size = view()->bounds().size;
    contentTextView_ = UITextView::create(
        CGRectMake(0, CustomNavBar::kHeight, size.width, size.height - CustomNavBar::kHeight));
    contentTextView_->setBackgroundColor(UIColor::clearColor());
    contentTextView_->setUserInteractionEnabled(true);
    contentTextView_->setEditable(true);
    contentTextView_->setText(contentStr_);
    contentTextView_->setTextAlignment(NSTextAlignmentLeft);
    contentTextView_->setTextColor(UIColor::blackColor());
    contentTextView_->setFont(UIFont::systemFontOfSize(17));
    view()->addSubview(contentTextView_);
    contentTextView_->becomeFirstResponder();
}

// The last notice of the list stays on the page, as text.
void RemarkViewController::updateDataWithDictionary(const nlohmann::json& reply) {
    NSLog("RemarkVC:%s", describe(reply).c_str());
    const auto list = reply.is_object() ? reply.find("List") : reply.end();
    if (list == reply.end() || !list->is_array() || list->empty()) return;
    const auto& last = list->back();
    noticeTitle_ = replyText(last, "NoticeName");
    const auto navBar = CustomNavBar::shareManager();
    if (navBar->superview().get() == view().get()) navBar->titleLabel()->setText(noticeTitle_);
    if (!contentTextView_) setupUIConfig();
    contentTextView_->setText(UIWebViewTextFromHTML(replyText(last, "Detail")));
}

void RemarkViewController::updateDataSourceWithStr(const std::string&) {}

void RemarkViewController::navBarButtonClick(const std::shared_ptr<UIView>& sender) {
    const int tag = sender ? sender->tag() : -1;
    if (tag == 0) {
        backButtonClick();
    } else if (tag == 1) {
        // Handed back once: the block goes with the page.
        if (auto block = std::exchange(block_, nullptr); block && contentTextView_)
            block(contentTextView_->text());
        backButtonClick();
    } else {
        NSLog("暂无此按钮");
    }
}

void RemarkViewController::backButtonClick() {
    if (contentTextView_) contentTextView_->resignFirstResponder();
    inquiry::popScreen(*this);
}

void RemarkViewController::swipAction(UISwipeGestureRecognizer& gesture) {
    if (gesture.direction() & UISwipeGestureRecognizerDirectionRight) {
        backButtonClick();
    } else if (!(gesture.direction() &
                 (UISwipeGestureRecognizerDirectionLeft | UISwipeGestureRecognizerDirectionUp |
                  UISwipeGestureRecognizerDirectionDown))) {
        NSLog("no swipe");
    }
}
