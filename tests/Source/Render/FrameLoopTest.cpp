#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "Foundation/NSPathUtilities.h"
#include "ManualClock.h"
#include "TempDir.h"
#include "VMBaseMapView.h"

namespace {

// Counts engine frames through the renderer's first render state.
struct FrameCounter : VURI1VovureDelegate {
    int frames = 0;
    void renderState(VURI1Vovure&, int state) override {
        if (state == kRenderStateProjectionReady) ++frames;
    }
};

struct Listener : VMBaseMapViewDelegate {
    std::vector<std::string> log;
    std::optional<VMMapPoint> zoomAnchor;
    bool takesCenterMoves = true;
    // The key paths that ended in each frame, as the frame reports it.
    std::weak_ptr<VMBaseMapView> view;
    std::vector<std::vector<std::string>> expiring;
    void animationRenderOver() override {
        log.push_back("over");
        if (auto v = view.lock()) expiring.push_back(v->expirationKeys());
    }
    void mapDidChanged() override { log.push_back("changed"); }
    void mapDidReloaded() override { log.push_back("reloaded"); }
    bool mapCenterDidMove() override {
        if (takesCenterMoves) log.push_back("moved");
        return takesCenterMoves;
    }
    std::optional<VMMapPoint> centerPointAtZoomLevelUsingScreenAnchor(double) override {
        return zoomAnchor;
    }
};

std::shared_ptr<VMBasicAnimation> numberAnimation(const char* keyPath, double from, double to,
                                                  double duration) {
    auto a = VMBasicAnimation::animationWithKeyPath(keyPath);
    a->fromValue = from;
    a->toValue = to;
    a->duration = duration;
    return a;
}

class FrameLoopTest : public testsupport::ManualClockTest {
  protected:
    void SetUp() override {
        NSSetHomeDirectory(home.path());
        view = VMBaseMapView::create(CGRectMake(0, 0, 40, 30));
        if (!view) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
        view->render()->setDelegate(counter);
        view->setDelegate(listener);
        view->layoutIfNeeded();
    }
    void TearDown() override {
        if (view) view->stopAnimation();
    }

    // Steps the clock refresh by refresh and answers the engine frames drawn meanwhile.
    int refreshes(int n) {
        const int before = counter->frames;
        for (int i = 0; i < n; ++i) advance(CADisplayLink::kRefreshPeriod);
        return counter->frames - before;
    }
    float zoom() { return mapEngineGetZoomLevel(view->render()->projection()); }

    testsupport::TempDir home;
    std::shared_ptr<VMBaseMapView> view;
    std::shared_ptr<FrameCounter> counter = std::make_shared<FrameCounter>();
    std::shared_ptr<Listener> listener = std::make_shared<Listener>();
};

TEST_F(FrameLoopTest, IdleMapDropsToEveryThirtiethRefreshAndAChangeRestoresFullRate) {
    view->startAnimation();
    EXPECT_NEAR(refreshes(60), 60, 1);
    // Never resumed: the first idle check, 5 s after the start, drops the rate.
    refreshes(4 * 60 - 10);
    EXPECT_EQ(view->animationFrameInternal(), 1);
    refreshes(20);
    EXPECT_EQ(view->animationFrameInternal(), 30);
    EXPECT_NEAR(refreshes(60), 2, 1);

    // A change restores full rate at once and holds it for at least 5 s.
    view->addAnimation(numberAnimation(kVMAnimationKeyPathZoomer, 10, 11, 0.1));
    EXPECT_EQ(view->animationFrameInternal(), 1);
    EXPECT_NEAR(refreshes(60 * 4), 60 * 4, 1);
    refreshes(50);
    EXPECT_EQ(view->animationFrameInternal(), 1);
    refreshes(60 * 5 + 20);
    EXPECT_EQ(view->animationFrameInternal(), 30);

    // Resumed while at full rate: the idle checks keep their phase, so the drop comes
    // between 5 and 10 s after the change.
    view->addAnimation(numberAnimation(kVMAnimationKeyPathZoomer, 10, 11, 0.1));
    refreshes(2 * 60);
    view->resumeFrequency();
    refreshes(4 * 60 + 50);
    EXPECT_EQ(view->animationFrameInternal(), 1);
    refreshes(5 * 60 + 20);
    EXPECT_EQ(view->animationFrameInternal(), 30);
}

TEST_F(FrameLoopTest, CentreMovesLayoutAndReloadReachTheDelegateAfterTheirFrame) {
    view->startAnimation();
    auto move = VMBasicAnimation::animationWithKeyPath(kVMAnimationKeyPathCenterMapPoint);
    move->fromValue = VMMapPoint{100, 100};
    move->toValue = VMMapPoint{300, 500};
    move->duration = 0.05;
    view->addAnimation(move);
    listener->log.clear();
    refreshes(1);
    EXPECT_EQ(listener->log, (std::vector<std::string>{"over", "moved", "changed"}));

    // A delegate that does not take the notice keeps it pending.
    listener->takesCenterMoves = false;
    refreshes(4);
    EXPECT_TRUE(view->mapCenterMoved());
    uint32_t x = 0, y = 0;
    mapEngineGetCenter(view->render()->projection(), &x, &y);
    EXPECT_EQ(x, 300u);
    EXPECT_EQ(y, 500u);

    view->reload();
    EXPECT_EQ(view->render()->mapEngine(), nullptr);
    listener->log.clear();
    refreshes(1);
    EXPECT_NE(view->render()->mapEngine(), nullptr);
    // A new engine starts from its own view record.
    mapEngineGetCenter(mapEngineGetViewState(view->render()->mapEngine()), &x, &y);
    EXPECT_NE(x, 300u);
    EXPECT_EQ(listener->log.back(), "reloaded");
}

TEST_F(FrameLoopTest, StoppedLoopDrawsNothing) {
    view->drawView();
    EXPECT_EQ(counter->frames, 0);
    view->startAnimation();
    EXPECT_EQ(refreshes(3), 3);
    view->stopAnimation();
    view->addAnimation(numberAnimation(kVMAnimationKeyPathZoomer, 10, 14, 0.5));
    view->drawView();
    EXPECT_EQ(refreshes(120), 0);
    EXPECT_FALSE(view->isAnimating());
    EXPECT_EQ(view->displayLink(), nullptr);
    EXPECT_EQ(view->listenFrequencyTimer(), nullptr);
}

TEST_F(FrameLoopTest, AnAnimationIsListedAsExpiringInItsLastFrameOnly) {
    listener->view = view;
    view->startAnimation();
    bool zoomEnded = false;
    auto zoom = numberAnimation(kVMAnimationKeyPathZoomer, 10, 11, CADisplayLink::kRefreshPeriod);
    zoom->completion = [&] {
        zoomEnded = true;
        EXPECT_EQ(listener->expiring.back(), std::vector<std::string>{kVMAnimationKeyPathZoomer});
    };
    view->addAnimation(zoom);
    view->addAnimation(numberAnimation(kVMAnimationKeyPathRotation, 0, 10, 1));
    refreshes(10);
    EXPECT_TRUE(zoomEnded);
    const auto& seen = listener->expiring;
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](const auto& k) { return !k.empty(); }), 1);
    EXPECT_TRUE(view->expirationKeys().empty()) << "emptied after the frame";
}

