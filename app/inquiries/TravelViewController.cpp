#include "inquiries/TravelViewController.h"

#include "UIKit/UILabel.h"
#include "UIKit/UINavigationController.h"
#include "inquiries/InquiryScreenKit.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/CustomNavBar.h"
#include "shell/DataRequestManager.h"
#include "shell/FactoryClass.h"
#include "shell/ShowAlertView.h"

namespace {

constexpr CGFloat kTravelMargin = 15;
constexpr CGFloat kRowHeight = 36;
constexpr CGFloat kCaptionHeight = 30;

std::shared_ptr<UILabel> caption(const std::string& text, CGFloat y, CGFloat width) {
    auto l =
        UILabel::create(CGRectMake(kTravelMargin, y, width - 2 * kTravelMargin, kCaptionHeight));
    l->setText(text);
    l->setFont(UIFont::boldSystemFontOfSize(15));
    l->setTextColor(UIColor::darkGrayColor());
    l->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    return l;
}

}  // namespace

// No service lists the ways of travelling or the kinds of lodging and the service keeps the ids
// as they come, so the choices are the app's own: a short fixed list each, with stable ids.
const std::array<TravelViewController::Choice, 3>& TravelViewController::transports() {
    static constexpr std::array<Choice, 3> kTransports{
        {{"1", "公共交通"}, {"2", "自驾"}, {"3", "飞机"}}};
    return kTransports;
}

const std::array<TravelViewController::Choice, 3>& TravelViewController::hotels() {
    static constexpr std::array<Choice, 3> kHotels{
        {{"1", "不需要住宿"}, {"2", "经济型酒店"}, {"3", "商务酒店"}}};
    return kHotels;
}

std::shared_ptr<TravelViewController> TravelViewController::create(
    std::string askPriceID, std::weak_ptr<UIViewController> quotingScreen) {
    auto screen = std::shared_ptr<TravelViewController>(
        new TravelViewController(std::move(askPriceID), std::move(quotingScreen)));
    screen->setHidesBottomBarWhenPushed(true);
    return screen;
}

void TravelViewController::viewDidLoad() {
    const auto& v = view();
    v->setBackgroundColor(UIColor::colorWithRGBHex(0xf0f0f0));
    const CGFloat width = v->bounds().size.width;

    CGFloat y = CustomNavBar::kHeight + 10;
    y = addChoiceRow("交通方式", transports(), transportButtons_,
                     &TravelViewController::selectTransport, y);
    y = addChoiceRow("住宿", hotels(), hotelButtons_, &TravelViewController::selectHotel, y);

    v->addSubview(caption("报价金额", y, width));
    y += kCaptionHeight;
    priceField_ = UITextField::create(CGRectMake(kTravelMargin, y, width - 2 * kTravelMargin, 40));
    priceField_->setBackgroundColor(UIColor::whiteColor());
    priceField_->layer()->setBorderWidth(0.5);
    priceField_->layer()->setBorderColor(UIColor::lightGrayColor()->CGColor());
    priceField_->layer()->setCornerRadius(5);
    priceField_->setClipsToBounds(true);
    priceField_->setKeyboardType(UIKeyboardTypeDecimalPad);
    priceField_->setPlaceholder("请在此填写报价金额");
    priceField_->setLeftView(UIView::create(CGRectMake(0, 0, 8, 40)));
    priceField_->setLeftViewMode(UITextFieldViewModeAlways);
    priceField_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    v->addSubview(priceField_);
    y += 40 + 2 * kTravelMargin;

    submit_ = UIButton::buttonWithType(UIButtonTypeCustom);
    submit_->setFrame(CGRectMake(kTravelMargin, y, width - 2 * kTravelMargin, 44));
    submit_->setBackgroundColor(inquiry::accentColor());
    submit_->layer()->setCornerRadius(5);
    submit_->setTitle("提交报价", UIControlStateNormal);
    submit_->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    submit_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    std::weak_ptr<TravelViewController> weak = sharedSelf<TravelViewController>();
    submit_->addTarget(
        weak,
        [weak](const std::shared_ptr<UIControl>&, UIEvent*) {
            if (auto self = weak.lock()) self->sendOffer();
        },
        UIControlEventTouchUpInside);
    v->addSubview(submit_);

    auto swipe = UISwipeGestureRecognizer::create(sharedSelf<TravelViewController>(),
                                                  &TravelViewController::swipAction);
    swipe->setDirection(UISwipeGestureRecognizerDirectionRight);
    v->addGestureRecognizer(swipe);

    markSelected(transportButtons_, transport_);
    markSelected(hotelButtons_, hotel_);
}

