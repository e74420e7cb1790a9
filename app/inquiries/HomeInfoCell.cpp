#include "inquiries/HomeInfoCell.h"

#include "Foundation/NSLog.h"
#include "inquiries/InquiryScreenKit.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/ButtonAction.h"

namespace {

// The narrow phones get a smaller font in the device columns.
bool isNarrowPhone() {
    const auto app = BrisfoldAppDelegate::getApp();
    if (!app) return false;
    const std::string name = app->deviceString();
    return name == "iphone 4" || name == "iphone 4s" || name == "iphone 5" || name == "iphone 5c" ||
           name == "iphone 5s";
}

std::shared_ptr<UILabel> column(CGRect frame, CGFloat fontSize) {
    auto l = UILabel::create(frame);
    l->setBackgroundColor(UIColor::clearColor());
    l->setUserInteractionEnabled(false);
    l->setText("");
    l->setTextAlignment(NSTextAlignmentCenter);
    l->setTextColor(UIColor::blackColor());
    l->setFont(UIFont::systemFontOfSize(fontSize));
    // Four characters of a heading or maker fill a narrow column: they shrink, to a floor.
    l->setAdjustsFontSizeToFitWidth(true);
    l->setMinimumFontSize(12);
    return l;
}

std::shared_ptr<UITextView> textColumn(CGRect frame) {
    auto t = UITextView::create(frame);
    t->setBackgroundColor(UIColor::clearColor());
    t->setUserInteractionEnabled(false);
    t->setEditable(false);
    t->setText("");
    t->setTextAlignment(NSTextAlignmentLeft);
    t->setTextColor(UIColor::blackColor());
    t->setFont(UIFont::systemFontOfSize(16));
    t->layer()->setBorderColor(UIColor::clearColor()->CGColor());
    t->layer()->setBorderWidth(0);
    return t;
}

}  // namespace

std::shared_ptr<HomeInfoCell> HomeInfoCell::create(std::string reuseIdentifier) {
    return finishCreate(std::shared_ptr<HomeInfoCell>(new HomeInfoCell(std::move(reuseIdentifier))),
                        CGRectMake(0, 0, 320, 44));
}

void HomeInfoCell::initWithFrame(CGRect frame) {
    UITableViewCell::initWithFrame(frame);
    setSelectionStyle(UITableViewCellSelectionStyleNone);
    setBackgroundColor(UIColor::clearColor());
    contentView()->setBackgroundColor(UIColor::clearColor());
}

void HomeInfoCell::setupUIConfigWithFrame(CGRect frame, int type, std::weak_ptr<NSObject> target,
                                          Action action) {
    clearRow();
    const CGFloat w = frame.size.width;
    const CGFloat h = frame.size.height;
    switch (type) {
        case 0:
            buildDeviceRow(w, h);
            break;
        case 1:
            buildTextRow(w, h);
            break;
        case 2:
            buildQuoteRow(w, h, "报 价", std::move(target), std::move(action));
            break;
        default:
            NSLog("没有此类型");
            break;
    }
}

void HomeInfoCell::clearRow() {
    const auto views = contentView()->subviews();
    for (const auto& v : views) v->removeFromSuperview();
    firmLab_ = typeLab_ = modelLab_ = numLab_ = nullptr;
    titleTextView_ = contentTextView_ = nullptr;
    quoteButton_ = nullptr;
}

void HomeInfoCell::buildDeviceRow(CGFloat w, CGFloat h) {
    const CGFloat font = isNarrowPhone() ? 13 : 16;
    const CGFloat u = w / 5;
    firmLab_ = column(CGRectMake(10, 0, u - 10, h), font);
    typeLab_ = column(CGRectMake(u + 10, 0, u - 10, h), font);
    modelLab_ = column(CGRectMake(2 * u + 10, 0, u - 10, h), font);
    numLab_ = column(CGRectMake(3 * u + 10, 0, 2 * u - 10, h), font);
    for (const auto& l : {firmLab_, typeLab_, modelLab_, numLab_}) contentView()->addSubview(l);
}

void HomeInfoCell::buildTextRow(CGFloat w, CGFloat h) {
    const CGFloat u = w / 5;
    titleTextView_ = textColumn(CGRectMake(10, 0, 2 * u - 10, h));
    contentTextView_ = textColumn(CGRectMake(2 * u + 10, 0, 3 * u - 20, h));
    contentView()->addSubview(titleTextView_);
    contentView()->addSubview(contentTextView_);
}

void HomeInfoCell::buildQuoteRow(CGFloat w, CGFloat h, const std::string& title,
                                 std::weak_ptr<NSObject> target, Action action) {
    quoteButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    quoteButton_->setFrame(CGRectMake(0, 0, 80, 40));
    quoteButton_->setCenter(CGPointMake(w / 2, h / 2));
    quoteButton_->setBackgroundColor(inquiry::accentColor());
    quoteButton_->setTitle(title, UIControlStateNormal);
    quoteButton_->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    quoteButton_->layer()->setCornerRadius(5);
    quoteButton_->setClipsToBounds(true);
    if (action) sendActionOnTap(quoteButton_, std::move(target), std::move(action));
    contentView()->addSubview(quoteButton_);
}