TEST_F(FrameLoopTest, AReplacedRendererDrawsTheNextFramesIntoTheView) {
    auto second = VURI1Vovure::create();
    ASSERT_NE(second, nullptr);
    const auto secondCounter = std::make_shared<FrameCounter>();
    second->setDelegate(secondCounter);
    view->startAnimation();
    refreshes(2);
    const int firstFrames = counter->frames;
    ASSERT_GT(firstFrames, 0);

    view->setRender(nullptr);
    EXPECT_NE(view->render(), nullptr) << "the view keeps its renderer";
    view->setRender(second);
    EXPECT_EQ(view->render(), second);
    EXPECT_EQ(second->eaglLayer().get(), view->layer().get());
    refreshes(3);
    EXPECT_EQ(counter->frames, firstFrames);
    EXPECT_GT(secondCounter->frames, 0);
    EXPECT_EQ(second->backingWidth(), 80);
    ASSERT_NE(view->layer()->contents(), nullptr);
    EXPECT_EQ(view->layer()->contents()->width(), 80);
}

TEST_F(FrameLoopTest, KeyFrameAnimationGivesNoValueAtItsFirstKeyTime) {
    auto frames = VMKeyFrameAnimation::animationWithKeyPath(kVMAnimationKeyPathZoomer);
    frames->values = {10.0, 12.0, 16.0};
    frames->keyTimes = {0, 0.5, 1};
    frames->duration = 1;
    EXPECT_FALSE(view->interpolationForAnimation(frames).has_value());
    frames->elapse = 0.25;
    auto v = view->interpolationForAnimation(frames);
    ASSERT_TRUE(v.has_value());
    EXPECT_DOUBLE_EQ(std::get<double>(*v), 11);
    frames->elapse = 0.75;
    EXPECT_DOUBLE_EQ(std::get<double>(*view->interpolationForAnimation(frames)), 14);
}

TEST(TimingFunctionTest, CurvesClampTheSliceAndMeetAtTheirEnds) {
    for (int type = -1; type <= 22; ++type) {
        auto f = VMMediaTimingFunction::functionWithType(type);
        const double slack = type == 16 || type == 17 || type == 18 ? 1.0 / 1024 * 10 : 1e-12;
        EXPECT_NEAR(f->interpolateBySlice(1.7, 0, 10), 10, slack) << type;
        EXPECT_NEAR(f->interpolateBySlice(-0.2, 0, 10), 0, slack) << type;
        EXPECT_DOUBLE_EQ(f->interpolateBySlice(0.3, 10, 10), 10) << type;
        if (type % 3 == 0 && type >= 3 && type <= 21) {
            EXPECT_NEAR(f->interpolateBySlice(0.5, 0, 10), 5, 1e-12) << type;
        }
    }
    EXPECT_DOUBLE_EQ(VMMediaTimingFunction::functionWithType(8)->interpolateBySlice(0.5, 0, 16),
                     15);
    EXPECT_DOUBLE_EQ(VMMediaTimingFunction::functionWithType(22)->interpolateBySlice(0.25, 0, 8),
                     2);
}

}  // namespace
