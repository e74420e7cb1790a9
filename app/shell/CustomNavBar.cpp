#include "shell/CustomNavBar.h"

#include "UIKit/UIScreen.h"

namespace {
constexpr CGFloat kStatusBar = 20;
constexpr CGFloat kItem = 44;
}  // namespace

std::shared_ptr<CustomNavBar> CustomNavBar::shareManager() {
    static const std::shared_ptr<CustomNavBar> bar =
        finishCreate(std::shared_ptr<CustomNavBar>(new CustomNavBar()),
                     CGRectMake(0, 0, UIScreen::mainScreen()->bounds().size.width, kHeight));
    return bar;
}

void CustomNavBar::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    setTag(kTag);
    setBackgroundColor(UIColor::colorWithRGBHex(0x1889ea));
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    title_ = UILabel::create(CGRectMake(kItem, kStatusBar, frame.size.width - 2 * kItem,
                                        frame.size.height - kStatusBar));
    title_->setFont(UIFont::boldSystemFontOfSize(18));
    title_->setTextColor(UIColor::whiteColor());
    title_->setTextAlignment(NSTextAlignmentCenter);
    title_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    addSubview(title_);
}

std::shared_ptr<UIButton> CustomNavBar::makeItem(int tag, const std::string& normal,
                                                 const std::string& selected, CGFloat x) {
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(x, kStatusBar, kItem, kItem));
    button->setTag(tag);
    if (!normal.empty()) button->setImage(UIImage::imageNamed(normal), UIControlStateNormal);
    if (!selected.empty()) {
        button->setImage(UIImage::imageNamed(selected), UIControlStateHighlighted);
        button->setImage(UIImage::imageNamed(selected), UIControlStateSelected);
    }
    std::weak_ptr<CustomNavBar> weak = sharedSelf<CustomNavBar>();
    button->addTarget(
        weak,
        [weak](const std::shared_ptr<UIControl>& sender, UIEvent*) {
            auto self = weak.lock();
            if (!self || !self->action_ || self->target_.expired()) return;
            // The target may set the bar up again from the action: call a copy.
            const Action action = self->action_;
            action(sender);
        },
        UIControlEventTouchUpInside);
    addSubview(button);
    return button;
}

void CustomNavBar::setupNavBarHaveLeft(bool haveLeft, const std::string& leftNormalImage,
                                       const std::string& leftSelectImage, bool haveRight,
                                       const std::string& rightNormalImage,
                                       const std::string& rightSelectImage,
                                       std::weak_ptr<NSObject> target, Action action,
                                       const std::string& title) {
    for (auto* item : {&left_, &right_}) {
        if (*item) (*item)->removeFromSuperview();
        item->reset();
    }
    for (const auto& item : items_) item->removeFromSuperview();
    items_.clear();
    target_ = std::move(target);
    action_ = std::move(action);
    title_->setText(title);
    if (haveLeft) left_ = makeItem(0, leftNormalImage, leftSelectImage, 0);
    if (haveRight)
        right_ = makeItem(1, rightNormalImage, rightSelectImage, bounds().size.width - kItem);
    if (right_) right_->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
}

void CustomNavBar::addItemView(const std::shared_ptr<UIView>& item) {
    addSubview(item);
    items_.push_back(item);
}
