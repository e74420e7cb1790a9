#include "UIAlertView.h"

#include <cmath>

#include "UIKit/UIApplication.h"
#include "UIKit/UIWindow.h"

namespace {
constexpr CGFloat kBoxWidth = 270;
constexpr CGFloat kButtonHeight = 44;
constexpr CGFloat kPadding = 16;
}  // namespace

std::shared_ptr<UIAlertView> UIAlertView::create(
    std::string title, std::string message, std::weak_ptr<UIAlertViewDelegate> delegate,
    const std::string& cancelButtonTitle, const std::vector<std::string>& otherButtonTitles) {
    auto a = finishCreate(std::shared_ptr<UIAlertView>(new UIAlertView()), CGRectZero);
    a->title_ = std::move(title);
    a->message_ = std::move(message);
    a->delegate_ = std::move(delegate);
    if (!cancelButtonTitle.empty()) a->cancelIndex_ = a->addButtonWithTitle(cancelButtonTitle);
    for (const auto& t : otherButtonTitles) a->addButtonWithTitle(t);
    return a;
}

int UIAlertView::addButtonWithTitle(const std::string& title) {
    titles_.push_back(title);
    if (visible_) build();
    return static_cast<int>(titles_.size()) - 1;
}

std::string UIAlertView::buttonTitleAtIndex(int index) const {
    if (index < 0 || index >= numberOfButtons()) return {};
    return titles_[static_cast<size_t>(index)];
}

int UIAlertView::firstOtherButtonIndex() const {
    for (int i = 0; i < numberOfButtons(); ++i) {
        if (i != cancelIndex_) return i;
    }
    return -1;
}

void UIAlertView::show() {
    auto window = UIApplication::sharedApplication()->keyWindow();
    if (!window || visible_) return;
    visible_ = true;
    setFrame(window->bounds());
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    setBackgroundColor(UIColor::colorWithWhite(0, 0.4));
    build();
    window->addSubview(sharedSelf<UIView>());
}

void UIAlertView::build() {
    if (box_) box_->removeFromSuperview();
    buttons_.clear();
    box_ = UIView::create();
    box_->setBackgroundColor(UIColor::colorWithWhite(0.97, 1));
    box_->layer()->setCornerRadius(7);
    box_->setClipsToBounds(true);
    titleLabel_ = UILabel::create();
    titleLabel_->setFont(UIFont::boldSystemFontOfSize(17));
    titleLabel_->setTextAlignment(NSTextAlignmentCenter);
    titleLabel_->setNumberOfLines(0);
    titleLabel_->setText(title_);
    messageLabel_ = UILabel::create();
    messageLabel_->setFont(UIFont::systemFontOfSize(13));
    messageLabel_->setTextAlignment(NSTextAlignmentCenter);
    messageLabel_->setNumberOfLines(0);
    messageLabel_->setText(message_);
    box_->addSubview(titleLabel_);
    box_->addSubview(messageLabel_);
    std::weak_ptr<UIAlertView> weak = sharedSelf<UIAlertView>();
    for (int i = 0; i < numberOfButtons(); ++i) {
        auto b = UIButton::buttonWithType(UIButtonTypeSystem);
        b->setTitle(titles_[static_cast<size_t>(i)], UIControlStateNormal);
        b->titleLabel()->setFont(i == cancelIndex_ ? UIFont::boldSystemFontOfSize(17)
                                                   : UIFont::systemFontOfSize(17));
        b->layer()->setBorderWidth(0.5);
        b->layer()->setBorderColor({0.8, 0.8, 0.8, 1});
        b->addTarget(
            {},
            [weak, i](const std::shared_ptr<UIControl>&, UIEvent*) {
                if (auto self = weak.lock()) self->clicked(i);
            },
            UIControlEventTouchUpInside);
        box_->addSubview(b);
        buttons_.push_back(b);
    }
    addSubview(box_);
    setNeedsLayout();
    layoutIfNeeded();
}

void UIAlertView::layoutSubviews() {
    if (!box_) return;
    const CGFloat inner = kBoxWidth - 2 * kPadding;
    const CGSize titleSize = titleLabel_->sizeThatFits({inner, 0});
    const CGSize messageSize = messageLabel_->sizeThatFits({inner, 0});
    CGFloat y = kPadding + 4;
    titleLabel_->setFrame(CGRectMake(kPadding, y, inner, titleSize.height));
    y += titleSize.height + (message_.empty() ? 0 : 4);
    messageLabel_->setFrame(CGRectMake(kPadding, y, inner, messageSize.height));
    y += messageSize.height + kPadding + 4;
    // Two buttons share a row; otherwise each has its own.
    const bool row = buttons_.size() == 2;
    for (size_t i = 0; i < buttons_.size(); ++i) {
        if (row) {
            buttons_[i]->setFrame(CGRectMake(i * kBoxWidth / 2, y, kBoxWidth / 2, kButtonHeight));
        } else {
            buttons_[i]->setFrame(CGRectMake(0, y + i * kButtonHeight, kBoxWidth, kButtonHeight));
        }
    }
    const CGFloat height = y + (row ? 1 : buttons_.size()) * kButtonHeight;
    const CGRect b = bounds();
    box_->setFrame(CGRectMake(std::round((b.size.width - kBoxWidth) / 2),
                              std::round((b.size.height - height) / 2), kBoxWidth, height));
}

void UIAlertView::clicked(int index) {
    auto self = sharedSelf<UIAlertView>();
    if (auto d = delegate()) d->alertViewClickedButtonAtIndex(*this, index);
    if (handler_) handler_(index);
    dismissWithClickedButtonIndex(index, true);
}

void UIAlertView::dismissWithClickedButtonIndex(int index, bool) {
    if (!visible_) return;
    auto self = sharedSelf<UIAlertView>();
    if (auto d = delegate()) d->alertViewWillDismissWithButtonIndex(*this, index);
    visible_ = false;
    removeFromSuperview();
    if (auto d = delegate()) d->alertViewDidDismissWithButtonIndex(*this, index);
}
