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

}  // namespace
