#include "inquiries/Pop_upWindow.h"

#include <utility>

#include "QuartzCore/CAKeyframeAnimation.h"
#include "QuartzCore/CAMediaTimingFunction.h"
#include "QuartzCore/CATransform3D.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIWindow.h"
#include "inquiries/InquiryScreenKit.h"
#include "shell/ShowAlertView.h"

namespace {

constexpr CGFloat kCardWidth = 284;
constexpr CGFloat kMargin = 20;
constexpr int64_t kAmount = 1;
constexpr int64_t kConfirmation = 2;
constexpr int64_t kAmountAndReason = 3;
constexpr int64_t kYesOrNo = 4;

std::shared_ptr<UITextField> inputField(CGRect frame, const std::optional<std::string>& placeholder,
                                        UIKeyboardType keyboard) {
    auto f = UITextField::create(frame);
    f->setBackgroundColor(UIColor::colorWithRed(0.93, 0.93, 0.93, 1));
    f->layer()->setBorderWidth(0.5);
    f->layer()->setBorderColor(UIColor::lightGrayColor()->CGColor());
    f->layer()->setCornerRadius(5);
    f->setClipsToBounds(true);
    f->setKeyboardType(keyboard);
    f->setPlaceholder(placeholder.value_or(""));
    // Text clear of the rounded edge.
    auto padding = UIView::create(CGRectMake(0, 0, 10, frame.size.height));
    padding->setUserInteractionEnabled(false);
    f->setLeftView(padding);
    f->setLeftViewMode(UITextFieldViewModeAlways);
    return f;
}

// A question or a confirmation: a line nobody edits, after an icon.
std::shared_ptr<UITextField> readOnlyLine(CGRect frame, const std::optional<std::string>& text,
                                          UIColorRef colour, NSTextAlignment alignment) {
    auto f = UITextField::create(frame);
    f->setBackgroundColor(UIColor::clearColor());
    f->layer()->setBorderWidth(0.5);
    f->layer()->setBorderColor(UIColor::clearColor()->CGColor());
    f->layer()->setCornerRadius(5);
    // Read-only by taking no touches: a disabled field would draw its text dimmed.
    f->setUserInteractionEnabled(false);
    f->setText(text.value_or(""));
    f->setTextColor(std::move(colour));
    f->setFont(UIFont::systemFontOfSize(19));
    f->setTextAlignment(alignment);
    auto icon = UIImageView::create(CGRectMake(0, 0, 20, 20));
    icon->setBackgroundColor(UIColor::clearColor());
    icon->setUserInteractionEnabled(false);
    icon->setContentMode(UIViewContentModeScaleToFill);
    icon->setImage(UIImage::imageNamed("ic_activity_login_forget_selected.png"));
    f->setLeftView(icon);
    f->setLeftViewMode(UITextFieldViewModeAlways);
    return f;
}

std::shared_ptr<UILabel> fieldTitle(CGRect frame, const std::optional<std::string>& text) {
    auto l = UILabel::create(frame);
    l->setBackgroundColor(UIColor::clearColor());
    l->setUserInteractionEnabled(false);
    l->setText(text.value_or(""));
    l->setTextAlignment(NSTextAlignmentLeft);
    l->setTextColor(inquiry::accentColor());
    l->setFont(UIFont::boldSystemFontOfSize(13));
    return l;
}

}  // namespace

std::shared_ptr<Pop_upWindow> Pop_upWindow::make(CGRect frame, int64_t type,
                                                 std::optional<std::string> askID,
                                                 std::shared_ptr<UIViewController> owner) {
    auto view = finishCreate(std::shared_ptr<Pop_upWindow>(new Pop_upWindow()), frame);
    view->myType_ = type;
    view->askPriceID_ = std::move(askID);
    view->superClass_ = std::move(owner);
    return view;
}

std::shared_ptr<Pop_upWindow> Pop_upWindow::create(CGRect frame, int64_t Type,
                                                   std::optional<std::string> ASKID,
                                                   std::optional<std::string> watermark,
                                                   std::shared_ptr<UIViewController> Class) {
    auto view = make(frame, Type, std::move(ASKID), std::move(Class));
    view->waterMark_ = std::move(watermark);
    if (Type == kAmount || Type == kConfirmation || Type == kYesOrNo)
        view->setupUIConfigWithClass(view->superClass_);
    return view;
}

std::shared_ptr<Pop_upWindow> Pop_upWindow::create(CGRect frame, int64_t Type,
                                                   std::optional<std::string> ASKID,
                                                   std::optional<std::string> name_one,
                                                   std::optional<std::string> name_two,
                                                   std::optional<std::string> watermark_one,
                                                   std::optional<std::string> watermark_two,
                                                   std::shared_ptr<UIViewController> Class) {
    auto view = make(frame, Type, std::move(ASKID), std::move(Class));
    view->titleOne_ = std::move(name_one);
    view->titleTwo_ = std::move(name_two);
    view->waterMark_ = std::move(watermark_one);
    view->waterMark_two_ = std::move(watermark_two);
    if (Type == kAmountAndReason) view->setupUIConfigWithClass(view->superClass_, Type);
    return view;
}

