#include "orders/OrderCell.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"

namespace {

constexpr const char* kActionImage = "待实施按钮.png";
constexpr const char* kClaimImage = "橘黄色.png";
constexpr const char* kCancelImage = "黄色.png";
// Amounts and times shrink to fit, but not below this.
constexpr CGFloat kOrderCardSmallestFont = 10;
// What the date and time need at a readable size, beside the state badge.
constexpr CGFloat kOrderCardTimeRoom = 110;
constexpr CGFloat kOrderCardBadgeWidth = 54;
constexpr CGFloat kOrderCardBadgeGap = 4;

UIColorRef grey(int level) {
    return UIColor::colorWithRed(level / 255.0, level / 255.0, level / 255.0, 1);
}

std::shared_ptr<UILabel> cardLabel(CGRect frame, UIFontRef font, UIColorRef colour) {
    auto l = UILabel::create(frame);
    l->setText("");
    l->setBackgroundColor(UIColor::clearColor());
    l->setFont(std::move(font));
    l->setTextColor(std::move(colour));
    l->setTextAlignment(NSTextAlignmentLeft);
    return l;
}

// A display-only field, there for the icon before its text.
std::shared_ptr<UITextField> iconField(CGRect frame, const std::string& image) {
    auto f = UITextField::create(frame);
    f->setText("");
    f->setPlaceholder("");
    f->setBackgroundColor(UIColor::clearColor());
    f->setUserInteractionEnabled(false);
    f->setFont(UIFont::systemFontOfSize(14));
    f->setTextColor(grey(103));
    f->setTextAlignment(NSTextAlignmentLeft);
    f->setClearButtonMode(UITextFieldViewModeNever);
    auto icon = UIImageView::create(CGRectMake(0, 0, 20, 20));
    icon->setContentMode(UIViewContentModeScaleToFill);
    icon->setImage(UIImage::imageNamed(image));
    f->setLeftView(icon);
    f->setLeftViewMode(UITextFieldViewModeAlways);
    return f;
}

std::shared_ptr<UIButton> cardButton(CGRect frame, const std::string& image,
                                     const std::string& title, std::weak_ptr<NSObject> target,
                                     OrderCell::Action action) {
    auto b = UIButton::buttonWithType(UIButtonTypeCustom);
    b->setFrame(frame);
    b->setBackgroundColor(UIColor::clearColor());
    b->setBackgroundImage(UIImage::imageNamed(image), UIControlStateNormal);
    b->setTitle(title, UIControlStateNormal);
    b->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    b->titleLabel()->setAdjustsFontSizeToFitWidth(true);
    if (action) {
        b->addTarget(
            std::move(target),
            [action = std::move(action)](const std::shared_ptr<UIControl>& sender, UIEvent*) {
                action(std::static_pointer_cast<UIButton>(sender));
            },
            UIControlEventTouchUpInside);
    }
    return b;
}

}  // namespace

std::shared_ptr<OrderCell> OrderCell::create(UITableViewCellStyle style,
                                             std::string reuseIdentifier) {
    return finishCreate(
        std::shared_ptr<OrderCell>(new OrderCell(style, std::move(reuseIdentifier))),
        CGRectMake(0, 0, 320, 44));
}

void OrderCell::initWithFrame(CGRect frame) {
    UITableViewCell::initWithFrame(frame);
    setSelectionStyle(UITableViewCellSelectionStyleGray);
    setBackgroundColor(UIColor::clearColor());
    contentView()->setBackgroundColor(UIColor::clearColor());
}

