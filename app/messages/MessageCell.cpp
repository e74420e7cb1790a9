#include "messages/MessageCell.h"

namespace {

std::shared_ptr<UILabel> label(CGRect frame, UIFontRef font, CGFloat grey, NSTextAlignment align) {
    auto l = UILabel::create(frame);
    l->setBackgroundColor(UIColor::clearColor());
    l->setUserInteractionEnabled(false);
    l->setText("");
    l->setFont(std::move(font));
    l->setTextColor(UIColor::colorWithRed(grey / 255, grey / 255, grey / 255, 1));
    l->setTextAlignment(align);
    return l;
}

}  // namespace

std::shared_ptr<MessageCell> MessageCell::create(std::string reuseIdentifier) {
    return finishCreate(std::shared_ptr<MessageCell>(new MessageCell(std::move(reuseIdentifier))),
                        CGRectMake(0, 0, 320, 70));
}

void MessageCell::setupUIConfigWithFrame(CGRect frame) {
    const CGFloat u = frame.size.width / 5;
    titleLab_ = label(CGRectMake(20, 10, 4 * u - 30, 25), UIFont::boldSystemFontOfSize(18), 48,
                      NSTextAlignmentLeft);
    signView_ = UIView::create(CGRectMake(5, (25 - 10) / 2.0 + 10, 10, 10));
    signView_->setBackgroundColor(UIColor::redColor());
    signView_->layer()->setCornerRadius(5);
    signView_->setClipsToBounds(true);
    signView_->layer()->setBorderColor(UIColor::clearColor()->CGColor());
    signView_->layer()->setBorderWidth(0);
    signView_->setUserInteractionEnabled(false);
    subTitleLab_ = label(CGRectMake(20, 40, 4 * u - 30, 20), UIFont::systemFontOfSize(14), 47,
                         NSTextAlignmentLeft);
    timeLab_ = label(CGRectMake(3 * u, 10, 2 * u - 10, 20), UIFont::systemFontOfSize(14), 47,
                     NSTextAlignmentRight);
    timeLab_->setAdjustsFontSizeToFitWidth(true);
    timeLab_->setMinimumFontSize(10);
    // The check column of edit mode narrows the row: the time keeps to the right edge.
    timeLab_->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
    for (const auto& l : {titleLab_, subTitleLab_})
        l->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    for (const auto& v : {signView_, std::shared_ptr<UIView>(titleLab_),
                          std::shared_ptr<UIView>(subTitleLab_), std::shared_ptr<UIView>(timeLab_)})
        contentView()->addSubview(v);
}

void MessageCell::updateUIConfigWithModel(const HomeModel* item, bool) {
    if (!signView_) return;
    if (!item) {
        signView_->setBackgroundColor(UIColor::clearColor());
        for (const auto& l : {titleLab_, subTitleLab_, timeLab_}) l->setText("");
        return;
    }
    const bool unread = item->isReadStr() != "1" && item->newtypeIDStr() != "-1";
    signView_->setBackgroundColor(unread ? UIColor::redColor() : UIColor::clearColor());
    titleLab_->setText(item->titleStr());
    subTitleLab_->setText(item->subTitleStr());
    const std::string& time = item->timeStr();
    timeLab_->setText(time.substr(0, time.find('.')));
}
