#include <atomic>
#include <thread>

#include "UIKit/NSStringDrawing.h"
#include "UIKit/UILabel.h"
#include "UITestCommon.h"

namespace {

using testsupport::kBlack;

int inkPixels(const CGImageRef& image, CGRect pixels) {
    int n = 0;
    for (int y = static_cast<int>(pixels.origin.y); y < CGRectGetMaxY(pixels); ++y) {
        for (int x = static_cast<int>(pixels.origin.x); x < CGRectGetMaxX(pixels); ++x) {
            const CGColor c = image->pixelAt(x, y);
            if (c.a > 0.5 && c.r < 0.5) ++n;
        }
    }
    return n;
}

TEST(NSStringDrawing, ChineseMeasuresTheSameEveryTimeWithFullWidthGlyphsAndWrapsToTheWidth) {
    const auto font = UIFont::systemFontOfSize(17);
    const CGSize first = NSStringSizeWithFont("工程详情", font);
    EXPECT_EQ(NSStringSizeWithFont("工程详情", font), first);
    // Ideographs of the pinned face are one em wide; lines are as tall as the font says.
    EXPECT_EQ(first.width, 4 * 17);
    EXPECT_EQ(first.height, std::ceil(font->lineHeight()));
    EXPECT_LT(NSStringSizeWithFont("abcd", font).width, first.width);
    EXPECT_EQ(NSStringSizeWithFont("", font), CGSizeZero);

    const NSTextStyle style{font};
    const std::string ten = "一二三四五六七八九十";
    // 50 points hold two 17-point ideographs per line.
    EXPECT_EQ(NSStringLineCount(ten, style, 50), 5);
    const CGSize wrapped = NSStringBoundingSize(ten, style, 50);
    EXPECT_EQ(wrapped.width, 34);
    EXPECT_EQ(wrapped.height, std::ceil(5 * font->lineHeight() - 1e-9));
    // A line limit keeps the height of the lines that are kept.
    const NSTextStyle two{font, NSTextAlignmentLeft, NSLineBreakByWordWrapping, 2};
    EXPECT_EQ(NSStringBoundingSize(ten, two, 50).height, std::ceil(2 * font->lineHeight() - 1e-9));
    // Invalid UTF-8 is measured, not dropped or crashed on.
    EXPECT_GT(NSStringSizeWithFont(std::string("ab\xff\xfe"), font).width, 0);
}

TEST(Label, AlignsShrinksAndSizesToFit) {
    HeadlessHost host;
    auto label = UILabel::create(CGRectMake(0, 100, 320, 40));
    label->setText("工程");
    label->setFont(UIFont::systemFontOfSize(20));
    label->setTextAlignment(NSTextAlignmentRight);
    host.window()->addSubview(label);
    auto image = host.compose();
    // Right-aligned: ink in the last 40 points, none in the first 280.
    EXPECT_GT(inkPixels(image, CGRectMake(560, 200, 80, 80)), 50);
    EXPECT_EQ(inkPixels(image, CGRectMake(0, 200, 560, 80)), 0);

    label->sizeToFit();
    EXPECT_EQ(label->frame().size.width, 40);

    auto narrow = UILabel::create(CGRectMake(0, 0, 60, 20));
    narrow->setText("一二三四五六");  // 102 points at 17
    narrow->setAdjustsFontSizeToFitWidth(true);
    EXPECT_EQ(narrow->displayedFont()->pointSize(), 10);
    narrow->setMinimumScaleFactor(0.8);
    EXPECT_NEAR(narrow->displayedFont()->pointSize(), 17 * 0.8, 1e-9);

    // Multi-line labels wrap to their width when asked their size.
    auto multi = UILabel::create(CGRectMake(0, 0, 50, 20));
    multi->setNumberOfLines(0);
    multi->setText("一二三四五六七八九十");
    EXPECT_EQ(multi->sizeThatFits({50, 1000}).height,
              std::ceil(5 * multi->font()->lineHeight() - 1e-9));
}

TEST(NSStringDrawing, OutlinedTextStrokesUnderTheFill) {
    auto draw = [](CGTextDrawingMode mode) {
        UIGraphicsBeginImageContextWithOptions({60, 60}, false, 1);
        CGContextRef c = UIGraphicsGetCurrentContext();
        CGContextSetTextDrawingMode(c, mode);
        CGContextSetRGBStrokeColor(c, 1, 0, 0, 1);
        CGContextSetLineWidth(c, 4);
        NSStringDrawInRect(c, "北", CGRectMake(10, 10, 40, 40), {UIFont::systemFontOfSize(36)},
                           kBlack);
        auto image = UIGraphicsGetImageFromCurrentImageContext();
        UIGraphicsEndImageContext();
        int red = 0, black = 0;
        for (int y = 0; y < 60; ++y) {
            for (int x = 0; x < 60; ++x) {
                const CGColor p = image->CGImage()->pixelAt(x, y);
                if (p.a < 0.9) continue;
                if (p.r > 0.8 && p.g < 0.2) ++red;
                if (p.r < 0.2) ++black;
            }
        }
        return std::pair{red, black};
    };
    const auto [fillRed, fillBlack] = draw(kCGTextFill);
    const auto [bothRed, bothBlack] = draw(kCGTextFillStroke);
    const auto [strokeRed, strokeBlack] = draw(kCGTextStroke);
    EXPECT_EQ(fillRed, 0);
    EXPECT_GT(fillBlack, 50);
    EXPECT_GT(bothRed, 50);
    EXPECT_GE(bothBlack, fillBlack);  // the fill stays on top of the outline
    EXPECT_GT(strokeRed, 50);
    EXPECT_EQ(strokeBlack, 0);
}

// Map glyphs are drawn on engine worker threads while the main thread lays out labels.
TEST(NSStringDrawing, DrawsFromSeveralThreadsAtOnce) {
    const auto font = UIFont::systemFontOfSize(20);
    const CGSize expected = NSStringSizeWithFont("北京", font);
    std::vector<std::thread> workers;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 3; ++t) {
        workers.emplace_back([&wrong, t] {
            std::vector<uint8_t> glyph(48 * 48, 0);
            for (int i = 0; i < 20; ++i) {
                auto ctx =
                    CGBitmapContextCreate(glyph.data(), 48, 48, 8, 48, nullptr, kCGImageAlphaOnly);
                CGTextDrawInRect(ctx.get(), t % 2 ? "米" : "北", CGRectMake(0, 0, 48, 48),
                                 {{44, false}}, {0, 0, 0, 1});
                int ink = 0;
                for (uint8_t a : glyph) ink += a > 128;
                if (ink == 0) ++wrong;
                std::fill(glyph.begin(), glyph.end(), 0);
            }
        });
    }
    for (int i = 0; i < 50; ++i) {
        if (NSStringSizeWithFont("北京", font) != expected) ++wrong;
    }
    for (auto& w : workers) w.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
