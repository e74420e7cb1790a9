#include "UITableViewCell.h"

#include <algorithm>

#include "UIKit/UIGraphics.h"

namespace {

// The drawn accessory of a cell: a chevron, a check mark or an "i" in a circle.
class AccessoryGlyph : public UIView {
  public:
    static std::shared_ptr<AccessoryGlyph> create(UITableViewCellAccessoryType type) {
        auto v = finishCreate(std::shared_ptr<AccessoryGlyph>(new AccessoryGlyph()),
                              CGRectMake(0, 0, 24, 24));
        v->type_ = type;
        v->setUserInteractionEnabled(false);
        return v;
    }
    void drawRect(CGRect) override {
        CGContextRef c = UIGraphicsGetCurrentContext();
        const CGColor tint = CGColorOf(tintColor());
        CGContextSetLineWidth(c, 2);
        CGContextSetLineCap(c, kCGLineCapRound);
        switch (type_) {
            case UITableViewCellAccessoryDisclosureIndicator:
                CGContextSetRGBStrokeColor(c, 0.78, 0.78, 0.8, 1);
                CGContextMoveToPoint(c, 9, 7);
                CGContextAddLineToPoint(c, 14, 12);
                CGContextAddLineToPoint(c, 9, 17);
                CGContextStrokePath(c);
                break;
            case UITableViewCellAccessoryCheckmark:
                CGContextSetStrokeColorWithColor(c, tint);
                CGContextMoveToPoint(c, 5, 12);
                CGContextAddLineToPoint(c, 10, 17);
                CGContextAddLineToPoint(c, 19, 7);
                CGContextStrokePath(c);
                break;
            default:
                CGContextSetStrokeColorWithColor(c, tint);
                CGContextSetLineWidth(c, 1);
                CGContextStrokeEllipseInRect(c, CGRectMake(2.5, 2.5, 19, 19));
                CGContextSetLineWidth(c, 2);
                CGContextMoveToPoint(c, 12, 11);
                CGContextAddLineToPoint(c, 12, 17);
                CGContextStrokePath(c);
                CGContextSetFillColorWithColor(c, tint);
                CGContextFillEllipseInRect(c, CGRectMake(11, 6.5, 2, 2));
                break;
        }
    }

  private:
    UITableViewCellAccessoryType type_ = UITableViewCellAccessoryNone;
};

// The round mark of a row in multi-select editing: empty, or filled and checked when selected.
class SelectionMark : public UIView {
  public:
    static std::shared_ptr<SelectionMark> create() {
        auto v = finishCreate(std::shared_ptr<SelectionMark>(new SelectionMark()), CGRectZero);
        v->setUserInteractionEnabled(false);
        return v;
    }
    void setChecked(bool checked) {
        if (checked == checked_) return;
        checked_ = checked;
        setNeedsDisplay();
    }
    void drawRect(CGRect) override {
        CGContextRef c = UIGraphicsGetCurrentContext();
        const CGRect b = bounds();
        const CGRect circle = CGRectMake(15, b.size.height / 2 - 11, 22, 22);
        if (!checked_) {
            CGContextSetRGBStrokeColor(c, 0.8, 0.8, 0.8, 1);
            CGContextSetLineWidth(c, 1);
            CGContextStrokeEllipseInRect(c, CGRectInset(circle, 0.5, 0.5));
            return;
        }
        CGContextSetFillColorWithColor(c, CGColorOf(tintColor()));
        CGContextFillEllipseInRect(c, circle);
        CGContextSetRGBStrokeColor(c, 1, 1, 1, 1);
        CGContextSetLineWidth(c, 2);
        CGContextSetLineCap(c, kCGLineCapRound);
        const CGFloat x = circle.origin.x, y = circle.origin.y;
        CGContextMoveToPoint(c, x + 6, y + 11);
        CGContextAddLineToPoint(c, x + 10, y + 15);
        CGContextAddLineToPoint(c, x + 16, y + 7);
        CGContextStrokePath(c);
    }

  private:
    bool checked_ = false;
};

}  // namespace

std::shared_ptr<UITableViewCell> UITableViewCell::create(UITableViewCellStyle style,
                                                         std::string reuseIdentifier) {
    auto cell = std::shared_ptr<UITableViewCell>(new UITableViewCell());
    cell->style_ = style;
    cell->reuseIdentifier_ = std::move(reuseIdentifier);
    return finishCreate(cell, CGRectMake(0, 0, 320, 44));
}

void UITableViewCell::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    setBackgroundColor(UIColor::whiteColor());
    contentView_ = UIView::create(bounds());
    addSubview(contentView_);
}