CGFloat TravelViewController::addChoiceRow(const std::string& title,
                                           const std::array<Choice, 3>& choices,
                                           std::vector<std::shared_ptr<UIButton>>& buttons,
                                           void (TravelViewController::*select)(size_t),
                                           CGFloat y) {
    const auto& v = view();
    const CGFloat width = v->bounds().size.width;
    v->addSubview(caption(title, y, width));
    y += kCaptionHeight;
    const CGFloat gap = 10;
    const CGFloat buttonWidth = (width - 2 * kTravelMargin - gap * (choices.size() - 1)) /
                                static_cast<CGFloat>(choices.size());
    std::weak_ptr<TravelViewController> weak = sharedSelf<TravelViewController>();
    for (size_t i = 0; i < choices.size(); ++i) {
        auto button = UIButton::buttonWithType(UIButtonTypeCustom);
        button->setFrame(CGRectMake(kTravelMargin + static_cast<CGFloat>(i) * (buttonWidth + gap),
                                    y, buttonWidth, kRowHeight));
        button->setTitle(choices[i].title, UIControlStateNormal);
        button->setTitleColor(UIColor::darkGrayColor(), UIControlStateNormal);
        button->setTitleColor(UIColor::whiteColor(), UIControlStateSelected);
        button->layer()->setCornerRadius(5);
        button->layer()->setBorderWidth(0.5);
        button->layer()->setBorderColor(UIColor::lightGrayColor()->CGColor());
        button->addTarget(
            weak,
            [weak, select, i](const std::shared_ptr<UIControl>&, UIEvent*) {
                if (auto self = weak.lock()) ((*self).*select)(i);
            },
            UIControlEventTouchUpInside);
        v->addSubview(button);
        buttons.push_back(button);
    }
    return y + kRowHeight + kTravelMargin;
}

void TravelViewController::markSelected(const std::vector<std::shared_ptr<UIButton>>& buttons,
                                        size_t index) {
    for (size_t i = 0; i < buttons.size(); ++i) {
        buttons[i]->setSelected(i == index);
        buttons[i]->setBackgroundColor(i == index ? inquiry::accentColor() : UIColor::whiteColor());
    }
}

void TravelViewController::selectTransport(size_t index) {
    if (index >= transports().size()) return;
    transport_ = index;
    markSelected(transportButtons_, index);
}

void TravelViewController::selectHotel(size_t index) {
    if (index >= hotels().size()) return;
    hotel_ = index;
    markSelected(hotelButtons_, index);
}

void TravelViewController::viewWillAppear(bool) {
    const auto navBar = CustomNavBar::shareManager();
    std::weak_ptr<TravelViewController> weak = sharedSelf<TravelViewController>();
    navBar->setupNavBarHaveLeft(
        true, "ic_back_arrow_normal_orige", "ic_back_arrow_selected_orige", false, "", "", weak,
        [weak](const std::shared_ptr<UIView>& sender) {
            if (auto self = weak.lock(); self && sender && sender->tag() == 0) {
                self->backButtonClick();
            }
        },
        "差旅报价");
    navBar->setFrame(CGRectMake(0, 0, view()->bounds().size.width, CustomNavBar::kHeight));
    view()->addSubview(navBar);
}

void TravelViewController::viewWillDisappear(bool) { FactoryClass::removeBarWithClass(*this); }

void TravelViewController::sendOffer() {
    const std::string price = priceField_ ? priceField_->text() : std::string();
    if (price.empty()) {
        toast("报价金额不可为空(如无需求,可填写'0')");
        return;
    }
    const auto app = BrisfoldAppDelegate::getApp();
    if (!app) return;
    priceField_->resignFirstResponder();
    std::string body = "brisfoldID=" + formValue(app->APPUserID());
    body += "&askpriceID=" + formValue(askPriceID_);
    body += "&transID=" + formValue(transports()[transport_].id);
    body += "&hotelID=" + formValue(hotels()[hotel_].id);
    body += "&price=" + formValue(price);
    DataRequestManager::shareManger()->requestWithURLString(
        app->serviceURL("AskPrice/EngineerPrice"), body, sharedSelf<UIViewController>());
}

void TravelViewController::updateDataWithDictionary(const nlohmann::json& dictionary) {
    const bool accepted = replyText(dictionary, "code") == "1";
    if (accepted) {
        if (auto quoting = quotingScreen_.lock()) ::doRefresh(*quoting);
    }
    if (const std::string tip = replyText(dictionary, "tip"); !tip.empty()) toast(tip);
    if (accepted) backButtonClick();
}

void TravelViewController::backButtonClick() {
    auto nav = navigationController();
    if (nav && nav->topViewController().get() == this) nav->popViewControllerAnimated(true);
}

void TravelViewController::swipAction(UISwipeGestureRecognizer&) { backButtonClick(); }

void TravelViewController::toast(const std::string& message) {
    ShowAlertView::initializeAlertViewWithFrame(ShowAlertView::toastFrame(), message, 1,
                                                sharedSelf<UIViewController>())
        ->addAlertView();
}