// The card's content follows the pop-up's own type; the owner is kept, not used.
void Pop_upWindow::setupUIConfigWithClass(const std::shared_ptr<UIViewController>&) {
    if (subStationIdMainView_) return;
    setBackgroundColor(UIColor::colorWithRed(0, 0, 0, 0.6));
    setAlpha(1);
    setAutoresizesSubviews(true);
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);

    const CGFloat w = kCardWidth;
    auto card = UIView::create(CGRectMake(0, 0, w, myType_ == kAmountAndReason ? 230 : 160));
    card->setCenter(CGPointMake(CGRectGetMidX(bounds()), CGRectGetMidY(bounds())));
    card->setBackgroundColor(UIColor::whiteColor());
    card->setAutoresizesSubviews(true);
    card->setAutoresizingMask(
        UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
        UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin);
    card->layer()->setCornerRadius(5);
    card->setClipsToBounds(true);
    subStationIdMainView_ = card;

    auto background = UIImageView::create(card->bounds());
    if (auto image = UIImage::imageNamed("alert-view-bg-portrait")) {
        background->setImage(image->stretchableImageWithLeftCapWidth(31, 31));
    }
    card->insertSubviewAtIndex(background, 0);
    addSubview(card);

    forkBtn_ = UIButton::buttonWithType(UIButtonTypeCustom);
    forkBtn_->setFrame(CGRectMake(w - 20, 5, 15, 15));
    forkBtn_->setBackgroundImage(UIImage::imageNamed("ic_cross_normal.png"), UIControlStateNormal);
    forkBtn_->setBackgroundImage(UIImage::imageNamed("ic_cross_selected.png"),
                                 UIControlStateSelected);
    forkBtn_->setBackgroundColor(UIColor::clearColor());
    forkBtn_->layer()->setCornerRadius(5);
    forkBtn_->setClipsToBounds(true);
    onTap(forkBtn_, &Pop_upWindow::forkBtnClick);
    card->addSubview(forkBtn_);

    addContent(w);

    const auto& last = contentTF_two_ ? contentTF_two_ : contentTF_;
    const CGFloat y = CGRectGetMaxY(last->frame()) + kMargin;
    const CGFloat buttonWidth = (w - 3 * kMargin) / 2;
    sureBtn_ =
        addButton(CGRectMake(kMargin, y, buttonWidth, 50), "确定", &Pop_upWindow::sureBtnClick);
    cancelBtn_ = addButton(CGRectMake(2 * kMargin + buttonWidth, y, buttonWidth, 50), "取消",
                           &Pop_upWindow::cancelBtnClick);
}

void Pop_upWindow::setupUIConfigWithClass(const std::shared_ptr<UIViewController>& Class, int64_t) {
    setupUIConfigWithClass(Class);
}

void Pop_upWindow::addContent(CGFloat w) {
    auto& card = subStationIdMainView_;
    switch (myType_) {
        case kAmount:
            contentTF_ = inputField(CGRectMake(kMargin, 20, w - 2 * kMargin, 50), waterMark_,
                                    UIKeyboardTypeNumberPad);
            card->addSubview(contentTF_);
            break;
        case kConfirmation:
            contentTF_ = readOnlyLine(CGRectMake((w - 120) / 2, 30, 120, 30), waterMark_,
                                      UIColor::blackColor(), NSTextAlignmentLeft);
            card->addSubview(contentTF_);
            break;
        case kYesOrNo:
            contentTF_ = readOnlyLine(CGRectMake(kMargin, 20, w - 2 * kMargin, 50), waterMark_,
                                      inquiry::accentColor(), NSTextAlignmentCenter);
            card->addSubview(contentTF_);
            break;
        case kAmountAndReason: {
            const CGRect first = CGRectMake(kMargin, 30, w - 2 * kMargin, 40);
            contentTF_ = inputField(first, waterMark_, UIKeyboardTypeNumberPad);
            card->addSubview(contentTF_);
            card->addSubview(fieldTitle(
                CGRectMake(kMargin, first.origin.y - 15, first.size.width, 15), titleOne_));
            const CGRect second = CGRectOffset(first, 0, CGRectGetHeight(first) + 20);
            contentTF_two_ = inputField(second, waterMark_two_, UIKeyboardTypeDefault);
            card->addSubview(contentTF_two_);
            card->addSubview(fieldTitle(
                CGRectMake(kMargin, second.origin.y - 15, second.size.width, 15), titleTwo_));
            break;
        }
        default:
            break;
    }
}