const std::shared_ptr<UILabel>& UITableViewCell::textLabel() {
    if (!textLabel_) {
        textLabel_ = UILabel::create();
        if (style_ == UITableViewCellStyleValue2) {
            // The title of this style is small, right-aligned and tinted.
            textLabel_->setFont(UIFont::boldSystemFontOfSize(12));
            textLabel_->setTextAlignment(NSTextAlignmentRight);
            textLabel_->setTextColor(UIColor::tintBlueColor());
        } else {
            textLabel_->setFont(UIFont::systemFontOfSize(18));
        }
        contentView_->addSubview(textLabel_);
        setNeedsLayout();
    }
    return textLabel_;
}

const std::shared_ptr<UILabel>& UITableViewCell::detailTextLabel() {
    if (!detailTextLabel_ && style_ != UITableViewCellStyleDefault) {
        detailTextLabel_ = UILabel::create();
        switch (style_) {
            case UITableViewCellStyleValue1:
                detailTextLabel_->setFont(UIFont::systemFontOfSize(17));
                detailTextLabel_->setTextColor(UIColor::colorWithWhite(0.56, 1));
                detailTextLabel_->setTextAlignment(NSTextAlignmentRight);
                break;
            case UITableViewCellStyleValue2:
                detailTextLabel_->setFont(UIFont::boldSystemFontOfSize(15));
                break;
            default:
                detailTextLabel_->setFont(UIFont::systemFontOfSize(12));
                break;
        }
        contentView_->addSubview(detailTextLabel_);
        setNeedsLayout();
    }
    return detailTextLabel_;
}

const std::shared_ptr<UIImageView>& UITableViewCell::imageView() {
    if (!imageView_) {
        imageView_ = UIImageView::create();
        contentView_->insertSubviewAtIndex(imageView_, 0);
        setNeedsLayout();
    }
    return imageView_;
}

void UITableViewCell::setSelectionStyle(UITableViewCellSelectionStyle s) {
    selectionStyle_ = s;
    if (selectedBackgroundView_ && ownSelectedBackground_) {
        selectedBackgroundView_->removeFromSuperview();
        selectedBackgroundView_.reset();
    }
    updateSelectionAppearance();
}

void UITableViewCell::setSelected(bool selected, bool) {
    selected_ = selected;
    updateSelectionAppearance();
}

void UITableViewCell::setHighlighted(bool highlighted, bool) {
    highlighted_ = highlighted;
    updateSelectionAppearance();
}

void UITableViewCell::setEditing(bool editing, bool) {
    if (editing == editing_) return;
    editing_ = editing;
    if (!editing) setShowsSelectionMark(false);
    setNeedsLayout();
}

const std::shared_ptr<UIView>& UITableViewCell::selectedBackgroundView() {
    if (!selectedBackgroundView_ && selectionStyle_ != UITableViewCellSelectionStyleNone) {
        selectedBackgroundView_ = UIView::create(bounds());
        ownSelectedBackground_ = true;
        selectedBackgroundView_->setBackgroundColor(selectionStyle_ ==
                                                            UITableViewCellSelectionStyleBlue
                                                        ? UIColor::colorWithRed(0.02, 0.45, 0.89, 1)
                                                        : UIColor::colorWithWhite(0.85, 1));
    }
    return selectedBackgroundView_;
}

void UITableViewCell::setSelectedBackgroundView(std::shared_ptr<UIView> view) {
    if (selectedBackgroundView_) selectedBackgroundView_->removeFromSuperview();
    selectedBackgroundView_ = std::move(view);
    ownSelectedBackground_ = false;
    updateSelectionAppearance();
}

void UITableViewCell::setBackgroundView(std::shared_ptr<UIView> view) {
    if (backgroundView_) backgroundView_->removeFromSuperview();
    backgroundView_ = std::move(view);
    if (backgroundView_) {
        backgroundView_->setFrame(bounds());
        insertSubviewAtIndex(backgroundView_, 0);
    }
}

void UITableViewCell::updateSelectionAppearance() {
    const bool show =
        (selected_ || highlighted_) && selectionStyle_ != UITableViewCellSelectionStyleNone;
    if (show) {
        const auto& bg = selectedBackgroundView();
        if (bg && bg->superview().get() != this) {
            bg->setFrame(bounds());
            insertSubviewBelowSubview(bg, contentView_.get());
        }
    } else if (selectedBackgroundView_) {
        selectedBackgroundView_->removeFromSuperview();
    }
    if (selectionMark_) static_cast<SelectionMark&>(*selectionMark_).setChecked(selected_);
}

void UITableViewCell::setAccessoryType(UITableViewCellAccessoryType type) {
    if (type == accessoryType_) return;
    accessoryType_ = type;
    if (accessory_) accessory_->removeFromSuperview();
    accessory_.reset();
    if (type != UITableViewCellAccessoryNone) {
        accessory_ = AccessoryGlyph::create(type);
        addSubview(accessory_);
    }
    setNeedsLayout();
}

