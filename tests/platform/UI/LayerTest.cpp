#include <string_view>

#include "PaintedImage.h"
#include "QuartzCore/CAGradientLayer.h"
#include "QuartzCore/CAShapeLayer.h"
#include "QuartzCore/CATextLayer.h"
#include "UITestCommon.h"

namespace {

using namespace testsupport;

// Layers treat animations as opaque objects; here a target position stands in for one.
std::shared_ptr<CAAnimation> fakeAnimation(CGPoint to) {
    auto target = std::make_shared<CGPoint>(to);
    return std::shared_ptr<CAAnimation>(target, reinterpret_cast<CAAnimation*>(target.get()));
}

// Plays the part of the animation module: remembers what was added and moves animated layers.
class RecordingHooks : public CALayerAnimationHooks {
  public:
    void didAddAnimation(CALayer&, const std::shared_ptr<CAAnimation>&,
                         const std::string& key) override {
        log.push_back("add " + key);
    }
    void didRemoveAnimation(CALayer&, const std::shared_ptr<CAAnimation>&,
                            const std::string& key) override {
        log.push_back("remove " + key);
    }
    void willChangeModelValue(CALayer& layer, const char* keyPath) override {
        if (std::string_view(keyPath) == "position") oldPositions.push_back(layer.position());
    }
    void applyPresentation(const CALayer& layer, CFTimeInterval, CALayerPresentation& v) override {
        if (auto a = layer.animationForKey("move"))
            v.position = *reinterpret_cast<CGPoint*>(a.get());
    }
    std::vector<std::string> log;
    std::vector<CGPoint> oldPositions;
};

TEST(Layer, FrameFollowsPositionAnchorAndTransformAndAnAncestorIsNoSublayer) {
    auto l = CALayer::layer();
    l->setBounds(CGRectMake(0, 0, 100, 50));
    l->setPosition(CGPointMake(200, 100));
    EXPECT_EQ(l->frame(), CGRectMake(150, 75, 100, 50));
    l->setAnchorPoint(CGPointMake(0, 0));
    EXPECT_EQ(l->frame(), CGRectMake(200, 100, 100, 50));
    l->setAnchorPoint(CGPointMake(0.5, 0.5));
    l->setTransform(CATransform3DMakeScale(2, 2, 1));
    EXPECT_EQ(l->frame(), CGRectMake(100, 50, 200, 100));
    l->setFrame(CGRectMake(0, 0, 40, 40));  // with the transform kept, the bounds halve
    EXPECT_EQ(l->bounds().size, (CGSize{20, 20}));
    EXPECT_EQ(l->position(), CGPointMake(20, 20));

    auto parent = CALayer::layer();
    parent->setFrame(CGRectMake(10, 10, 300, 300));
    auto child = CALayer::layer();
    child->setFrame(CGRectMake(5, 5, 10, 10));
    parent->addSublayer(child);
    EXPECT_EQ(parent->hitTest(CGPointMake(17, 17)), child);
    EXPECT_EQ(parent->hitTest(CGPointMake(5, 5)), nullptr);
    const CGPoint p = child->convertPointToLayer({1, 1}, parent.get());
    EXPECT_EQ(p, CGPointMake(6, 6));
    EXPECT_EQ(child->convertPointFromLayer(p, parent.get()), CGPointMake(1, 1));

    // An ancestor is refused every way in: a loop would never be laid out, drawn or freed.
    auto leaf = CALayer::layer();
    child->addSublayer(leaf);
    leaf->addSublayer(parent);
    leaf->insertSublayer(child, 0);
    leaf->addSublayer(leaf);
    EXPECT_EQ(parent->superlayer(), nullptr);
    EXPECT_EQ(child->superlayer(), parent);
    EXPECT_TRUE(leaf->sublayers().empty());
    parent->layoutIfNeeded();
    // A layer from elsewhere in the tree still moves.
    auto other = CALayer::layer();
    parent->addSublayer(other);
    leaf->addSublayer(other);
    EXPECT_EQ(other->superlayer(), leaf);
    EXPECT_EQ(parent->sublayers().size(), 1u);
}

TEST(Layer, AnimationHooksSeeAddsRemovalsAndChangeDrawing) {
    auto hooks = std::make_shared<RecordingHooks>();
    // Whatever hooks the process has (the animation engine's) come back afterwards.
    struct Restore {
        CALayerAnimationHooks* previous = CALayer::animationHooks();
        ~Restore() {
            CALayer::setAnimationHooks(
                std::shared_ptr<CALayerAnimationHooks>(previous, [](CALayerAnimationHooks*) {}));
        }
    } restore;
    CALayer::setAnimationHooks(hooks);
    HeadlessHost host;
    auto v = UIView::create(CGRectMake(0, 100, 50, 50));
    v->setBackgroundColor(UIColor::redColor());
    host.window()->addSubview(v);

    auto move = fakeAnimation(CGPointMake(200, 300));
    v->layer()->addAnimation(move, "move");
    v->layer()->addAnimation(fakeAnimation(CGPointZero), "move");  // replaces the first
    EXPECT_EQ(hooks->log, (std::vector<std::string>{"add move", "remove move", "add move"}));

    v->layer()->addAnimation(move, "move");
    auto image = host.compose();
    // Drawn where the animation says; the model value is untouched.
    EXPECT_TRUE(colourNear(screenPixel(image, 200, 300), kRed));
    EXPECT_TRUE(colourNear(screenPixel(image, 25, 125), kWhite));
    EXPECT_EQ(v->center(), CGPointMake(25, 125));
    v->layer()->removeAllAnimations();
    image = host.compose();
    EXPECT_TRUE(colourNear(screenPixel(image, 25, 125), kRed));
    EXPECT_EQ(hooks->log.back(), "remove move");

    // Model changes are announced before they happen, with the old value still readable.
    hooks->oldPositions.clear();
    v->setCenter(CGPointMake(60, 60));
    v->setFrame(CGRectMake(0, 0, 10, 10));
    EXPECT_EQ(hooks->oldPositions, (std::vector<CGPoint>{{25, 125}, {60, 60}}));
}

TEST(Layer, ShapeGradientTextMaskAndTranslucentLayers) {
    HeadlessHost host;
    auto root = host.window()->layer();

    auto shape = CAShapeLayer::layer();
    shape->setFrame(CGRectMake(0, 100, 100, 100));
    auto triangle = CGPathCreateMutable();
    CGPathMoveToPoint(triangle, nullptr, 0, 0);
    CGPathAddLineToPoint(triangle, nullptr, 100, 0);
    CGPathAddLineToPoint(triangle, nullptr, 0, 100);
    CGPathCloseSubpath(triangle);
    shape->setPath(triangle);
    shape->setFillColor(kBlue);
    root->addSublayer(shape);

    auto gradient = CAGradientLayer::layer();
    gradient->setFrame(CGRectMake(120, 100, 100, 100));
    gradient->setColors({kBlack, kWhite});
    gradient->setStartPoint({0, 0.5});
    gradient->setEndPoint({1, 0.5});
    root->addSublayer(gradient);

    auto text = CATextLayer::layer();
    text->setFrame(CGRectMake(0, 220, 200, 40));
    text->setString("北");
    text->setFontSize(30);
    text->setForegroundColor(kBlack);
    root->addSublayer(text);

    // A round mask on a red square.
    auto masked = CALayer::layer();
    masked->setFrame(CGRectMake(220, 220, 80, 80));
    masked->setBackgroundColor(kRed);
    auto disc = CAShapeLayer::layer();
    disc->setFrame(masked->bounds());
    disc->setPath(CGPathCreateWithEllipseInRect(masked->bounds(), nullptr));
    masked->setMask(disc);
    root->addSublayer(masked);

    // Contents given directly survive a change of scale (only setNeedsDisplay redraws).
    auto picture = CALayer::layer();
    picture->setFrame(CGRectMake(240, 120, 40, 40));
    picture->setContents(paintedImage(8, 8, kGreen));
    picture->setContentsScale(2);
    root->addSublayer(picture);

    auto s = host.compose();
    EXPECT_TRUE(colourNear(screenPixel(s, 260, 140), kGreen));
    EXPECT_TRUE(colourNear(screenPixel(s, 10, 110), kBlue));
    EXPECT_TRUE(colourNear(screenPixel(s, 90, 190), kWhite));
    const CGColor left = screenPixel(s, 121, 150), mid = screenPixel(s, 170, 150);
    EXPECT_LT(left.r, 0.05);
    EXPECT_NEAR(mid.r, 0.5, 0.03);
    int ink = 0;
    for (int y = 440; y < 520; ++y) {
        for (int x = 0; x < 80; ++x) ink += s->pixelAt(x, y).r < 0.5 ? 1 : 0;
    }
    EXPECT_GT(ink, 200);
    EXPECT_TRUE(colourNear(screenPixel(s, 260, 260), kRed));
    EXPECT_TRUE(colourNear(screenPixel(s, 223, 223), kWhite));  // outside the disc

    // A translucent layer shows its sublayers and shadow beyond its bounds.
    auto group = CALayer::layer();
    group->setFrame(CGRectMake(20, 320, 10, 10));
    group->setOpacity(0.5);
    group->setBackgroundColor(CGColor{0, 0, 1, 1});
    group->setShadowOpacity(1);
    group->setShadowRadius(0);
    group->setShadowOffset({0, 15});
    auto far = CALayer::layer();
    far->setFrame(CGRectMake(100, 100, 20, 20));
    far->setBackgroundColor(CGColor{1, 0, 0, 1});
    group->addSublayer(far);
    host.window()->layer()->addSublayer(group);
    const auto image = host.compose();
    EXPECT_TRUE(colourNear(screenPixel(image, 130, 430), CGColor{1, 0.5, 0.5, 1}));
    EXPECT_TRUE(colourNear(screenPixel(image, 25, 340), CGColor{0.5, 0.5, 0.5, 1}));
    EXPECT_TRUE(colourNear(screenPixel(image, 25, 325), CGColor{0.5, 0.5, 1, 1}));
}

}  // namespace
