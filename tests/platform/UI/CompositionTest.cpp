#include "UITestCommon.h"

namespace {

using namespace testsupport;

class CountingDrawView : public UIView {
  public:
    static std::shared_ptr<CountingDrawView> create(CGRect frame) {
        return finishCreate(std::shared_ptr<CountingDrawView>(new CountingDrawView()), frame);
    }
    void drawRect(CGRect rect) override {
        ++draws;
        CGContextRef c = UIGraphicsGetCurrentContext();
        CGContextSetRGBFillColor(c, 0, 1, 0, 1);
        CGContextFillRect(c, CGRectMake(0, 0, rect.size.width / 2, rect.size.height));
    }
    int draws = 0;
};

// Views in separate places of one screen: a clipping parent, a rotated translucent view with an
// opaque child, a rounded bordered view and a hidden one.
TEST(Composition, ClipsRotationGroupOpacityCornersBordersAndHiddenViews) {
    HeadlessHost host;
    auto coloured = [&](CGRect frame, const UIColorRef& colour,
                        const std::shared_ptr<UIView>& parent) {
        auto v = UIView::create(frame);
        v->setBackgroundColor(colour);
        parent->addSubview(v);
        return v;
    };
    auto clipping = coloured(CGRectMake(20, 20, 100, 100), UIColor::blueColor(), host.window());
    clipping->setClipsToBounds(true);
    coloured(CGRectMake(50, 50, 100, 100), UIColor::redColor(), clipping);
    // Centre (160, 284).
    auto rotated = coloured(CGRectMake(110, 234, 100, 100), UIColor::greenColor(), host.window());
    rotated->setTransform(CGAffineTransformMakeRotation(std::numbers::pi / 4));
    rotated->setAlpha(0.5);
    coloured(CGRectMake(25, 25, 50, 50), UIColor::redColor(), rotated);
    auto rounded = coloured(CGRectMake(20, 400, 100, 100), UIColor::redColor(), host.window());
    rounded->layer()->setCornerRadius(20);
    rounded->layer()->setBorderWidth(4);
    rounded->layer()->setBorderColor(kBlack);
    coloured(CGRectMake(200, 20, 50, 50), UIColor::blueColor(), host.window())->setHidden(true);

    auto image = host.compose();
    EXPECT_TRUE(colourNear(screenPixel(image, 30, 30), kBlue));
    // Pixel-exact edge at scale 2: device pixel 239 is inside, 240 outside.
    EXPECT_TRUE(colourNear(image->pixelAt(239, 239), kRed));
    EXPECT_TRUE(colourNear(image->pixelAt(240, 240), kWhite));
    // Inside the diamond but outside the unrotated square, and the other way round.
    EXPECT_TRUE(colourNear(screenPixel(image, 160, 284 + 65), CGColor{0.5, 1, 0.5, 1}));
    EXPECT_TRUE(colourNear(screenPixel(image, 160 + 45, 284 + 45), kWhite));
    // Group opacity: an opaque child is blended once with its parent, not twice.
    EXPECT_TRUE(colourNear(screenPixel(image, 160, 284), CGColor{1, 0.5, 0.5, 1}));
    EXPECT_TRUE(colourNear(screenPixel(image, 21, 401), kWhite));  // cut corner
    EXPECT_TRUE(colourNear(screenPixel(image, 70, 401), kBlack));  // border
    EXPECT_TRUE(colourNear(screenPixel(image, 70, 450), kRed));
    EXPECT_TRUE(colourNear(screenPixel(image, 225, 45), kWhite));
}

TEST(Composition, ShadowsAreSoftAndOffset) {
    HeadlessHost host;
    auto card = UIView::create(CGRectMake(100, 100, 100, 60));
    card->setBackgroundColor(UIColor::whiteColor());
    CALayer& l = *card->layer();
    l.setShadowColor(kBlack);
    l.setShadowOpacity(0.5);
    l.setShadowOffset(CGSizeMake(0, 6));
    l.setShadowRadius(6);
    host.window()->setBackgroundColor(UIColor::colorWithWhite(0.9, 1));
    host.window()->addSubview(card);
    auto s = host.compose();
    const double below = screenPixel(s, 150, 163).r;  // just under the card
    const double above = screenPixel(s, 150, 97).r;   // the offset moves it down
    EXPECT_LT(below, 0.8);
    EXPECT_GT(below, 0.9 * 0.5 - 0.01);  // never darker than the opacity allows
    EXPECT_GT(above, below);
    EXPECT_NEAR(screenPixel(s, 150, 200).r, 0.9, 0.01);  // far away: untouched
    EXPECT_TRUE(colourNear(screenPixel(s, 150, 130), kWhite));
}

TEST(Composition, DrawnContentsAreCachedUntilSetNeedsDisplay) {
    HeadlessHost host;
    auto v = CountingDrawView::create(CGRectMake(0, 100, 100, 50));
    host.window()->addSubview(v);
    auto image = host.compose();
    EXPECT_EQ(v->draws, 1);
    EXPECT_TRUE(colourNear(screenPixel(image, 10, 120), kGreen));
    EXPECT_TRUE(colourNear(screenPixel(image, 90, 120), kWhite));
    // Drawing follows the screen scale: the half-way edge is sharp at device pixels.
    EXPECT_TRUE(colourNear(image->pixelAt(99, 240), kGreen));
    EXPECT_TRUE(colourNear(image->pixelAt(100, 240), kWhite));

    EXPECT_FALSE(host.needsCompose());
    v->setCenter(CGPointMake(60, 300));
    EXPECT_TRUE(host.needsCompose());
    host.compose();
    EXPECT_EQ(v->draws, 1);  // moved, not redrawn
    v->setNeedsDisplay();
    host.compose();
    EXPECT_EQ(v->draws, 2);
}

}  // namespace
