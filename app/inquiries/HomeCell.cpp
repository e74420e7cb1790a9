#include "inquiries/HomeCell.h"

#include <utility>

#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"

namespace {

UIColorRef grey(int level) {
    return UIColor::colorWithRed(level / 255.0, level / 255.0, level / 255.0, 1);
}

std::shared_ptr<UILabel> cardLabel(CGRect frame, UIFontRef font, UIColorRef colour) {
    auto l = UILabel::create(frame);
    l->setText("");
    l->setBackgroundColor(UIColor::clearColor());
    l->setUserInteractionEnabled(false);
    l->setFont(std::move(font));
    l->setTextColor(std::move(colour));
    l->setTextAlignment(NSTextAlignmentLeft);
    return l;
}

// A display-only field: it is there for the icon it shows before its text.
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
    f->layer()->setCornerRadius(0);
    f->setClipsToBounds(true);
    auto icon = UIImageView::create(CGRectMake(0, 0, frame.size.height, frame.size.height));
    icon->setContentMode(UIViewContentModeScaleToFill);
    icon->setImage(UIImage::imageNamed(image));
    f->setLeftView(icon);
    f->setLeftViewMode(UITextFieldViewModeAlways);
    return f;
}

std::shared_ptr<UIButton> cardButton(CGRect frame, const std::string& image,
                                     const std::string& title) {
    auto b = UIButton::buttonWithType(UIButtonTypeCustom);
    b->setFrame(frame);
    b->setBackgroundColor(UIColor::clearColor());
    b->setBackgroundImage(UIImage::imageNamed(image), UIControlStateNormal);
    b->setTitle(title, UIControlStateNormal);
    b->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    return b;
}

void connect(const std::shared_ptr<UIButton>& button, std::weak_ptr<NSObject> target,
             HomeCell::Action action) {
    if (!action) return;
    button->addTarget(
        std::move(target),
        [action = std::move(action)](const std::shared_ptr<UIControl>& sender, UIEvent*) {
            action(std::static_pointer_cast<UIButton>(sender));
        },
        UIControlEventTouchUpInside);
}

}  // namespace

std::shared_ptr<HomeCell> HomeCell::create(UITableViewCellStyle style,
                                           std::string reuseIdentifier) {
    return finishCreate(std::shared_ptr<HomeCell>(new HomeCell(style, std::move(reuseIdentifier))),
                        CGRectMake(0, 0, 320, 44));
}

void HomeCell::initWithFrame(CGRect frame) {
    UITableViewCell::initWithFrame(frame);
    setSelectionStyle(UITableViewCellSelectionStyleGray);
    setBackgroundColor(UIColor::clearColor());
    contentView()->setBackgroundColor(UIColor::clearColor());
}

void HomeCell::setupCellWithFrame(CGRect frame, std::weak_ptr<NSObject> target, Action Action_1,
                                  Action Action_2) {
    pannelView_ = UIView::create(CGRectZero);
    pannelView_->setBackgroundColor(UIColor::whiteColor());
    pannelView_->layer()->setCornerRadius(5);
    pannelView_->setClipsToBounds(true);
    pannelView_->setUserInteractionEnabled(true);

    titelLabel_ = cardLabel(CGRectZero, UIFont::boldSystemFontOfSize(18), grey(48));
    subTitleLabel_ = cardLabel(CGRectZero, UIFont::systemFontOfSize(14), grey(47));
    leftTF_ = iconField(CGRectMake(0, 0, 92, 20), "ic_service_tool.png");
    midTF_ = iconField(CGRectMake(0, 0, 78, 20), "ic_service_location.png");
    rightTF_ = iconField(CGRectMake(0, 0, 20, 20), "ic_service_time.png");
    caption_ = cardLabel(CGRectZero, UIFont::systemFontOfSize(16), grey(99));
    caption_->setText("当前最低报价:");
    caption_->setAdjustsFontSizeToFitWidth(true);
    offerLabel_ = cardLabel(CGRectZero, UIFont::systemFontOfSize(16),
                            UIColor::colorWithRed(248.0 / 255, 47.0 / 255, 53.0 / 255, 1));
    timeLabel_ = cardLabel(CGRectZero, UIFont::systemFontOfSize(14), grey(152));
    timeLabel_->setTextAlignment(NSTextAlignmentRight);
    // All of the time still shows on the card narrowed in the edit mode.
    timeLabel_->setAdjustsFontSizeToFitWidth(true);
    offerButton_ = cardButton(CGRectZero, "橘黄色.png", "报 价");
    favrateButton_ = cardButton(CGRectZero, "黄色.png", "收 藏");
    connect(offerButton_, target, std::move(Action_2));
    connect(favrateButton_, std::move(target), std::move(Action_1));

    // The quote button goes last so that it lies over the favourite button where they meet.
    for (const auto& v : std::initializer_list<std::shared_ptr<UIView>>{
             titelLabel_, subTitleLabel_, leftTF_, midTF_, rightTF_, caption_, offerLabel_,
             timeLabel_, favrateButton_, offerButton_})
        pannelView_->addSubview(v);
    contentView()->addSubview(pannelView_);
    layoutCard(frame.size.width - 10, frame.size.height - 10);
}

