#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGText.h"

namespace {

std::string utf8(char32_t c) {
    std::string out;
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
    return out;
}

std::vector<uint8_t> drawn(const std::string& text, const CGTextStyle& style, CGFloat side,
                           bool flipped, bool laidOut = false) {
    const auto n = static_cast<size_t>(side);
    std::vector<uint8_t> bitmap(n * n, 0);
    auto ctx = CGBitmapContextCreate(bitmap.data(), n, n, 8, n, nullptr, kCGImageAlphaOnly);
    if (flipped) {
        CGContextTranslateCTM(ctx.get(), 0, side);
        CGContextScaleCTM(ctx.get(), 1, -1);
    }
    // An empty bold stretch changes nothing but takes the way through the layout.
    const CGTextBoldRange none[] = {{1, 1}};
    CGTextDrawInRectWithBold(ctx.get(), text, laidOut ? none : std::span<const CGTextBoldRange>{},
                             CGRectMake(1.5, -4, side, side), style, {0, 0, 0, 1});
    return bitmap;
}

// A lone ideograph is drawn without a layout; its pixels must be the ones the layout makes.
TEST(IdeographDrawing, LoneIdeographsMatchTheLaidOutLine) {
    struct Case {
        CGFontSpec font;
        CGFloat side;
        bool flipped;
    };
    for (const Case& c : {Case{{44, true}, 48, true}, Case{{44, false}, 48, false},
                          Case{{13.5, true}, 24, false}}) {
        const CGTextStyle style{c.font};
        int compared = 0, mismatched = 0;
        for (char32_t ch = 0x3400; ch <= 0x9FA5; ch += ch < 0x4E00 ? 97 : 13) {
            const std::string one = utf8(ch);
            const auto quick = drawn(one, style, c.side, c.flipped);
            if (quick != drawn(one, style, c.side, c.flipped, true)) ++mismatched;
            ++compared;
        }
        EXPECT_EQ(mismatched, 0) << compared << " characters at " << c.font.size;
    }
    // What is not a lone ideograph still draws.
    for (const std::string text : {"\xE4\xB8", "a", "\xE4\xB8\x80\xE4\xB8\x80"}) {
        const auto pixels = drawn(text, CGTextStyle{{20, false}}, 48, false);
        EXPECT_NE(std::count(pixels.begin(), pixels.end(), 0), 48 * 48) << text;
    }
}

// Where a lone ideograph is drawn into an alpha-only bitmap (the map's glyph pictures) it must
// have the pixels cairo gives the same drawing in a colour bitmap, whatever the size, weight,
// pen position, the ink already there, how far the glyph reaches past the bitmap's edges and
// the context's clip.
TEST(IdeographDrawing, AlphaBitmapsHaveTheColourBitmapsCoverage) {
    struct Case {
        CGFontSpec font;
        int side;
        CGPoint origin;
        uint8_t background;
        CGRect clip = CGRectNull;
    };
    const Case cases[] = {
        {{44, true}, 48, {0, -4}, 0},                                  // the map's glyph pictures
        {{44, false}, 48, {0, -4}, 0},                                 // no synthetic bold
        {{44, true}, 40, {-1, -6}, 0},                                 // reaching past every edge
        {{13.5, true}, 16, {1.5, -1}, 0},                              // a pen between pixels
        {{30, true}, 32, {1.25, 0.7}, 0x50},                           // over ink
        {{20, false}, 24, {0, 0.5}, 0xFF},                             // over full ink
        {{44, true}, 48, {0, -4}, 0, CGRectMake(0, 0, 24, 48)},        // clipped in half
        {{44, true}, 48, {0, -4}, 0x50, CGRectMake(10.5, 3, 20, 40)},  // clipped between pixels
    };
    for (const Case& c : cases) {
        const auto n = static_cast<size_t>(c.side);
        std::vector<uint8_t> alpha(n * n), colour(n * n * 4);
        auto a = CGBitmapContextCreate(alpha.data(), n, n, 8, n, nullptr, kCGImageAlphaOnly);
        auto argb =
            CGBitmapContextCreate(colour.data(), n, n, 8, n * 4, nullptr,
                                  kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
        for (CGContext* ctx : {a.get(), argb.get()}) {
            CGContextTranslateCTM(ctx, 0, c.side);
            CGContextScaleCTM(ctx, 1, -1);
            if (!CGRectIsNull(c.clip)) CGContextClipToRect(ctx, c.clip);
        }
        const CGTextStyle style{c.font};
        int compared = 0, mismatched = 0;
        for (char32_t ch = 0x4E00; ch <= 0x9FA5; ch += 7) {
            std::fill(alpha.begin(), alpha.end(), c.background);
            for (size_t i = 0; i < n * n; ++i) {
                const uint8_t pixel[4] = {0, 0, 0, c.background};
                std::copy(pixel, pixel + 4, colour.begin() + static_cast<ptrdiff_t>(4 * i));
            }
            const CGRect rect = CGRectMake(c.origin.x, c.origin.y, c.side, c.side);
            CGTextDrawInRect(a.get(), utf8(ch), rect, style, {0, 0, 0, 1});
            CGTextDrawInRect(argb.get(), utf8(ch), rect, style, {0, 0, 0, 1});
            bool same = true;
            for (size_t i = 0; i < n * n && same; ++i) same = alpha[i] == colour[4 * i + 3];
            mismatched += !same;
            ++compared;
        }
        EXPECT_EQ(mismatched, 0) << "of " << compared << " characters at " << c.font.size
                                 << (c.font.bold ? " bold" : "") << " in " << c.side;
    }
}

}  // namespace
