#include "shell/CustomSlipMenu.h"

#include "UIKit/UIImageView.h"
#include "shell/ButtonAction.h"

namespace {
constexpr CGFloat kBarHeight = 2;
}  // namespace

std::shared_ptr<CustomSlipMenu> CustomSlipMenu::create(CGRect frame,
                                                       const std::vector<std::string>& array,
                                                       std::weak_ptr<NSObject> target,
                                                       Action action, int numOfShow) {
    auto menu = finishCreate(std::shared_ptr<CustomSlipMenu>(new CustomSlipMenu()), frame);
    menu->setBackgroundColor(UIColor::whiteColor());
    menu->setShowsHorizontalScrollIndicator(false);
    const int shown = numOfShow > 0 ? numOfShow : kDefaultShown;
    const CGFloat width = frame.size.width / shown;
    const CGFloat height = frame.size.height;
    for (size_t i = 0; i < array.size(); ++i) {
        const int tag = kFirstTag + static_cast<int>(i);
        auto holder = UIView::create(CGRectMake(width * static_cast<CGFloat>(i), 0, width, height));
        holder->setTag(tag);
        auto button = UIButton::buttonWithType(UIButtonTypeCustom);
        button->setFrame(CGRectMake(0, 0, width, height));
        button->setTag(tag);
        button->setTitle(array[i], UIControlStateNormal);
        button->setTitleColor(UIColor::grayColor(), UIControlStateNormal);
        button->setTitleColor(UIColor::colorWithRGBHex(0x1889ea), UIControlStateSelected);
        button->titleLabel()->setFont(UIFont::systemFontOfSize(15));
        button->setSelected(i == 0);
        sendActionOnTap(button, target, action);
        holder->addSubview(button);
        menu->addSubview(holder);
    }
    auto bar = UIImageView::create(CGRectMake(0, height - kBarHeight, width, kBarHeight));
    bar->setImage(UIImage::imageNamed("bottom_line_blue.png"));
    bar->setTag(kBarTag);
    menu->addSubview(bar);
    menu->setContentSize(CGSizeMake(width * static_cast<CGFloat>(array.size()), height));
    return menu;
}
