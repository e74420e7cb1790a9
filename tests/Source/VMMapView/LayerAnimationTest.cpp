#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "MapViewFixture.h"
#include "QuartzCore/CABasicAnimation.h"
#include "QuartzCore/CAKeyframeAnimation.h"
#include "VMMapView.h"

namespace {

struct Calls : CAAnimationDelegate, VMMapViewDelegate {
    std::vector<std::string> log;
    void animationDidStart(const std::shared_ptr<CAAnimation>&) override { log.push_back("start"); }
    void animationDidStop(const std::shared_ptr<CAAnimation>&, bool finished) override {
        log.push_back(finished ? "stop YES" : "stop NO");
    }
    void mapViewRegionWillChangeAnimated(VMMapView&, bool a) override {
        log.push_back(a ? "will YES" : "will NO");
    }
    void mapViewRegionDidChangeAnimated(VMMapView&, bool a) override {
        log.push_back(a ? "did YES" : "did NO");
    }
};

using Log = std::vector<std::string>;

class LayerAnimationTest : public MapViewFixture {
  protected:
    void SetUp() override {
        view = makeMapView();
        if (!view) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
        show();
        view->zoomToLevel(12);
        view->setDelegate(calls);
    }
    std::shared_ptr<CABasicAnimation> zoomTo(std::optional<CAValue> to) {
        auto a = CABasicAnimation::animationWithKeyPath(kVMAnimationKeyPathZoomer);
        a->setToValue(to);
        a->setDuration(0.35);
        a->setDelegate(calls);
        return a;
    }
    const std::map<std::string, std::shared_ptr<VMPropertyAnimation>>& running() {
        return view->baseMapView()->animationWrapper();
    }

    std::shared_ptr<Calls> calls = std::make_shared<Calls>();
};

TEST_F(LayerAnimationTest, KeyFramesAndDroppedAnimations) {
    auto frames3 = CAKeyframeAnimation::animationWithKeyPath(kVMAnimationKeyPathRotation);
    frames3->setValues({CAValue(0.0), CAValue(40.0), CAValue(20.0)});
    frames3->setDuration(1);
    view->layer()->addAnimation(frames3, "turn");
    ASSERT_EQ(running().count(kVMAnimationKeyPathRotation), 1u);
    auto internal =
        std::dynamic_pointer_cast<VMKeyFrameAnimation>(running().at(kVMAnimationKeyPathRotation));
    ASSERT_NE(internal, nullptr);
    EXPECT_EQ(internal->keyTimes, (std::vector<double>{0, 0.5, 1}));
    view->layer()->removeAnimationForKey(kVMAnimationKeyPathRotation);
    EXPECT_TRUE(running().empty());

    // One key frame, no target, or a value of the wrong kind: nothing runs, nobody hears.
    calls->log.clear();
    auto single = CAKeyframeAnimation::animationWithKeyPath(kVMAnimationKeyPathZoomer);
    single->setValues({CAValue(14.0)});
    single->setDelegate(calls);
    view->layer()->addAnimation(single, "one");
    view->layer()->addAnimation(zoomTo(std::nullopt), "none");
    view->layer()->addAnimation(zoomTo(CAValue(CGPoint{14, 14})), "point");
    auto centre = CABasicAnimation::animationWithKeyPath(kVMAnimationKeyPathCenterMapPoint);
    centre->setToValue(CAValue(5.0));
    view->layer()->addAnimation(centre, "number");
    EXPECT_TRUE(running().empty());
    EXPECT_TRUE(calls->log.empty());
    frames(25);
    EXPECT_DOUBLE_EQ(view->zoomLevel(), 12);
}

TEST_F(LayerAnimationTest, OtherKeyPathsRunOnTheLayerAndRemovalStopsTheMap) {
    auto move = CABasicAnimation::animationWithKeyPath("position");
    move->setToValue(CAValue(CGPoint{10, 10}));
    move->setDuration(1);
    view->layer()->addAnimation(move, "move");
    EXPECT_EQ(view->layer()->animationForKey("move"), move);
    EXPECT_TRUE(running().empty());

    view->layer()->addAnimation(zoomTo(CAValue(16.0)), "zoom");
    frames(5);
    const double reached = view->zoomLevel();
    EXPECT_GT(reached, 12);
    view->layer()->removeAnimationForKey(kVMAnimationKeyPathZoomer);
    EXPECT_TRUE(running().empty());
    frames(30);
    EXPECT_DOUBLE_EQ(view->zoomLevel(), reached);
}

}  // namespace