void UITableViewCell::setAccessoryView(std::shared_ptr<UIView> view) {
    if (accessoryView_) accessoryView_->removeFromSuperview();
    accessoryView_ = std::move(view);
    if (accessoryView_) addSubview(accessoryView_);
    setNeedsLayout();
}

void UITableViewCell::prepareForReuse() {
    setSelected(false, false);
    setHighlighted(false, false);
    setEditing(false, false);
}

void UITableViewCell::setSeparator(bool shown, UIColorRef color) {
    if (!shown) {
        if (separator_) separator_->removeFromSuperview();
        separator_.reset();
        return;
    }
    if (!separator_) {
        separator_ = UIView::create();
        separator_->setUserInteractionEnabled(false);
        addSubview(separator_);
        setNeedsLayout();
    }
    separator_->setBackgroundColor(std::move(color));
}

void UITableViewCell::setShowsSelectionMark(bool shows) {
    if (shows == showsSelectionMark()) return;
    if (shows) {
        auto mark = SelectionMark::create();
        mark->setChecked(selected_);
        selectionMark_ = mark;
        addSubview(selectionMark_);
    } else {
        selectionMark_->removeFromSuperview();
        selectionMark_.reset();
    }
    setNeedsLayout();
}

CGFloat UITableViewCell::accessoryWidth() const {
    if (accessoryView_) return accessoryView_->frame().size.width + 15;
    return accessory_ ? 33 : 0;
}

void UITableViewCell::layoutSubviews() {
    const CGRect b = bounds();
    const CGFloat left = selectionMark_ ? kSelectionMarkWidth : 0;
    const CGFloat accessory = accessoryWidth();
    if (backgroundView_) backgroundView_->setFrame(b);
    if (selectedBackgroundView_) selectedBackgroundView_->setFrame(b);
    if (selectionMark_)
        selectionMark_->setFrame(CGRectMake(0, 0, kSelectionMarkWidth, b.size.height));
    const CGRect content =
        CGRectMake(left, 0, std::max<CGFloat>(0, b.size.width - left - accessory), b.size.height);
    contentView_->setFrame(content);
    if (accessoryView_) {
        const CGSize s = accessoryView_->frame().size;
        accessoryView_->setFrame(CGRectMake(b.size.width - 15 - s.width,
                                            (b.size.height - s.height) / 2, s.width, s.height));
    } else if (accessory_) {
        accessory_->setFrame(CGRectMake(b.size.width - 29, (b.size.height - 24) / 2, 24, 24));
    }
    if (separator_) {
        separator_->setFrame(CGRectMake(kSeparatorInset + left, b.size.height - 0.5,
                                        std::max<CGFloat>(0, b.size.width - kSeparatorInset - left),
                                        0.5));
    }
    layoutStyle(contentView_->bounds());
}

void UITableViewCell::layoutStyle(CGRect content) {
    CGFloat x = 15;
    const CGFloat right = content.size.width - 15;
    const CGFloat h = content.size.height;
    if (imageView_ && imageView_->image()) {
        const CGSize s = imageView_->image()->size();
        imageView_->setFrame(CGRectMake(15, (h - s.height) / 2, s.width, s.height));
        x = 15 + s.width + 15;
    }
    const CGFloat width = std::max<CGFloat>(0, right - x);
    switch (style_) {
        case UITableViewCellStyleDefault:
            if (textLabel_) textLabel_->setFrame(CGRectMake(x, 0, width, h));
            break;
        case UITableViewCellStyleValue1: {
            const CGFloat detailW =
                detailTextLabel_ ? std::min(width / 2, detailTextLabel_->sizeThatFits({}).width)
                                 : 0;
            if (textLabel_) textLabel_->setFrame(CGRectMake(x, 0, width - detailW, h));
            if (detailTextLabel_)
                detailTextLabel_->setFrame(CGRectMake(right - detailW, 0, detailW, h));
            break;
        }
        case UITableViewCellStyleValue2: {
            const CGFloat titleW = std::min<CGFloat>(width, 67);
            if (textLabel_) textLabel_->setFrame(CGRectMake(x, 0, titleW, h));
            if (detailTextLabel_)
                detailTextLabel_->setFrame(
                    CGRectMake(x + titleW + 6, 0, std::max<CGFloat>(0, width - titleW - 6), h));
            break;
        }
        case UITableViewCellStyleSubtitle: {
            const CGFloat titleH = textLabel_ ? textLabel_->font()->lineHeight() : 0;
            const CGFloat detailH = detailTextLabel_ ? detailTextLabel_->font()->lineHeight() : 0;
            const CGFloat top = (h - titleH - detailH) / 2;
            if (textLabel_) textLabel_->setFrame(CGRectMake(x, top, width, titleH));
            if (detailTextLabel_)
                detailTextLabel_->setFrame(CGRectMake(x, top + titleH, width, detailH));
            break;
        }
    }
}
