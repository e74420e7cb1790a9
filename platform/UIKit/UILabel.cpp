#include "UILabel.h"

#include <algorithm>

#include "UIKit/UIGraphics.h"

std::shared_ptr<UILabel> UILabel::create(CGRect frame) {
    return finishCreate(std::shared_ptr<UILabel>(new UILabel()), frame);
}

void UILabel::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    font_ = UIFont::systemFontOfSize(17);
    textColor_ = UIColor::blackColor();
    setUserInteractionEnabled(false);
    setContentMode(UIViewContentModeRedraw);
}

void UILabel::setText(std::string text) {
    if (text == text_) return;
    text_ = std::move(text);
    setNeedsDisplay();
}
void UILabel::setFont(UIFontRef font) {
    font_ = font ? std::move(font) : UIFont::systemFontOfSize(17);
    setNeedsDisplay();
}
void UILabel::setTextColor(UIColorRef color) {
    textColor_ = color ? std::move(color) : UIColor::blackColor();
    setNeedsDisplay();
}
void UILabel::setTextAlignment(NSTextAlignment a) {
    alignment_ = a;
    setNeedsDisplay();
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
    return {displayedFont(), alignment_, lineBreakMode_, numberOfLines_};
}

UIFontRef UILabel::displayedFont() const {
    const CGFloat width = bounds().size.width;
    if (!adjustsFontSize_ || numberOfLines_ != 1 || text_.empty() || width <= 0) return font_;
    const NSTextStyle unwrapped{font_, alignment_, NSLineBreakByClipping, 1};
    if (NSStringBoundingSize(text_, unwrapped, 0).width <= width) return font_;
    CGFloat minimum = font_->pointSize() / 2;
    if (minimumScaleFactor_ > 0) minimum = font_->pointSize() * minimumScaleFactor_;
    if (minimumFontSize_ > 0) minimum = minimumFontSize_;
    // Half-point steps: fine enough to look continuous, few enough to stay cheap.
    for (CGFloat size = font_->pointSize() - 0.5; size > minimum; size -= 0.5) {
        auto f = font_->fontWithSize(size);
        if (NSStringBoundingSize(text_, {f, alignment_, NSLineBreakByClipping, 1}, 0).width <=
            width) {
            return f;
        }
    }
    return font_->fontWithSize(minimum);
}

CGSize UILabel::sizeThatFits(CGSize size) const {
    const NSTextStyle style{font_, alignment_, lineBreakMode_, numberOfLines_};
    const CGFloat width = numberOfLines_ == 1 ? 0 : size.width;
    return NSStringBoundingSize(text_, style, width);
}

CGRect UILabel::textRectForBounds(CGRect b) const {
    const CGSize s = NSStringBoundingSize(text_, textStyle(), b.size.width);
    const CGFloat h = std::min(s.height, b.size.height);
    return CGRectMake(b.origin.x, b.origin.y + (b.size.height - h) / 2, b.size.width, h);
}

void UILabel::drawRect(CGRect) {
    CGContextRef ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    if (text_.empty()) return;
    CGColor color = textColor_->CGColor();
    if (!enabled_) color = {0.5, 0.5, 0.5, color.a};
    NSStringDrawInRect(ctx, text_, textRectForBounds(bounds()), textStyle(), color);
}
