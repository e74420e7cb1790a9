#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSRunLoop.h"
#include "UIKit/UITextField.h"
#include "host/HeadlessHost.h"

namespace {

// The composed pixels of a field showing the text, so that two texts can be told apart.
std::vector<CGColor> fieldPixels(const std::string& text, bool secure) {
    HeadlessHost host;
    auto field = UITextField::create(CGRectMake(10, 10, 200, 40));
    field->setSecureTextEntry(secure);
    field->setText(text);
    host.window()->addSubview(field);
    auto image = host.compose();
    std::vector<CGColor> pixels;
    for (int y = 20; y < 100; y += 2)
        for (int x = 20; x < 420; x += 2) pixels.push_back(image->pixelAt(x, y));
    return pixels;
}

bool same(const std::vector<CGColor>& a, const std::vector<CGColor>& b) {
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].r != b[i].r || a[i].g != b[i].g || a[i].b != b[i].b) return false;
    return true;
}

TEST(SecureTextField, ShowsOneDotPerCharacterAndKeepsTheTypedText) {
    // Texts of equal length in characters look alike when secure, whatever their bytes.
    EXPECT_TRUE(same(fieldPixels("ab12", true), fieldPixels("密码xy", true)));
    EXPECT_FALSE(same(fieldPixels("ab12", false), fieldPixels("密码xy", false)));
    EXPECT_FALSE(same(fieldPixels("ab1", true), fieldPixels("ab12", true)));

    HeadlessHost host;
    auto field = UITextField::create(CGRectMake(10, 10, 200, 40));
    field->setSecureTextEntry(true);
    host.window()->addSubview(field);
    host.tap(CGPointMake(50, 30));
    ASSERT_TRUE(host.typeText("密码1"));
    EXPECT_EQ(field->text(), "密码1");
}

}  // namespace
