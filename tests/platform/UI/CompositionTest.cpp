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

TEST(Composition, ClippingParentCutsItsChild) {
    HeadlessHost host;
    auto parent = UIView::create(CGRectMake(20, 20, 100, 100));
    parent->setBackgroundColor(UIColor::blueColor());
    parent->setClipsToBounds(true);
    auto child = UIView::create(CGRectMake(50, 50, 100, 100));
    child->setBackgroundColor(UIColor::redColor());
    parent->addSubview(child);
    host.window()->addSubview(parent);

    auto image = host.compose();
    EXPECT_TRUE(colourNear(screenPixel(image, 30, 30), kBlue));
    EXPECT_TRUE(colourNear(screenPixel(image, 80, 80), kRed));
    // Pixel-exact edge at scale 2: device pixel 239 is inside, 240 outside.
    EXPECT_TRUE(colourNear(image->pixelAt(239, 239), kRed));
    EXPECT_TRUE(colourNear(image->pixelAt(240, 240), kWhite));
}

TEST(Composition, RotatedHalfTransparentView) {
    HeadlessHost host;
    auto v = UIView::create(CGRectMake(110, 234, 100, 100));  // centre (160, 284)
    v->setBackgroundColor(UIColor::greenColor());
    v->setTransform(CGAffineTransformMakeRotation(std::numbers::pi / 4));
    v->setAlpha(0.5);
    host.window()->addSubview(v);
    auto image = host.compose();
    const CGColor half{0.5, 1, 0.5, 1};
    // Inside the diamond but outside the unrotated square.
    EXPECT_TRUE(colourNear(screenPixel(image, 160, 284 + 65), half));
    // Inside the unrotated square but outside the diamond.
    EXPECT_TRUE(colourNear(screenPixel(image, 160 + 45, 284 + 45), kWhite));
    // Group opacity: an opaque child is blended once with its parent, not twice.
    auto child = UIView::create(CGRectMake(25, 25, 50, 50));
    child->setBackgroundColor(UIColor::redColor());
    v->addSubview(child);
    image = host.compose();
    EXPECT_TRUE(colourNear(screenPixel(image, 160, 284), CGColor{1, 0.5, 0.5, 1}));
}

TEST(Composition, CornersBordersAndHiddenLayers) {
    HeadlessHost host;
    auto v = UIView::create(CGRectMake(20, 20, 100, 100));
    v->setBackgroundColor(UIColor::redColor());
    v->layer()->setCornerRadius(20);
    v->layer()->setBorderWidth(4);
    v->layer()->setBorderColor(kBlack);
    host.window()->addSubview(v);
    auto hidden = UIView::create(CGRectMake(200, 20, 50, 50));
    hidden->setBackgroundColor(UIColor::blueColor());
    hidden->setHidden(true);
    host.window()->addSubview(hidden);

    auto image = host.compose();
    EXPECT_TRUE(colourNear(screenPixel(image, 21, 21), kWhite));  // cut corner
    EXPECT_TRUE(colourNear(screenPixel(image, 70, 21), kBlack));  // border
    EXPECT_TRUE(colourNear(screenPixel(image, 70, 70), kRed));
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
    const double below = screenPixel(s, 150, 163).r;    // just under the card
    const double further = screenPixel(s, 150, 172).r;  // fading out
    const double above = screenPixel(s, 150, 97).r;     // the offset moves it down
    EXPECT_LT(below, 0.8);
    EXPECT_GT(below, 0.9 * 0.5 - 0.01);  // never darker than the opacity allows
    EXPECT_GT(further, below);
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
