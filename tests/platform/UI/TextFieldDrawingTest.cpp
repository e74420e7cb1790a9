#include "UIKit/NSStringDrawing.h"
#include "UIKit/UITextField.h"
#include "UITestCommon.h"

namespace {

using namespace testsupport;

constexpr CGRect kFieldFrame{{10, 10}, {200, 40}};

// The screen's pixels (scale 2) inside rect, given in the field's coordinates.
std::vector<CGColor> pixelsIn(const CGImageRef& screen, CGRect rect) {
    std::vector<CGColor> pixels;
    const int x0 = static_cast<int>((kFieldFrame.origin.x + rect.origin.x) * 2);
    const int y0 = static_cast<int>((kFieldFrame.origin.y + rect.origin.y) * 2);
    for (int y = y0; y < y0 + rect.size.height * 2; ++y)
        for (int x = x0; x < x0 + rect.size.width * 2; ++x) pixels.push_back(screen->pixelAt(x, y));
    return pixels;
}

// The pixels of a field showing the text, editing it or not.
std::vector<CGColor> fieldPixels(const std::string& text, bool secure, bool editing,
                                 CGRect rect = {{0, 0}, kFieldFrame.size}) {
    HeadlessHost host;
    auto field = UITextField::create(kFieldFrame);
    field->setSecureTextEntry(secure);
    field->setText(text);
    host.window()->addSubview(field);
    if (editing) field->becomeFirstResponder();
    return pixelsIn(host.compose(), rect);
}

bool same(const std::vector<CGColor>& a, const std::vector<CGColor>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!coloursClose(a[i], b[i])) return false;
    return true;
}

TEST(TextFieldDrawing, SecureFieldShowsOneDotPerCharacterAndKeepsTheTypedText) {
    // Texts of equal length in characters look alike when secure, whatever their bytes.
    EXPECT_TRUE(same(fieldPixels("ab12", true, false), fieldPixels("密码xy", true, false)));
    EXPECT_FALSE(same(fieldPixels("ab12", false, false), fieldPixels("密码xy", false, false)));
    EXPECT_FALSE(same(fieldPixels("ab1", true, false), fieldPixels("ab12", true, false)));

    HeadlessHost host;
    auto field = UITextField::create(kFieldFrame);
    field->setSecureTextEntry(true);
    host.window()->addSubview(field);
    host.tap(CGPointMake(50, 30));
    ASSERT_TRUE(host.typeText("密码1"));
    EXPECT_EQ(field->text(), "密码1");
}

TEST(TextFieldDrawing, TextTooLongForTheFieldIsOneUnbrokenLineFromItsStart) {
    const std::string text = "wwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwww";
    auto field = UITextField::create(kFieldFrame);
    const CGRect area = field->textRectForBounds(field->bounds());
    ASSERT_GT(NSStringSizeWithFont(text, field->font()).width, area.size.width);

    // The same text drawn as one line from the field's left, nothing added, cut by the edge.
    UIGraphicsBeginImageContextWithOptions(kFieldFrame.size, false, 2);
    CGContextRef ctx = UIGraphicsGetCurrentContext();
    CGContextSetRGBFillColor(ctx, 1, 1, 1, 1);
    CGContextFillRect(ctx, {{0, 0}, kFieldFrame.size});
    CGContextClipToRect(ctx, area);
    const CGFloat lineHeight = std::ceil(field->font()->lineHeight());
    NSStringDrawAtPoint(ctx, text, {area.origin.x, (area.size.height - lineHeight) / 2},
                        field->font(), kBlack);
    auto expected = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    std::vector<CGColor> line;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 400; ++x) line.push_back(expected->CGImage()->pixelAt(x, y));

    EXPECT_TRUE(same(fieldPixels(text, false, false), line));
}

TEST(TextFieldDrawing, WhileEditingALongTextItsEndStaysInView) {
    // Ideographs are all one em wide, so both beginnings take the same room.
    const std::string start = "一二三四五六七八九十百千";
    const std::string otherStart = "千百十九八七六五四三二一";
    // The right half of the field, where the end of the text and the caret are.
    const CGRect end{{100, 0}, {100, 40}};
    const auto shown = fieldPixels(start + "报价单已提交", false, true, end);
    EXPECT_FALSE(same(shown, fieldPixels(start + "订单号未确认", false, true, end)));
    EXPECT_TRUE(same(shown, fieldPixels(otherStart + "报价单已提交", false, true, end)));
    // Once editing ends the beginning shows again.
    EXPECT_TRUE(same(fieldPixels(start + "报价单已提交", false, false),
                     fieldPixels(start + "订单号未确认", false, false)));
}

}  // namespace
