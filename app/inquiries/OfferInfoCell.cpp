#include "inquiries/OfferInfoCell.h"

#include <algorithm>

#include "Foundation/NSLog.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"

namespace {

std::shared_ptr<UILabel> remarkLabel(CGRect frame) {
    auto l = UILabel::create(frame);
    l->setBackgroundColor(UIColor::clearColor());
    l->setUserInteractionEnabled(false);
    l->setText("");
    l->setTextAlignment(NSTextAlignmentLeft);
    l->setTextColor(UIColor::blackColor());
    l->setFont(UIFont::systemFontOfSize(16));
    return l;
}

}  // namespace

std::shared_ptr<OfferInfoCell> OfferInfoCell::create(std::string reuseIdentifier) {
    return finishCreate(
        std::shared_ptr<OfferInfoCell>(new OfferInfoCell(std::move(reuseIdentifier))),
        CGRectMake(0, 0, 320, 44));
}

void OfferInfoCell::setupUIConfigWithFrame(CGRect frame, int type, int contentCount,
                                           std::weak_ptr<NSObject> target, Action action) {
    clearRow();
    titleLabel_ = contentLabel_ = nullptr;
    history_.clear();
    const CGFloat w = frame.size.width;
    const CGFloat h = frame.size.height;
    const CGFloat u = w / 5;
    switch (type) {
        case 0:
            buildDeviceRow(w, h);
            return;
        case 1:
            buildTextRow(w, h);
            contentTextView()->setUserInteractionEnabled(true);
            return;
        case 2:
            buildQuoteRow(w, h, "修改报价", std::move(target), std::move(action));
            return;
        case 3: {
            titleLabel_ = remarkLabel(CGRectMake(10, 0, 2 * u - 10, h));
            auto arrow = UIImageView::create(CGRectMake(w - 40, 7, 30, h - 14));
            // The remark ends where the arrow begins.
            contentLabel_ = remarkLabel(
                CGRectMake(2 * u + 10, 0, arrow->frame().origin.x - 4 - (2 * u + 10), h));
            arrow->setImage(UIImage::imageNamed("ic_right_arrow_nromal.png"));
            arrow->setBackgroundColor(UIColor::clearColor());
            auto line = UIView::create(CGRectMake(0, h - 1, w, 1));
            line->setBackgroundColor(UIColor::colorWithRed(0.95, 0.95, 0.95, 1));
            for (const std::shared_ptr<UIView>& v : std::initializer_list<std::shared_ptr<UIView>>{
                     titleLabel_, contentLabel_, arrow, line})
                contentView()->addSubview(v);
            return;
        }
        case 4: {
            buildTextRow(w, h);
            const auto title = titleTextView();
            contentTextView()->removeFromSuperview();
            title->removeFromSuperview();
            for (int i = 0; i < std::min(contentCount, kHistoryBoxes); ++i) {
                auto box = UILabel::create(CGRectMake((2 + i) * u + 5, 7, u - 10, h - 14));
                box->setBackgroundColor(UIColor::colorWithRed(0.84, 0.84, 0.84, 1));
                box->setTextAlignment(NSTextAlignmentCenter);
                box->setFont(UIFont::systemFontOfSize(16));
                box->setTextColor(UIColor::blackColor());
                box->layer()->setCornerRadius(3);
                box->setClipsToBounds(true);
                box->setUserInteractionEnabled(false);
                contentView()->addSubview(box);
                history_.push_back(std::move(box));
            }
            contentView()->addSubview(title);
            return;
        }
        default:
            NSLog("没有此类型");
            return;
    }
}
