#pragma once

#include <string>

#include "CoreGraphics/CGColor.h"
#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGeometry.h"
#include "CoreGraphics/CGText.h"
#include "UIKit/UIFont.h"

// How a piece of text is laid out: the one description shared by measuring and drawing, so
// what is measured is what gets drawn.
struct NSTextStyle {
    UIFontRef font;
    NSTextAlignment alignment = NSTextAlignmentLeft;
    NSLineBreakMode lineBreakMode = NSLineBreakByWordWrapping;
    // 0 = as many lines as the text needs.
    int numberOfLines = 0;

    CGTextStyle cg() const;
};

// The size text takes when wrapped to maxWidth (<= 0: no wrapping, one line per paragraph).
// Width is the widest line, height the sum of the lines kept; both rounded up to whole points.
CGSize NSStringBoundingSize(const std::string& text, const NSTextStyle& style, CGFloat maxWidth);
// The platform's two usual forms of the same question.
CGSize NSStringSizeWithFont(const std::string& text, const UIFontRef& font);
CGRect NSStringBoundingRectWithSize(const std::string& text, CGSize size, const UIFontRef& font);
// Number of lines text wraps to at maxWidth.
int NSStringLineCount(const std::string& text, const NSTextStyle& style, CGFloat maxWidth);

// Draws text in rect: wrapped to its width, aligned, top-aligned, truncated per the style.
// The context's text drawing mode adds an outline in its stroke colour and line width.
void NSStringDrawInRect(CGContextRef ctx, const std::string& text, CGRect rect,
                        const NSTextStyle& style, CGColor color);
void NSStringDrawAtPoint(CGContextRef ctx, const std::string& text, CGPoint point,
                         const UIFontRef& font, CGColor color);
