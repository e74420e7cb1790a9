#include "AnimationBuilders.h"
#include "AnimationProbes.h"
#include "QuartzCore/CAAnimationGroup.h"
#include "QuartzCore/CABasicAnimation.h"
#include "QuartzCore/CADisplayLink.h"
#include "QuartzCore/CAKeyframeAnimation.h"
#include "QuartzCore/CALayer.h"
#include "QuartzCore/CALayerKeyPath.h"
#include "QuartzCore/CATransaction.h"
#include "UITestCommon.h"

namespace {

using namespace testsupport;

class LayerAnimationTest : public testsupport::ManualClockTest {
  protected:
    void SetUp() override {
        layer = CALayer::layer();
        layer->setBounds(CGRectMake(0, 0, 20, 20));
        layer->setPosition({10, 10});
    }
    CALayerPresentation now() const { return layer->presentationValues(CACurrentMediaTime()); }

    std::shared_ptr<CALayer> layer;
    std::shared_ptr<AnimationLog> stops = std::make_shared<AnimationLog>();
};

TEST_F(LayerAnimationTest, KeyframeValueAtHalfItsDurationAndOneCompletion) {
    auto anim = CAKeyframeAnimation::animationWithKeyPath("position");
    anim->setValues({CGPointMake(0, 0), CGPointMake(100, 0), CGPointMake(100, 100)});
    anim->setDuration(2);
    anim->setDelegate(stops);
    int completions = 0;
    anim->setCompletion([&](bool finished) {
        EXPECT_TRUE(finished);
        ++completions;
    });
    layer->addAnimation(anim, "move");
    EXPECT_EQ(now().position, CGPointMake(0, 0));
    EXPECT_TRUE(stops->log.empty());  // told on a later turn
    advance(1.0);
    EXPECT_EQ(stops->log, (std::vector<std::string>{"start"}));
    EXPECT_EQ(now().position, CGPointMake(100, 0));
    advance(0.5);
    EXPECT_EQ(now().position, CGPointMake(100, 50));
    // The model never moved.
    EXPECT_EQ(layer->position(), CGPointMake(10, 10));

    Clock::advance(0.5);
    EXPECT_EQ(completions, 0);  // only a run-loop turn delivers it
    loop->runUntilIdle();
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(stops->log, (std::vector<std::string>{"start", "stop YES"}));
    EXPECT_TRUE(layer->animationKeys().empty());
    EXPECT_EQ(now().position, CGPointMake(10, 10));
    advance(3);
    EXPECT_EQ(completions, 1);
}

TEST_F(LayerAnimationTest, FillForwardsKeepsTheEndWhileNotRemoved) {
    auto drop = basicAnimation("position", 0.3, CGPointMake(10, -50), CGPointMake(10, 10));
    drop->setTimingFunction(
        CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut));
    drop->setFillMode(kCAFillModeForwards);
    drop->setRemovedOnCompletion(false);
    drop->setDelegate(stops);
    layer->setPosition({10, 40});
    layer->addAnimation(drop, "dropAnimation");
    advance(0.15);
    EXPECT_NEAR(now().position.y, -20, 1e-9);
    advance(0.5);
    EXPECT_EQ(stops->log, (std::vector<std::string>{"start", "stop YES"}));
    EXPECT_EQ(layer->animationForKey("dropAnimation"), drop);
    EXPECT_EQ(now().position, CGPointMake(10, 10));
    layer->removeAnimationForKey("dropAnimation");
    advance(0.1);
    EXPECT_EQ(stops->log.size(), 2u);
    EXPECT_EQ(now().position, CGPointMake(10, 40));
}

