#include "messages/PublicNewsViewController.h"

#include "Foundation/NSLog.h"
#include "Foundation/NSRunLoop.h"
#include "inquiries/InquiryScreenKit.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/DataRequestManager.h"
#include "shell/FactoryClass.h"

std::shared_ptr<PublicNewsViewController> PublicNewsViewController::create() {
    return std::shared_ptr<PublicNewsViewController>(new PublicNewsViewController());
}

void PublicNewsViewController::viewDidLoad() {
    setEdgesForExtendedLayout(UIRectEdgeNone);
    view()->setBackgroundColor(UIColor::whiteColor());
    std::weak_ptr<PublicNewsViewController> weak = sharedSelf<PublicNewsViewController>();
    NSRunLoop::mainRunLoop()->performAfterDelay(0, [weak] {
        if (auto self = weak.lock()) self->setupUIConfig();
    });
    creatSwipeGesture(UISwipeGestureRecognizerDirectionLeft);
    creatSwipeGesture(UISwipeGestureRecognizerDirectionRight);
}

void PublicNewsViewController::setupUIConfig() {
    if (webView_) return;
    webView_ = UIWebView::create(view()->bounds());
    webView_->setDelegate(std::weak_ptr<UIWebViewDelegate>(sharedSelf<PublicNewsViewController>()));
    // Under the bar, which the appearance put on top.
    view()->insertSubviewAtIndex(webView_, 0);
}

void PublicNewsViewController::creatSwipeGesture(unsigned direction) {
    inquiry::addSwipe(*view(), sharedSelf<PublicNewsViewController>(), direction);
}

void PublicNewsViewController::viewWillAppear(bool) {
    std::weak_ptr<PublicNewsViewController> weak = sharedSelf<PublicNewsViewController>();
    inquiry::setupDetailNavBar(*this, "备注详情", false, "",
                               [weak](const std::shared_ptr<UIView>& sender) {
                                   if (auto self = weak.lock()) self->navBarButtonClick(sender);
                               });
    const auto app = BrisfoldAppDelegate::getApp();
    if (!app) return;
    DataRequestManager::shareManger()->requestWithURLString(app->serviceURL("NewsCenter/GetNotice"),
                                                            "", weakSelf<UIViewController>());
}

void PublicNewsViewController::viewWillDisappear(bool) { FactoryClass::removeBarWithClass(*this); }

void PublicNewsViewController::navBarButtonClick(const std::shared_ptr<UIView>& sender) {
    if (!sender) return;
    if (sender->tag() == 0)
        backButtonClick();
    else if (sender->tag() != 1)
        NSLog("暂无此按钮");
}

void PublicNewsViewController::backButtonClick() { inquiry::popScreen(*this); }

void PublicNewsViewController::swipAction(UISwipeGestureRecognizer& recognizer) {
    switch (recognizer.direction()) {
        case UISwipeGestureRecognizerDirectionRight:
            backButtonClick();
            break;
        case UISwipeGestureRecognizerDirectionLeft:
        case UISwipeGestureRecognizerDirectionUp:
        case UISwipeGestureRecognizerDirectionDown:
            break;
        default:
            NSLog("no swipe");
    }
}

void PublicNewsViewController::updateDataWithDictionary(const nlohmann::json& dictionary) {
    NSLog("RemarkVC:%s", dictionary.dump().c_str());
    const auto list = dictionary.find("List");
    if (list == dictionary.end() || !list->is_array() || !webView_) return;
    for (const auto& notice : *list) {
        NSLog("hehe:%s", replyText(notice, "NoticeName").c_str());
        webView_->loadHTMLString(replyText(notice, "Detail"));
    }
}

void PublicNewsViewController::webViewDidStartLoad(UIWebView&) { NSLog("startLoad"); }

void PublicNewsViewController::webViewDidFinishLoad(UIWebView&) { NSLog("finishLoad"); }

void PublicNewsViewController::webViewDidFailLoadWithError(UIWebView&, const NSError& error) {
    NSLog("error:%s", error.localizedDescription.c_str());
}