void OrderCell::setupCellWithFrame(CGRect frame, std::weak_ptr<NSObject> target, Action Action_1,
                                   Action Action_2) {
    superFrame_ = frame;
    const CGFloat cw = frame.size.width - 10;
    const CGFloat ch = frame.size.height - 10;
    pannelView_ = UIView::create(CGRectMake(5, 5, cw, ch));
    pannelView_->setBackgroundColor(UIColor::whiteColor());
    pannelView_->layer()->setCornerRadius(5);
    pannelView_->setClipsToBounds(true);
    pannelView_->setUserInteractionEnabled(true);

    titelLabel_ = cardLabel(CGRectMake(10, 10, 2 * cw / 5 - 10, 25),
                            UIFont::boldSystemFontOfSize(18), grey(48));
    signLabel_ = cardLabel(CGRectMake(2 * cw / 5, 13.5, kOrderCardBadgeWidth, 18),
                           UIFont::boldSystemFontOfSize(14), UIColor::whiteColor());
    signLabel_->setBackgroundColor(UIColor::colorWithRed(0.94, 0.52, 0.02, 1));
    signLabel_->setTextAlignment(NSTextAlignmentCenter);
    signLabel_->setAdjustsFontSizeToFitWidth(true);
    signLabel_->layer()->setCornerRadius(4);
    signLabel_->setClipsToBounds(true);
    subTitleLabel_ =
        cardLabel(CGRectMake(10, 40, cw - 20, 20), UIFont::systemFontOfSize(14), grey(47));
    leftTF_ = iconField(CGRectMake(10, 70, 92, 20), "ic_service_tool.png");
    midTF_ = iconField(CGRectMake(107, 70, 78, 20), "ic_service_location.png");
    auto caption = cardLabel(CGRectMake(190, 70, 64, 20), UIFont::systemFontOfSize(16), grey(99));
    caption->setText("成交金额:");
    caption->setAdjustsFontSizeToFitWidth(true);
    offerLabel_ = cardLabel(CGRectMake(259, 70, cw - 264, 20), UIFont::systemFontOfSize(16),
                            UIColor::colorWithRed(248.0 / 255, 47.0 / 255, 53.0 / 255, 1));
    offerLabel_->setAdjustsFontSizeToFitWidth(true);
    offerLabel_->setMinimumFontSize(kOrderCardSmallestFont);
    timeLabel_ = cardLabel(CGRectMake(2 * cw / 5 + 59, 10, 3 * cw / 5 - 69, 20),
                           UIFont::systemFontOfSize(14), grey(152));
    timeLabel_->setTextAlignment(NSTextAlignmentRight);
    timeLabel_->setAdjustsFontSizeToFitWidth(true);
    timeLabel_->setMinimumFontSize(kOrderCardSmallestFont);
    favrateButton_ = cardButton(CGRectMake(cw * 0.5 - 1, ch - 40, cw * 0.5 + 1, 40), kCancelImage,
                                "确认取消", target, std::move(Action_1));
    offerButton_ = cardButton(CGRectMake(0, ch - 40, cw * 0.5 + 1, 40), kActionImage, "",
                              std::move(target), std::move(Action_2));

    for (const auto& v : std::initializer_list<std::shared_ptr<UIView>>{
             titelLabel_, signLabel_, subTitleLabel_, leftTF_, midTF_, caption, offerLabel_,
             timeLabel_, favrateButton_, offerButton_})
        pannelView_->addSubview(v);
    contentView()->addSubview(pannelView_);
    contentFrame_ = pannelView_->frame();
}

void OrderCell::moveButtonsToBottom() {
    const CGFloat y = pannelView_->frame().size.height - 40;
    for (const auto& b : {offerButton_, favrateButton_}) {
        CGRect f = b->frame();
        f.origin.y = y;
        b->setFrame(f);
    }
}

void OrderCell::updateUIConfigWith(CGRect frame, int64_t titleWidth) {
    if (!pannelView_) return;
    if (titleWidth != 0) {
        // A long title gives way, so that the badge never covers the date and time.
        const CGFloat timeRight = CGRectGetMaxX(timeLabel_->frame());
        const auto w = std::min(
            static_cast<CGFloat>(titleWidth),
            timeRight - kOrderCardTimeRoom - kOrderCardBadgeWidth - kOrderCardBadgeGap - 10);
        titelLabel_->setFrame(CGRectMake(10, 10, w, 25));
        signLabel_->setFrame(CGRectMake(w + 10, 13.5, kOrderCardBadgeWidth, 18));
        const CGFloat timeLeft = CGRectGetMaxX(signLabel_->frame()) + kOrderCardBadgeGap;
        timeLabel_->setFrame(CGRectMake(timeLeft, 10, timeRight - timeLeft, 20));
    }
    superFrame_ = frame;
    pannelView_->setFrame(CGRectMake(5, 5, frame.size.width - 10, frame.size.height - 10));
    contentFrame_ = pannelView_->frame();
    moveButtonsToBottom();
}

void OrderCell::updateContentWithModel(const OrderModel* model, int64_t pIndex) {
    if (!pannelView_) return;
    moveButtonsToBottom();
    currentIndexRow_ = pIndex;
    offerButton_->setTag(static_cast<int>(pIndex));
    favrateButton_->setTag(static_cast<int>(pIndex));
    if (!model) {
        for (const auto& l : {titelLabel_, signLabel_, subTitleLabel_, offerLabel_, timeLabel_})
            l->setText("");
        for (const auto& f : {leftTF_, midTF_}) f->setText("");
        return;
    }
    const CGFloat cw = pannelView_->frame().size.width;
    favrateButton_->setHidden(true);
    offerButton_->setHidden(false);
    offerButton_->setBackgroundImage(UIImage::imageNamed(kActionImage), UIControlStateNormal);
    CGRect action = offerButton_->frame();
    action.origin.x = 0;
    action.size.width = cw;
    offerButton_->setFrame(action);

    const int state = model->orderState();
    if (const auto move = orderStateMove(state)) {
        offerButton_->setTitle(move->cardTitle, UIControlStateNormal);
    } else if (state == OrderStateOther && model->hasActions()) {
        offerButton_->setBackgroundImage(UIImage::imageNamed(kClaimImage), UIControlStateNormal);
        action.size.width = cw * 0.5 + 1;
        offerButton_->setFrame(action);
        offerButton_->setTitle("申请补偿", UIControlStateNormal);
        favrateButton_->setHidden(false);
    } else {
        offerButton_->setHidden(true);
        if (state != OrderStateOther) offerButton_->setTitle("", UIControlStateNormal);
    }

    titelLabel_->setText(model->titleStr());
    signLabel_->setText(model->signStr());
    subTitleLabel_->setText(model->subTitleStr());
    leftTF_->setText(model->leftStr());
    midTF_->setText(model->midStr());
    offerLabel_->setText(model->offerStr());
    const std::string& time = model->timeStr();
    timeLabel_->setText(time.substr(0, time.find('.')));
}
