#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "CoreGraphics/CGColor.h"
#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGeometry.h"

// Text layout and drawing on one pinned face (see CGText.cpp), shared by every kind of text on
// screen so that what is measured is what gets drawn, identically on every machine. Safe to
// call from any thread (calls are serialised).

enum NSTextAlignment {
    NSTextAlignmentLeft = 0,
    NSTextAlignmentCenter = 1,
    NSTextAlignmentRight = 2,
    NSTextAlignmentJustified = 3,
    NSTextAlignmentNatural = 4,
};

enum NSLineBreakMode {
    NSLineBreakByWordWrapping = 0,
    NSLineBreakByCharWrapping,
    NSLineBreakByClipping,
    NSLineBreakByTruncatingHead,
    NSLineBreakByTruncatingTail,
    NSLineBreakByTruncatingMiddle,
};

struct CGFontSpec {
    CGFloat size = 17;
    bool bold = false;
};

struct CGTextStyle {
    CGFontSpec font;
    NSTextAlignment alignment = NSTextAlignmentLeft;
    NSLineBreakMode lineBreakMode = NSLineBreakByWordWrapping;
    // 0 = as many lines as the text needs.
    int numberOfLines = 0;
};

struct CGFontMetrics {
    CGFloat ascender = 0;
    CGFloat descender = 0;  // negative
    CGFloat lineHeight = 0;
};

const std::string& CGTextFontFamily();
CGFontMetrics CGFontGetMetrics(CGFontSpec font);
// Width of the widest line and height of the lines kept, rounded up to whole points, for text
// wrapped to maxWidth (<= 0: no wrapping).
CGSize CGTextBoundingSize(const std::string& text, const CGTextStyle& style, CGFloat maxWidth);
int CGTextLineCount(const std::string& text, const CGTextStyle& style, CGFloat maxWidth);
// Wrapped to the rect's width, aligned, from the rect's top; lines past the style's limit are
// not drawn. The context's alpha applies, and its text drawing mode: the glyph outlines are
// stroked in its stroke colour and line width under the fill (or instead of it), as map labels
// are drawn. A clear colour skips the fill.
void CGTextDrawInRect(CGContextRef c, const std::string& text, CGRect rect,
                      const CGTextStyle& style, CGColor color);

// A stretch of a paragraph drawn bold: byte offsets into its UTF-8 text, end excluded.
struct CGTextBoldRange {
    std::size_t start = 0;
    std::size_t end = 0;
};
// As CGTextBoundingSize and CGTextDrawInRect, with the stretches of the text in bold; ranges
// outside the text are cut to it.
CGSize CGTextBoundingSizeWithBold(const std::string& text, std::span<const CGTextBoldRange> bold,
                                  const CGTextStyle& style, CGFloat maxWidth);
void CGTextDrawInRectWithBold(CGContextRef c, const std::string& text,
                              std::span<const CGTextBoldRange> bold, CGRect rect,
                              const CGTextStyle& style, CGColor color);