TEST_F(LayerAnimationTest, RemovingOrReplacingStopsUnfinishedAndAGoneLayerIsForgotten) {
    auto fade = [&](float to) {
        auto a = basicAnimation("opacity", 1, std::nullopt, CAValue(to));
        a->setDelegate(stops);
        return a;
    };
    layer->addAnimation(fade(0), "fade");
    advance(0.5);
    EXPECT_DOUBLE_EQ(now().opacity, 0.5);
    layer->addAnimation(fade(0.5f), "fade");
    layer->addAnimation(fade(0), "other");
    EXPECT_EQ(layer->animationKeys(), (std::vector<std::string>{"fade", "other"}));
    advance(0.0);
    EXPECT_EQ(stops->log, (std::vector<std::string>{"start", "stop NO", "start", "start"}));
    layer->removeAllAnimations();
    advance(2);
    EXPECT_EQ(std::count(stops->log.begin(), stops->log.end(), "stop NO"), 3);
    EXPECT_DOUBLE_EQ(now().opacity, 1);

    // A layer gone before its animation ends is forgotten: nothing more is told, and a new
    // layer, possibly at the same address, starts clean.
    const auto told = stops->log.size();
    layer->addAnimation(fade(0), "fade");
    layer.reset();
    advance(2);
    EXPECT_EQ(stops->log.size(), told);
    layer = CALayer::layer();
    EXPECT_EQ(now().opacity, 1);
}

TEST_F(LayerAnimationTest, GroupOfOpacityAndScaleLikeACalloutBounce) {
    auto opacity = basicAnimation("opacity", 0.23, CAValue(0.0), CAValue(1.0));
    auto scale = basicAnimation("transform.scale", 0.23, CAValue(0.7), CAValue(1.0));
    scale->setTimingFunction(
        CAMediaTimingFunction::functionWithControlPoints(0.59367f, 0.12066f, 0.18878f, 1.5814f));
    auto group = CAAnimationGroup::animation();
    group->setAnimations({opacity, scale});
    group->setDuration(0.23);
    group->setBeginTime(CACurrentMediaTime() + 0.1);
    group->setDelegate(stops);
    layer->setTransform(CATransform3DMakeRotation(std::numbers::pi / 2, 0, 0, 1));
    layer->addAnimation(group, "present");
    EXPECT_DOUBLE_EQ(now().opacity, 1);  // not begun yet
    advance(0.1);
    EXPECT_EQ(stops->log, (std::vector<std::string>{"start"}));
    EXPECT_DOUBLE_EQ(now().opacity, 0);
    advance(0.15);
    const auto mid = now();
    // The scale overshoots on this curve while the rotation of the model stays.
    const double s = std::hypot(mid.transform.m11, mid.transform.m12);
    EXPECT_GT(s, 1.0);
    EXPECT_NEAR(std::atan2(mid.transform.m12, mid.transform.m11), std::numbers::pi / 2, 1e-9);
    advance(0.1);
    EXPECT_EQ(stops->log, (std::vector<std::string>{"start", "stop YES"}));
    EXPECT_EQ(now().transform, layer->transform());
}

TEST_F(LayerAnimationTest, KeyPathsReadAndWriteTheirPart) {
    CALayerPresentation v;
    v.bounds = CGRectMake(0, 0, 40, 30);
    v.transform = CATransform3DMakeScale(2, 3, 1);
    EXPECT_EQ(CALayerValueForKeyPath(v, "transform.scale.y")->number(), 3);
    EXPECT_FALSE(CALayerValueForKeyPath(v, "transform.shear"));

    ASSERT_TRUE(CALayerSetValueForKeyPath(v, "transform.rotation.z", CAValue(std::numbers::pi)));
    EXPECT_NEAR(v.transform.m11, -2, 1e-12);
    EXPECT_NEAR(v.transform.m22, -3, 1e-12);
    // A value of the wrong kind changes nothing.
    EXPECT_FALSE(CALayerSetValueForKeyPath(v, "opacity", CAValue(CGPointMake(1, 1))));
    EXPECT_EQ(v.opacity, 1);
}

