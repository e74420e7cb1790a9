#include "UILabel.h"

#include <algorithm>

#include "UIKit/UIGraphics.h"

std::shared_ptr<UILabel> UILabel::create(CGRect frame) {
    return finishCreate(std::shared_ptr<UILabel>(new UILabel()), frame);
}

void UILabel::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    setUserInteractionEnabled(false);
    setContentMode(UIViewContentModeRedraw);
}

void UILabel::setNumberOfLines(int n) {
    numberOfLines_ = std::max(0, n);
    setNeedsDisplay();
}
void UILabel::setLineBreakMode(NSLineBreakMode m) {
    lineBreakMode_ = m;
    setNeedsDisplay();
}
void UILabel::setAdjustsFontSizeToFitWidth(bool a) {
    adjustsFontSize_ = a;
    setNeedsDisplay();
}
void UILabel::setMinimumScaleFactor(CGFloat f) {
    minimumScaleFactor_ = f;
    setNeedsDisplay();
}
void UILabel::setMinimumFontSize(CGFloat s) {
    minimumFontSize_ = s;
    setNeedsDisplay();
}
void UILabel::setEnabled(bool e) {
    enabled_ = e;
    setNeedsDisplay();
}

NSTextStyle UILabel::textStyle() const {
    return {displayedFont(), textAlignment(), lineBreakMode_, numberOfLines_};
}

UIFontRef UILabel::displayedFont() const {
    const CGFloat width = bounds().size.width;
    const UIFontRef& font = this->font();
    if (!adjustsFontSize_ || numberOfLines_ != 1 || text().empty() || width <= 0) return font;
    auto fits = [&](const UIFontRef& f) {
        const NSTextStyle unwrapped{f, textAlignment(), NSLineBreakByClipping, 1};
        return NSStringBoundingSize(text(), unwrapped, 0).width <= width;
    };
    if (fits(font)) return font;
    CGFloat minimum = font->pointSize() / 2;
    if (minimumScaleFactor_ > 0) minimum = font->pointSize() * minimumScaleFactor_;
    if (minimumFontSize_ > 0) minimum = minimumFontSize_;
    // Half-point steps: fine enough to look continuous, few enough to stay cheap.
    for (CGFloat size = font->pointSize() - 0.5; size > minimum; size -= 0.5) {
        auto f = font->fontWithSize(size);
        if (fits(f)) return f;
    }
    return font->fontWithSize(minimum);
}

CGSize UILabel::sizeThatFits(CGSize size) const {
    const NSTextStyle style{font(), textAlignment(), lineBreakMode_, numberOfLines_};
    const CGFloat width = numberOfLines_ == 1 ? 0 : size.width;
    return NSStringBoundingSize(text(), style, width);
}

CGRect UILabel::textRectForBounds(CGRect b) const {
    const CGSize s = NSStringBoundingSize(text(), textStyle(), b.size.width);
    const CGFloat h = std::min(s.height, b.size.height);
    return CGRectMake(b.origin.x, b.origin.y + (b.size.height - h) / 2, b.size.width, h);
}

void UILabel::drawRect(CGRect) {
    CGContextRef ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    if (text().empty()) return;
    CGColor color = textColor()->CGColor();
    if (!enabled_) color = {0.5, 0.5, 0.5, color.a};
    NSStringDrawInRect(ctx, text(), textRectForBounds(bounds()), textStyle(), color);
}