std::shared_ptr<UIButton> Pop_upWindow::addButton(CGRect frame, const std::string& title,
                                                  void (Pop_upWindow::*action)()) {
    auto b = UIButton::buttonWithType(UIButtonTypeCustom);
    b->setFrame(frame);
    b->setBackgroundColor(inquiry::accentColor());
    b->layer()->setCornerRadius(5);
    b->setClipsToBounds(true);
    b->setTitle(title, UIControlStateNormal);
    b->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    onTap(b, action);
    subStationIdMainView_->addSubview(b);
    return b;
}

void Pop_upWindow::onTap(const std::shared_ptr<UIButton>& button, void (Pop_upWindow::*action)()) {
    std::weak_ptr<Pop_upWindow> weak = weakSelf<Pop_upWindow>();
    button->addTarget(
        weak,
        [weak, action](const std::shared_ptr<UIControl>&, UIEvent*) {
            if (auto self = weak.lock()) ((*self).*action)();
        },
        UIControlEventTouchUpInside);
}

void Pop_upWindow::showSubStationMainView() {
    if (!subStationIdMainView_) {
        removeFromSuperview();
        return;
    }
    setAlpha(1);
    setCoverFrameByOrientation();
    subStationIdMainView_->setCenter(CGPointMake(CGRectGetMidX(bounds()), CGRectGetMidY(bounds())));

    auto bounce = CAKeyframeAnimation::animationWithKeyPath("transform");
    bounce->setValues({CATransform3DMakeScale(0.1, 0.1, 1), CATransform3DMakeScale(1.2, 1.2, 1),
                       CATransform3DMakeScale(0.9, 0.9, 0.9), CATransform3DMakeScale(1, 1, 1)});
    bounce->setDuration(0.7);
    bounce->setTimingFunction(
        CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut));
    bounce->setRemovedOnCompletion(true);
    bounce->setFillMode(kCAFillModeForwards);
    subStationIdMainView_->layer()->addAnimation(bounce, "");
    // The engineer types at once.
    if (contentTF_ && contentTF_->isUserInteractionEnabled()) contentTF_->becomeFirstResponder();
}

void Pop_upWindow::setCoverFrameByOrientation() {
    auto app = UIApplication::sharedApplication();
    auto window = app->keyWindow();
    if (!window) return;
    CGRect cover = window->bounds();
    const auto orientation = app->statusBarOrientation();
    if (orientation == UIInterfaceOrientationLandscapeLeft ||
        orientation == UIInterfaceOrientationLandscapeRight) {
        std::swap(cover.size.width, cover.size.height);
    }
    setFrame(cover);
}

void Pop_upWindow::sureBtnClick() {
    if (!subStationIdMainView_) return removeFromSuperview();
    switch (myType_) {
        case kAmount:
            if (contentTF_->text().empty()) {
                showMessage("报价金额不可为空(如无需求,可填写'0')");
                return;
            }
            answer(askPriceID_, contentTF_->text(), true);
            break;
        case kConfirmation:
            answer(std::nullopt, std::nullopt, true);
            break;
        case kAmountAndReason:
            if (contentTF_->text().empty()) {
                showMessage("补偿金额不可为空(如无需求,可填写'0')");
                return;
            }
            answer(contentTF_->text(), contentTF_two_->text(), true);
            break;
        case kYesOrNo:
            answer(askPriceID_, std::nullopt, true);
            break;
        default:
            break;
    }
    removeFromSuperview();
}

void Pop_upWindow::cancelBtnClick() {
    if (subStationIdMainView_ && myType_ == kYesOrNo) answer(askPriceID_, std::nullopt, false);
    removeFromSuperview();
}

void Pop_upWindow::forkBtnClick() { removeFromSuperview(); }

void Pop_upWindow::touchesEnded(const UITouchSet&, UIEvent*) {
    if (contentTF_) contentTF_->resignFirstResponder();
    if (contentTF_two_) contentTF_two_->resignFirstResponder();
}

void Pop_upWindow::answer(std::optional<std::string> first, std::optional<std::string> second,
                          bool confirmed) {
    if (!returnContent_) return;
    // A copy, so that a block that hands this pop-up a new block still runs to its end.
    const ReturnContent block = returnContent_;
    block(first, second, confirmed);
}

void Pop_upWindow::showMessage(const std::string& message) {
    CGFloat width = 0;
    if (auto window = UIApplication::sharedApplication()->keyWindow()) {
        width = window->bounds().size.width / 3;
    }
    ShowAlertView::initializeAlertViewWithFrame(CGRectMake(0, 0, width, 10), message, 2,
                                                sharedSelf<UIView>())
        ->addAlertView();
}