TEST_F(LayerAnimationTest, ScreenShowsThePresentationAndRedrawsEveryFrameWhileMoving) {
    HeadlessHost host;
    auto box = UIView::create(CGRectMake(0, 0, 40, 40));
    box->setBackgroundColor(UIColor::redColor());
    host.window()->addSubview(box);
    auto move = basicAnimation("position", 1, CGPointMake(20, 20), CGPointMake(220, 20));
    box->layer()->addAnimation(move, "move");
    advance(0.5);
    auto image = host.compose();
    EXPECT_TRUE(colourNear(screenPixel(image, 120, 20), kRed));
    EXPECT_TRUE(colourNear(screenPixel(image, 20, 20), kWhite));

    // While it runs every refresh marks the screen changed; afterwards nothing does.
    const auto before = CALayer::changeCount();
    advance(1.0 / 60.0);
    EXPECT_GT(CALayer::changeCount(), before);
    advance(1);
    advance(1.0 / 60.0);  // the frame that finds nothing moving any more
    const auto after = CALayer::changeCount();
    for (int i = 0; i < 5; ++i) advance(1.0 / 60.0);
    EXPECT_EQ(CALayer::changeCount(), after);
    image = host.compose();
    EXPECT_TRUE(colourNear(screenPixel(image, 20, 20), kRed));
}

TEST_F(LayerAnimationTest, TransactionAnimatesFreeStandingLayersUnlessActionsAreOff) {
    const auto quarter = CATransform3DMakeRotation(-std::numbers::pi / 2, 0, 0, 1);
    bool done = false;
    CATransaction::begin();
    CATransaction::setDisableActions(false);
    CATransaction::setAnimationDuration(0.4);
    CATransaction::setAnimationTimingFunction(
        CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionLinear));
    CATransaction::setCompletionBlock([&] { done = true; });
    layer->setTransform(quarter);
    CATransaction::commit();
    EXPECT_EQ(layer->transform(), quarter);
    advance(0.2);
    // Half a quarter turn, the short way.
    EXPECT_NEAR(std::atan2(now().transform.m12, now().transform.m11), -std::numbers::pi / 4, 1e-9);
    EXPECT_FALSE(done);
    advance(0.2);
    EXPECT_TRUE(done);
    EXPECT_EQ(now().transform, quarter);

    // Off, outside a transaction, or on a view's layer: the change is simply there.
    CATransaction::begin();
    CATransaction::setDisableActions(true);
    CATransaction::begin();
    EXPECT_TRUE(CATransaction::disableActions());  // inherited
    layer->setOpacity(0.5f);
    CATransaction::commit();
    CATransaction::commit();
    EXPECT_FALSE(CATransaction::disableActions());
    layer->setPosition({70, 70});
    auto view = UIView::create(CGRectMake(0, 0, 10, 10));
    CATransaction::begin();
    view->setAlpha(0.3);
    CATransaction::commit();
    EXPECT_TRUE(layer->animationKeys().empty());
    EXPECT_TRUE(view->layer()->animationKeys().empty());
    EXPECT_EQ(now().opacity, 0.5f);
    EXPECT_EQ(now().position, CGPointMake(70, 70));
}

TEST_F(LayerAnimationTest, TransactionCompletionWaitsForItsAnimationsOnly) {
    std::vector<std::string> order;
    CATransaction::begin();
    CATransaction::setCompletionBlock([&] { order.push_back("outer"); });
    CATransaction::begin();
    CATransaction::setCompletionBlock([&] { order.push_back("inner"); });
    auto fade = CABasicAnimation::animationWithKeyPath("opacity");
    fade->setDuration(1);
    layer->addAnimation(fade, "fade");
    CATransaction::commit();
    layer->setBounds(CGRectMake(0, 0, 60, 60));  // implicit, 0.25 s
    CATransaction::commit();
    advance(0.5);
    EXPECT_TRUE(order.empty());
    advance(0.5);
    EXPECT_EQ(order, (std::vector<std::string>{"inner", "outer"}));

    // Nothing to wait for: a turn after the commit. Without a transaction: a turn later too.
    CATransaction::begin();
    CATransaction::setCompletionBlock([&] { order.push_back("empty"); });
    CATransaction::commit();
    CATransaction::commit();  // unmatched, ignored
    CATransaction::setCompletionBlock([&] { order.push_back("loose"); });
    EXPECT_EQ(order.size(), 2u);
    loop->runUntilIdle();
    EXPECT_EQ(order, (std::vector<std::string>{"inner", "outer", "empty", "loose"}));
}

}  // namespace