void HomeCell::layoutCard(CGFloat cw, CGFloat ch) {
    pannelView_->setFrame(CGRectMake(5, 5, cw, ch));
    contentFrame_ = pannelView_->frame();
    titelLabel_->setFrame(CGRectMake(10, 10, cw / 2 - 10, 25));
    subTitleLabel_->setFrame(CGRectMake(10, CGRectGetMaxY(titelLabel_->frame()) + 5, cw - 20, 20));
    leftTF_->setFrame(CGRectMake(10, CGRectGetMaxY(subTitleLabel_->frame()) + 10, 92, 20));
    const CGRect left = leftTF_->frame();
    midTF_->setFrame(CGRectMake(CGRectGetMaxX(left) + 5, left.origin.y, 78, left.size.height));
    const CGRect mid = midTF_->frame();
    rightTF_->setFrame(
        CGRectMake(CGRectGetMaxX(mid) + 5, mid.origin.y, cw - CGRectGetMaxX(mid), mid.size.height));
    caption_->setFrame(CGRectMake(10, CGRectGetMaxY(left) + 10, 100, 20));
    const CGRect c = caption_->frame();
    offerLabel_->setFrame(CGRectMake(CGRectGetMaxX(c) + 5, c.origin.y, cw - CGRectGetMaxX(c), 20));
    timeLabel_->setFrame(CGRectMake(cw / 2 + 5, 10, cw / 2 - 15, 20));
    offerButton_->setFrame(CGRectMake(0, ch - 40, cw / 2 + 1, 40));
    favrateButton_->setFrame(CGRectMake(cw / 2 - 1, ch - 40, cw / 2 + 1, 40));
}

// In the table's edit mode the selection marks push the content view right and narrow it: the
// card narrows with it, so that nothing of it goes past the screen's edge.
void HomeCell::layoutSubviews() {
    UITableViewCell::layoutSubviews();
    if (!pannelView_) return;
    const CGFloat cw = contentView()->bounds().size.width - 10;
    if (cw != contentFrame_.size.width) layoutCard(cw, contentFrame_.size.height);
}

void HomeCell::updateContentWithModel(const HomeModel* model, int64_t pIndex) {
    currentIndexRow_ = pIndex;
    if (favrateButton_) favrateButton_->setTag(static_cast<int>(pIndex));
    if (offerButton_) offerButton_->setTag(static_cast<int>(pIndex));
    if (!titelLabel_) return;
    if (!model) {
        for (const auto& l : {titelLabel_, subTitleLabel_, offerLabel_, timeLabel_}) l->setText("");
        for (const auto& f : {leftTF_, midTF_, rightTF_}) f->setText("");
        return;
    }
    favrateButton_->setTitle(model->haveFavorite() == "1" ? "取消收藏" : "收 藏",
                             UIControlStateNormal);
    titelLabel_->setText(model->titleStr());
    subTitleLabel_->setText(model->subTitleStr());
    leftTF_->setText(model->leftStr());
    midTF_->setText(model->midStr());
    rightTF_->setText(model->rightStr());
    offerLabel_->setText(model->offerStr());
    const std::string& time = model->timeStr();
    timeLabel_->setText(time.substr(0, time.find('.')));
}
