// A translucent or masked layer is composited from the picture it drew last while nothing in
// it has changed. Every case below changes one thing in such a layer after it was composited
// and checks the next screen pixel for pixel against a new, never composited, copy of the
// scene with the same change.
#include <cstring>

#include "AnimationBuilders.h"
#include "CoreGraphics/CGPath.h"
#include "QuartzCore/CAGradientLayer.h"
#include "QuartzCore/CAMediaTimingFunction.h"
#include "QuartzCore/CAShapeLayer.h"
#include "QuartzCore/CATextLayer.h"
#include "UITestCommon.h"

namespace {

using namespace testsupport;

class TwoColourView : public UIView {
  public:
    static std::shared_ptr<TwoColourView> create(CGRect frame) {
        return finishCreate(std::shared_ptr<TwoColourView>(new TwoColourView()), frame);
    }
    void drawRect(CGRect rect) override {
        CGContextRef c = UIGraphicsGetCurrentContext();
        CGContextSetFillColorWithColor(c, ink);
        CGContextFillRect(c, CGRectMake(0, 0, rect.size.width, rect.size.height / 2));
    }
    CGColor ink = kGreen;
};

CGPathRef triangle(CGFloat side) {
    auto path = CGPathCreateMutable();
    CGPathMoveToPoint(path, nullptr, 0, 0);
    CGPathAddLineToPoint(path, nullptr, side, 0);
    CGPathAddLineToPoint(path, nullptr, 0, side);
    CGPathCloseSubpath(path);
    return path;
}

// A translucent card with a shadow, its sublayers of every kind and a translucent one inside,
// and a masked layer beside it, both under a holder whose clip can change.
struct Scene {
    explicit Scene(const std::shared_ptr<UIView>& window) {
        holder = UIView::create(CGRectMake(10, 40, 300, 400));
        window->addSubview(holder);
        card = UIView::create(CGRectMake(20, 20, 200, 140));
        card->setBackgroundColor(UIColor::whiteColor());
        card->setAlpha(0.9);
        card->layer()->setCornerRadius(8);
        card->layer()->setShadowOpacity(0.3f);
        card->layer()->setShadowRadius(10);
        holder->addSubview(card);

        patch = CALayer::layer();
        patch->setFrame(CGRectMake(10, 10, 60, 40));
        patch->setBackgroundColor(kBlue);
        card->layer()->addSublayer(patch);
        shape = CAShapeLayer::layer();
        shape->setFrame(CGRectMake(60, 10, 40, 40));
        shape->setPath(triangle(40));
        shape->setFillColor(kRed);
        card->layer()->addSublayer(shape);
        text = CATextLayer::layer();
        text->setFrame(CGRectMake(110, 10, 80, 30));
        text->setString("北京");
        text->setFontSize(20);
        text->setForegroundColor(kBlack);
        card->layer()->addSublayer(text);
        gradient = CAGradientLayer::layer();
        gradient->setFrame(CGRectMake(10, 60, 80, 30));
        gradient->setColors({kBlack, kWhite});
        card->layer()->addSublayer(gradient);
        inner = CALayer::layer();
        inner->setFrame(CGRectMake(100, 60, 60, 60));
        inner->setOpacity(0.5);
        inner->setBackgroundColor(kGreen);
        innerDot = CALayer::layer();
        innerDot->setFrame(CGRectMake(20, 20, 20, 20));
        innerDot->setBackgroundColor(kRed);
        inner->addSublayer(innerDot);
        card->layer()->addSublayer(inner);
        drawn = TwoColourView::create(CGRectMake(10, 100, 80, 30));
        card->addSubview(drawn);

        masked = CALayer::layer();
        masked->setFrame(CGRectMake(40, 220, 120, 120));
        masked->setBackgroundColor(kRed);
        maskedStripe = CALayer::layer();
        maskedStripe->setFrame(CGRectMake(0, 50, 120, 20));
        maskedStripe->setBackgroundColor(kBlue);
        masked->addSublayer(maskedStripe);
        disc = CAShapeLayer::layer();
        disc->setFrame(masked->bounds());
        disc->setPath(CGPathCreateWithEllipseInRect(masked->bounds(), nullptr));
        masked->setMask(disc);
        holder->layer()->addSublayer(masked);
    }
    ~Scene() { holder->removeFromSuperview(); }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    std::shared_ptr<UIView> holder, card;
    std::shared_ptr<CALayer> patch, inner, innerDot, masked, maskedStripe;
    std::shared_ptr<CAShapeLayer> shape, disc;
    std::shared_ptr<CATextLayer> text;
    std::shared_ptr<CAGradientLayer> gradient;
    std::shared_ptr<TwoColourView> drawn;
};

struct ScreenCopy {
    explicit ScreenCopy(const CGImageRef& image)
        : width(image->width()), height(image->height()), stride(image->bytesPerRow()) {
        bytes.assign(image->bytes(), image->bytes() + static_cast<size_t>(stride) * height);
    }
    int width, height, stride;
    std::vector<unsigned char> bytes;
};

::testing::AssertionResult samePixels(const ScreenCopy& a, const ScreenCopy& b) {
    if (a.width != b.width || a.height != b.height)
        return ::testing::AssertionFailure() << "screens of different sizes";
    int differing = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < a.height; ++y) {
        const unsigned char* ra = a.bytes.data() + static_cast<size_t>(y) * a.stride;
        const unsigned char* rb = b.bytes.data() + static_cast<size_t>(y) * b.stride;
        for (int x = 0; x < a.width; ++x) {
            if (std::memcmp(ra + 4 * x, rb + 4 * x, 4) == 0) continue;
            if (differing++ == 0) firstX = x, firstY = y;
        }
    }
    if (differing == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << differing << " pixels differ, the first at (" << firstX << ", " << firstY << ")";
}

struct Change {
    const char* what;
    std::function<void(Scene&)> make;
};

const Change kChanges[] = {
    {"nothing", [](Scene&) {}},
    {"a sublayer's colour", [](Scene& s) { s.patch->setBackgroundColor(kGreen); }},
    {"a sublayer's place",
     [](Scene& s) {
         s.patch->setPosition({50, 40});
     }},
    {"a shape's path", [](Scene& s) { s.shape->setPath(triangle(25)); }},
    {"a text", [](Scene& s) { s.text->setString("上海"); }},
    {"a gradient's colours",
     [](Scene& s) {
         s.gradient->setColors({kRed, kBlue});
     }},
    {"a sublayer's sublayer", [](Scene& s) { s.innerDot->setBackgroundColor(kBlue); }},
    {"a translucent sublayer's opacity", [](Scene& s) { s.inner->setOpacity(0.2f); }},
    {"a sublayer hidden", [](Scene& s) { s.shape->setHidden(true); }},
    {"a sublayer removed", [](Scene& s) { s.gradient->removeFromSuperlayer(); }},
    {"a sublayer added",
     [](Scene& s) {
         auto extra = CALayer::layer();
         extra->setFrame(CGRectMake(150, 100, 30, 30));
         extra->setBackgroundColor(kBlack);
         s.card->layer()->addSublayer(extra);
     }},
    {"the order of sublayers", [](Scene& s) { s.patch->setZPosition(5); }},
    {"a view drawn again",
     [](Scene& s) {
         s.drawn->ink = kRed;
         s.drawn->setNeedsDisplay();
     }},
    {"the layer's own opacity", [](Scene& s) { s.card->setAlpha(0.6); }},
    {"the layer's shadow", [](Scene& s) { s.card->layer()->setShadowRadius(4); }},
    {"the layer moved by half a point",
     [](Scene& s) {
         s.card->setCenter({120.5, 90});
     }},
    {"an ancestor moved by a quarter point",
     [](Scene& s) {
         s.holder->setCenter({160.25, 240});
     }},
    {"an ancestor scaled",
     [](Scene& s) { s.holder->setTransform(CGAffineTransformMakeScale(2, 2)); }},
    {"an ancestor mirrored",
     [](Scene& s) { s.holder->setTransform(CGAffineTransformMakeScale(-1, 1)); }},
    {"an ancestor's clip cutting the layer",
     [](Scene& s) {
         s.holder->setClipsToBounds(true);
         s.holder->setFrame(CGRectMake(10, 40, 150, 400));
     }},
    {"a mask's path",
     [](Scene& s) { s.disc->setPath(CGPathCreateWithRect(CGRectMake(0, 0, 60, 120), nullptr)); }},
    {"a masked layer's sublayer", [](Scene& s) { s.maskedStripe->setBackgroundColor(kGreen); }},
    {"a mask removed", [](Scene& s) { s.masked->setMask(nullptr); }},
};

class LayerPictureTest : public ::testing::TestWithParam<Change> {};

TEST_P(LayerPictureTest, AChangeShowsOnTheNextScreenAsOnAFreshOne) {
    HeadlessHost host;
    host.window()->setBackgroundColor(UIColor::colorWithWhite(0.8, 1));
    std::optional<ScreenCopy> changed;
    {
        Scene scene(host.window());
        host.compose();
        // Twice, so that the next one is sure to come from kept pictures where nothing changed.
        host.compose();
        GetParam().make(scene);
        changed.emplace(host.compose());
    }
    Scene fresh(host.window());
    GetParam().make(fresh);
    EXPECT_TRUE(samePixels(*changed, ScreenCopy(host.compose()))) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Composition, LayerPictureTest, ::testing::ValuesIn(kChanges),
                         [](const auto& info) {
                             std::string name;
                             for (const char* c = info.param.what; *c; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                             return name;
                         });

class LayerPictureAnimationTest : public ManualClockTest {};

// A running animation inside a translucent layer moves on every screen.
TEST_F(LayerPictureAnimationTest, ASublayerAnimatingInsideIsComposedWhereItIsNow) {
    HeadlessHost host;
    std::optional<ScreenCopy> halfWay;
    {
        Scene scene(host.window());
        host.compose();
        auto move = basicAnimation("position", 1, CGPointMake(40, 30), CGPointMake(80, 30));
        move->setTimingFunction(
            CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionLinear));
        scene.patch->addAnimation(move, "move");
        host.compose();
        advance(0.5);
        halfWay.emplace(host.compose());
    }
    Scene fresh(host.window());
    fresh.patch->setPosition({60, 30});
    EXPECT_TRUE(samePixels(*halfWay, ScreenCopy(host.compose())));
}

}  // namespace
