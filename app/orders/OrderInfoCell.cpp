#include "orders/OrderInfoCell.h"

#include "Foundation/NSLog.h"

std::shared_ptr<OrderInfoCell> OrderInfoCell::create(std::string reuseIdentifier) {
    return finishCreate(
        std::shared_ptr<OrderInfoCell>(new OrderInfoCell(std::move(reuseIdentifier))),
        CGRectMake(0, 0, 320, 44));
}

void OrderInfoCell::setupUIConfigWithFrame(CGRect frame, int type, int count,
                                           std::weak_ptr<NSObject> target, Action action,
                                           const std::string& title) {
    for (auto& box : history_) box.reset();
    switch (type) {
        case 0:
        case 1:
            HomeInfoCell::setupUIConfigWithFrame(frame, type, {}, {});
            return;
        case 2:
            clearRow();
            buildQuoteRow(frame.size.width, frame.size.height, title, std::move(target),
                          std::move(action));
            quoteButton()->setHidden(title.empty());
            return;
        case 3:
            clearRow();
            buildPriceRow(frame.size.width, frame.size.height, count);
            return;
        default:
            clearRow();
            NSLog("没有此类型");
    }
}

void OrderInfoCell::buildPriceRow(CGFloat w, CGFloat h, int count) {
    buildTextRow(w, h);
    // The caption alone: the value column holds the boxes.
    contentTextView()->removeFromSuperview();
    const CGFloat u = w / 5;
    for (int i = 0; i < count && i < kMaxPriceBoxes; ++i) {
        auto box = UILabel::create(CGRectMake((2 + i) * u + 5, 7, u - 10, h - 14));
        box->setBackgroundColor(UIColor::colorWithRed(0.84, 0.84, 0.84, 1));
        box->setUserInteractionEnabled(false);
        box->setText("");
        box->setTextAlignment(NSTextAlignmentCenter);
        box->setTextColor(UIColor::blackColor());
        box->setFont(UIFont::systemFontOfSize(16));
        box->layer()->setCornerRadius(3);
        box->setClipsToBounds(true);
        box->layer()->setBorderColor(UIColor::clearColor()->CGColor());
        box->layer()->setBorderWidth(0);
        contentView()->addSubview(box);
        history_[i] = std::move(box);
    }
}
