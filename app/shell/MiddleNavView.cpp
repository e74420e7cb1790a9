#include "shell/MiddleNavView.h"

#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "shell/ButtonAction.h"

namespace {
constexpr CGFloat kUnderlineHeight = 2;
}  // namespace

std::shared_ptr<MiddleNavView> MiddleNavView::create(CGRect frame) {
    return finishCreate(std::shared_ptr<MiddleNavView>(new MiddleNavView()), frame);
}

void MiddleNavView::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    setBackgroundColor(UIColor::whiteColor());
    setUserInteractionEnabled(true);
}

void MiddleNavView::creatMiddleNavWithClass(std::weak_ptr<NSObject> target, Action action,
                                            const std::vector<std::string>& btnArray,
                                            int selectBtnIndex) {
    const auto old = subviews();
    for (const auto& v : old) v->removeFromSuperview();
    if (btnArray.empty()) return;
    const CGSize size = bounds().size;
    const CGFloat width = size.width / static_cast<CGFloat>(btnArray.size());
    for (size_t i = 0; i < btnArray.size(); ++i) {
        const int tag = kFirstTag + static_cast<int>(i);
        const CGFloat x = width * static_cast<CGFloat>(i);
        auto holder = UIView::create(CGRectMake(x, 0, width, size.height));
        holder->setTag(tag);
        auto button = UIButton::buttonWithType(UIButtonTypeCustom);
        button->setFrame(CGRectMake(0, 0, width, size.height));
        button->setTag(tag);
        button->setTitle(btnArray[i], UIControlStateNormal);
        const bool selected = static_cast<int>(i) == selectBtnIndex;
        button->setTitleColor(selected ? UIColor::blackColor() : UIColor::grayColor(),
                              UIControlStateNormal);
        button->titleLabel()->setFont(UIFont::systemFontOfSize(15));
        sendActionOnTap(button, target, action);
        holder->addSubview(button);
        addSubview(holder);
        if (i > 0) {
            auto separator = UILabel::create(CGRectMake(x, size.height / 4, 1, size.height / 2));
            separator->setBackgroundColor(UIColor::colorWithRGBHex(0xdddddd));
            addSubview(separator);
        }
        if (selected) {
            auto underline = UIImageView::create(
                CGRectMake(x, size.height - kUnderlineHeight, width, kUnderlineHeight));
            underline->setImage(UIImage::imageNamed("bottom_line_blue.png"));
            underline->setTag(kUnderlineTag);
            addSubview(underline);
        }
    }
}
