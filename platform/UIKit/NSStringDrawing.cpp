#include "NSStringDrawing.h"

CGTextStyle NSTextStyle::cg() const {
    const CGFontSpec spec = font ? CGFontSpec{font->pointSize(), font->isBold()} : CGFontSpec{};
    return {spec, alignment, lineBreakMode, numberOfLines};
}

const std::string& UIFont::familyName() const { return CGTextFontFamily(); }
CGFloat UIFont::ascender() const { return CGFontGetMetrics({size_, bold_}).ascender; }
CGFloat UIFont::descender() const { return CGFontGetMetrics({size_, bold_}).descender; }
CGFloat UIFont::lineHeight() const { return CGFontGetMetrics({size_, bold_}).lineHeight; }

CGSize NSStringBoundingSize(const std::string& text, const NSTextStyle& style, CGFloat maxWidth) {
    return CGTextBoundingSize(text, style.cg(), maxWidth);
}

CGSize NSStringSizeWithFont(const std::string& text, const UIFontRef& font) {
    return NSStringBoundingSize(text, {font, NSTextAlignmentLeft, NSLineBreakByClipping, 0}, 0);
}

CGRect NSStringBoundingRectWithSize(const std::string& text, CGSize size, const UIFontRef& font) {
    const CGSize s = NSStringBoundingSize(text, {font}, size.width);
    return CGRectMake(0, 0, s.width, s.height);
}

int NSStringLineCount(const std::string& text, const NSTextStyle& style, CGFloat maxWidth) {
    return CGTextLineCount(text, style.cg(), maxWidth);
}

void NSStringDrawInRect(CGContextRef ctx, const std::string& text, CGRect rect,
                        const NSTextStyle& style, CGColor color) {
    CGTextDrawInRect(ctx, text, rect, style.cg(), color);
}

void NSStringDrawAtPoint(CGContextRef ctx, const std::string& text, CGPoint point,
                         const UIFontRef& font, CGColor color) {
    if (!ctx || text.empty()) return;
    const NSTextStyle style{font, NSTextAlignmentLeft, NSLineBreakByClipping, 0};
    const CGSize s = NSStringBoundingSize(text, style, 0);
    NSStringDrawInRect(ctx, text, {point, s}, style, color);
}
