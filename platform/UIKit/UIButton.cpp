#include "UIButton.h"

#include <algorithm>

namespace {
// How strongly a disabled button still shows.
constexpr CGFloat kDisabledAlpha = 0.5;

UIColorRef dimmed(const UIColorRef& c) {
    return c ? c->colorWithAlphaComponent(c->CGColor().a * kDisabledAlpha) : c;
}
}  // namespace

std::shared_ptr<UIButton> UIButton::create(CGRect frame) {
    return finishCreate(std::shared_ptr<UIButton>(new UIButton()), frame);
}

std::shared_ptr<UIButton> UIButton::buttonWithType(UIButtonType type) {
    auto b = create();
    b->type_ = type;
    b->refresh();
    return b;
}

void UIButton::initWithFrame(CGRect frame) {
    UIControl::initWithFrame(frame);
    background_ = UIImageView::create();
    imageView_ = UIImageView::create();
    titleLabel_ = UILabel::create();
    titleLabel_->setFont(UIFont::systemFontOfSize(15));
    titleLabel_->setTextAlignment(NSTextAlignmentCenter);
    titleLabel_->setLineBreakMode(NSLineBreakByTruncatingMiddle);
    addSubview(background_);
    addSubview(imageView_);
    addSubview(titleLabel_);
    refresh();
}

template <class T>
T UIButton::lookup(const std::map<UIControlState, T>& m, UIControlState s) {
    if (auto it = m.find(s); it != m.end() && it->second) return it->second;
    if (auto it = m.find(UIControlStateNormal); it != m.end()) return it->second;
    return T{};
}

std::string UIButton::titleForState(UIControlState s) const {
    if (auto it = titles_.find(s); it != titles_.end()) return it->second;
    if (auto it = titles_.find(UIControlStateNormal); it != titles_.end()) return it->second;
    return {};
}

UIColorRef UIButton::titleColorForState(UIControlState s) const {
    if (auto it = titleColors_.find(s); it != titleColors_.end() && it->second) return it->second;
    if (s & UIControlStateDisabled) return dimmed(titleColorForState(s & ~UIControlStateDisabled));
    if (auto c = lookup(titleColors_, s)) return c;
    if (type_ == UIButtonTypeSystem) {
        return s & UIControlStateHighlighted ? tintColor()->colorWithAlphaComponent(0.2)
                                             : tintColor();
    }
    return UIColor::whiteColor();
}

UIImageRef UIButton::imageForState(UIControlState s) const { return lookup(images_, s); }
UIImageRef UIButton::backgroundImageForState(UIControlState s) const {
    return lookup(backgrounds_, s);
}

void UIButton::setTitle(const std::string& title, UIControlState s) {
    titles_[s] = title;
    refresh();
}
void UIButton::setTitleColor(UIColorRef color, UIControlState s) {
    titleColors_[s] = std::move(color);
    refresh();
}
void UIButton::setImage(UIImageRef image, UIControlState s) {
    if (image) {
        images_[s] = std::move(image);
    } else {
        images_.erase(s);
    }
    refresh();
}
void UIButton::setBackgroundImage(UIImageRef image, UIControlState s) {
    if (image) {
        backgrounds_[s] = std::move(image);
    } else {
        backgrounds_.erase(s);
    }
    refresh();
}
void UIButton::setContentEdgeInsets(UIEdgeInsets i) {
    contentInsets_ = i;
    setNeedsLayout();
}
void UIButton::setTitleEdgeInsets(UIEdgeInsets i) {
    titleInsets_ = i;
    setNeedsLayout();
}
void UIButton::setImageEdgeInsets(UIEdgeInsets i) {
    imageInsets_ = i;
    setNeedsLayout();
}

void UIButton::stateDidChange() { refresh(); }

void UIButton::refresh() {
    if (!titleLabel_) return;
    const UIControlState s = state();
    titleLabel_->setText(titleForState(s));
    titleLabel_->setTextColor(titleColorForState(s));
    titleLabel_->setHidden(titleLabel_->text().empty());
    imageView_->setImage(imageForState(s));
    imageView_->setHidden(!imageView_->image());
    background_->setImage(backgroundImageForState(s));
    background_->setHidden(!background_->image());
    const CGFloat strength = isEnabled() ? 1 : kDisabledAlpha;
    imageView_->setAlpha(strength);
    background_->setAlpha(strength);
    // The layer shows the dimmed colour; backgroundColor() still answers the one that was set.
    const UIColorRef& colour = backgroundColor();
    layer()->setBackgroundColor(CGColorOf(isEnabled() ? colour : dimmed(colour)));
    setNeedsLayout();
}

void UIButton::setBackgroundColor(UIColorRef color) {
    UIControl::setBackgroundColor(std::move(color));
    refresh();
}

void UIButton::layoutSubviews() {
    const CGRect b = bounds();
    background_->setFrame(b);
    const CGRect content = UIEdgeInsetsInsetRect(b, contentInsets_);
    const CGSize imageSize = imageView_->image() ? imageView_->image()->size() : CGSizeZero;
    CGSize titleSize =
        titleLabel_->text().empty() ? CGSizeZero : titleLabel_->sizeThatFits(content.size);
    titleSize.width =
        std::min(titleSize.width, std::max(0.0, content.size.width - imageSize.width));
    const CGFloat total = imageSize.width + titleSize.width;
    CGFloat x = content.origin.x + (content.size.width - total) / 2;
    if (contentHorizontalAlignment() == UIControlContentHorizontalAlignmentLeft)
        x = content.origin.x;
    if (contentHorizontalAlignment() == UIControlContentHorizontalAlignmentRight) {
        x = CGRectGetMaxX(content) - total;
    }
    const CGFloat midY = CGRectGetMidY(content);
    imageView_->setFrame(UIEdgeInsetsInsetRect(
        CGRectMake(x, midY - imageSize.height / 2, imageSize.width, imageSize.height),
        imageInsets_));
    titleLabel_->setFrame(
        UIEdgeInsetsInsetRect(CGRectMake(x + imageSize.width, midY - titleSize.height / 2,
                                         titleSize.width, titleSize.height),
                              titleInsets_));
}

CGSize UIButton::sizeThatFits(CGSize) const {
    const CGSize imageSize = imageView_->image() ? imageView_->image()->size() : CGSizeZero;
    const CGSize titleSize = titleLabel_->text().empty()
                                 ? CGSizeZero
                                 : NSStringSizeWithFont(titleLabel_->text(), titleLabel_->font());
    CGSize s{imageSize.width + titleSize.width, std::max(imageSize.height, titleSize.height)};
    if (auto bg = background_->image()) {
        s.width = std::max(s.width, bg->size().width);
        s.height = std::max(s.height, bg->size().height);
    }
    return {s.width + contentInsets_.left + contentInsets_.right,
            s.height + contentInsets_.top + contentInsets_.bottom};
}
