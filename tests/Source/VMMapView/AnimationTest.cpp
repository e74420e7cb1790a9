#include <limits>
#include <vector>

#include "MapViewFixture.h"
#include "QuartzCore/CABasicAnimation.h"
#include "QuartzCore/CAKeyframeAnimation.h"
#include "VMMediaTimingFunction.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(TimingCurveTest, NamedCurvesMatchTheirTypesAndDoNotClamp) {
    using F = VMMediaTimingFunction;
    const std::vector<double (*)(double, double, double)> named{
        F::linearInterpolateBySlice,
        F::easeInQuadraticInterpolateBySlice,
        F::easeOutQuadraticInterpolateBySlice,
        F::easeInEaseOutQuadraticInterpolateBySlice,
        F::easeInCubicInterpolateBySlice,
        F::easeOutCubicInterpolateBySlice,
        F::easeInEaseOutCubicInterpolateBySlice,
        F::easeInQuarticInterpolateBySlice,
        F::easeOutQuarticInterpolateBySlice,
        F::easeInEaseOutQuarticInterpolateBySlice,
        F::easeInQuinticInterpolateBySlice,
        F::easeOutQuinticInterpolateBySlice,
        F::easeInEaseOutQuinticInterpolateBySlice,
        F::easeInSinInterpolateBySlice,
        F::easeOutSinInterpolateBySlice,
        F::easeInEaseOutSinInterpolateBySlice,
        F::easeInExpInterpolateBySlice,
        F::easeOutExpInterpolateBySlice,
        F::easeInEaseOutExpInterpolateBySlice,
        F::easeInCircularInterpolateBySlice,
        F::easeOutCircularInterpolateBySlice,
        F::easeInEaseOutCircularInterpolateBySlice};
    for (int type = 0; type < 22; ++type) {
        for (double s : {0.0, 0.3, 0.5, 0.8, 1.0}) {
            EXPECT_EQ(named[type](s, 10, 30),
                      F::functionWithType(type)->interpolateBySlice(s, 10, 30))
                << type << " at " << s;
        }
    }
    EXPECT_DOUBLE_EQ(F::linearInterpolateBySlice(1.5, 0, 10), 15);
    EXPECT_DOUBLE_EQ(F::easeInQuadraticInterpolateBySlice(-1, 0, 10), 10);
}

struct Counter {
    int runs = 0;
    VMMapView::Completion completion() {
        return [this] { ++runs; };
    }
};

class AnimationTest : public MapViewFixture {
  protected:
    void SetUp() override {
        openView();
        if (view) show();
    }
    // The rotation after each of n frames.
    std::vector<double> rotations(int n) {
        std::vector<double> seen;
        for (int i = 0; i < n; ++i) {
            frames(1);
            seen.push_back(view->rotationDegree());
        }
        return seen;
    }
};

TEST_F(AnimationTest, ZoomFollowsItsCurveFrameByFrameAndCompletesOnce) {
    view->zoomToLevel(12);
    Counter done;
    view->zoomToLevel(13, true, VMMapView::kDefaultCameraDuration, done.completion());
    auto curve = VMMediaTimingFunction::functionWithType(9);
    double elapsed = 0;
    for (int k = 1; k <= 21; ++k) {
        frames(1);
        const double expected = static_cast<float>(
            curve->interpolateBySlice(elapsed / VMMapView::kDefaultCameraDuration, 12, 13));
        EXPECT_NEAR(view->zoomLevel(), expected, 1e-6) << "frame " << k;
        elapsed += CADisplayLink::kRefreshPeriod;
    }
    EXPECT_LT(view->zoomLevel(), 13);
    EXPECT_EQ(done.runs, 0);
    frames(1);
    EXPECT_DOUBLE_EQ(view->zoomLevel(), 13);
    EXPECT_EQ(done.runs, 1);
    frames(5);
    EXPECT_EQ(done.runs, 1);
}

TEST_F(AnimationTest, RotationTakesTheShortWayAndLimitsHold) {
    view->rotateToDegree(350);
    view->rotateToDegree(10, true, 0.2);
    for (double r : rotations(14)) EXPECT_TRUE(r >= 350 || r <= 10 + 1e-4) << r;
    EXPECT_NEAR(view->rotationDegree(), 10, 1e-4);

    view->rotateToDegree(350, true, 0.2);
    for (double r : rotations(14)) EXPECT_TRUE(r >= 350 - 1e-4 || r <= 10 + 1e-4) << r;
    EXPECT_NEAR(view->rotationDegree(), 350, 1e-4);

    view->rotateToDegree(-30);
    EXPECT_NEAR(view->rotationDegree(), 330, 1e-4);
    view->rotateCameraHeaderToDegree(90, true, 0.2);
    frames(14);
    EXPECT_DOUBLE_EQ(view->cameraDegree(), 65);
}

// An instant change ends the running animation of its key path; a completion that starts a new
// scroll runs once and the new scroll plays; an animation a completion adds in the frame its key
// expires is kept.
TEST_F(AnimationTest, CompletionsRunOnceAndWhatTheyStartPlays) {
    view->zoomToLevel(12);
    Counter ended;
    view->zoomToLevel(16, true, 1.0, ended.completion());
    frames(3);
    view->zoomToLevel(14);
    EXPECT_EQ(ended.runs, 1);
    EXPECT_EQ(view->baseMapView()->animationWrapper().count(kVMAnimationKeyPathZoomer), 0u);
    frames(10);
    EXPECT_DOUBLE_EQ(view->zoomLevel(), 14);
    EXPECT_EQ(ended.runs, 1);

    const VMMapPoint start = view->currentCenter();
    const VMMapPoint first{start.x + 4000, start.y};
    const VMMapPoint second{start.x + 4000, start.y + 8000};
    Counter firstDone, secondDone;
    view->scrollToMapPivot(first, true, 0.1, 8, false, [&] {
        ++firstDone.runs;
        view->scrollToMapPivot(second, true, 0.1, 8, false, secondDone.completion());
    });
    frames(20);
    EXPECT_EQ(firstDone.runs, 1);
    EXPECT_EQ(secondDone.runs, 1);
    EXPECT_TRUE(pointNear(view->currentCenter(), second, 1));

    view->zoomToLevel(12);
    view->rotateToDegree(0);
    Counter later;
    // Both end in the same frame; the rotation's completion starts a new zoom there.
    view->zoomToLevel(13, true, 0.1);
    view->rotateToDegree(20, true, 0.1,
                         [&] { view->zoomToLevel(15, true, 0, later.completion()); });
    frames(10);
    EXPECT_EQ(later.runs, 1);
    EXPECT_DOUBLE_EQ(view->zoomLevel(), 15);
    EXPECT_NEAR(view->rotationDegree(), 20, 1e-4);
}

TEST_F(AnimationTest, NonFiniteTargetsLeaveTheCameraAndStillComplete) {
    view->zoomToLevel(12);
    view->rotateToDegree(20);
    view->rotateCameraHeaderToDegree(10);
    const VMMapPoint centre = view->currentCenter();
    for (double bad : {kNaN, kInf, -kInf}) {
        for (bool animated : {false, true}) {
            Counter done;
            view->zoomToLevel(bad, animated, 0.1, done.completion());
            view->rotateToDegree(bad, animated, 0.1, done.completion());
            view->rotateCameraHeaderToDegree(bad, animated, 0.1, done.completion());
            view->scrollToMapPivot({bad, 1000}, animated, 0.1, 8, false, done.completion());
            view->scrollToCenterPoint({1000, bad}, animated, 0.1, 9, false, done.completion());
            frames(10);
            EXPECT_EQ(done.runs, 5) << bad << " animated " << animated;
            EXPECT_DOUBLE_EQ(view->zoomLevel(), 12);
            EXPECT_NEAR(view->rotationDegree(), 20, 1e-4);
            EXPECT_DOUBLE_EQ(view->cameraDegree(), 10);
            EXPECT_EQ(view->currentCenter().x, centre.x);
            EXPECT_EQ(view->currentCenter().y, centre.y);
        }
    }
    // Off the map plane, the centre stops at its edge rather than wrapping in 32 bits.
    view->scrollToCenterPoint({-1e12, 1e12}, false, 0, 0, false, nullptr);
    EXPECT_EQ(view->currentCenter().x, 0);
    EXPECT_NEAR(view->currentCenter().y, 268435456, 1);
}

class DeferredScrollTest : public MapViewFixture {};

TEST_F(DeferredScrollTest, PivotScrollBeforeTheFirstFrameReplaysOnceTheProjectionIsReady) {
    openView();
    const VMMapPoint target = mapPointForCoordinate({31.2304, 121.4737});
    Counter done;
    view->scrollToMapPivot(target, false, 0, 0, false, done.completion());
    EXPECT_EQ(done.runs, 0);
    EXPECT_NEAR(view->centerCoordinate().latitude, 31.2304, 1e-6);
    show();
    frames(3);
    EXPECT_EQ(done.runs, 1);
    EXPECT_TRUE(pointNear(view->currentCenter(), target, 1));
    frames(3);
    EXPECT_EQ(done.runs, 1);
}

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

// Layer animations on the map layer run as camera animations.
class LayerAnimationTest : public AnimationTest {
  protected:
    void SetUp() override {
        AnimationTest::SetUp();
        if (!view) return;
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

struct RegionLog : VMMapViewDelegate {
    int will = 0;
    int did = 0;
    void mapViewRegionWillChangeAnimated(VMMapView&, bool) override { ++will; }
    void mapViewRegionDidChangeAnimated(VMMapView&, bool) override { ++did; }
};

constexpr CLLocationCoordinate2D kShanghai{31.2304, 121.4737};

class CameraTest : public AnimationTest {
  protected:
    void SetUp() override {
        AnimationTest::SetUp();
        if (view) view->setDelegate(log);
    }
    // Where a coordinate is on the view once the engine drew the camera.
    CGPoint shown(CLLocationCoordinate2D c) {
        frames(1);
        return view->pointForMapPoint(mapPointForCoordinate(c));
    }

    std::shared_ptr<RegionLog> log = std::make_shared<RegionLog>();
};

TEST_F(CameraTest, SettersClampZoomAngleAndRotation) {
    struct Case {
        double in, zoom;
    };
    for (auto [in, out] : {Case{25, 19}, Case{1, 3}, Case{14.5, 14.5}}) {
        view->setZoomLevel(in);
        EXPECT_NEAR(view->zoomLevel(), out, 1e-5) << in;
    }
    view->setCameraDegree(90);
    EXPECT_DOUBLE_EQ(view->cameraDegree(), 65);
    view->setSkyModelEnable(false);  // without the sky the camera tilts 40 degrees at most
    EXPECT_DOUBLE_EQ(view->cameraDegree(), 40);
    view->setCameraDegree(55);
    EXPECT_DOUBLE_EQ(view->cameraDegree(), 40);
    view->setRotationDegree(-30);
    EXPECT_NEAR(view->rotationDegree(), 330, 1e-4);
    EXPECT_EQ(log->will, log->did);
}

TEST_F(CameraTest, ThePivotStaysOnItsScreenAnchor) {
    view->setScreenAnchor({1.01, 0.5});
    view->setScreenAnchor({0.5, -0.1});
    EXPECT_FALSE(view->customedPivot());
    view->setScreenAnchor({0.25, 0.75});
    EXPECT_TRUE(view->customedPivot());
    view->setZoomLevel(12);
    view->setCenterCoordinate(kShanghai);
    CGPoint p = shown(kShanghai);
    EXPECT_TRUE(pointNear(p, CGPoint{80, 360}, 1.5));
    view->setZoomLevel(15);
    view->setRotationDegree(40);
    view->setCameraDegree(30);
    p = shown(kShanghai);
    EXPECT_TRUE(pointNear(p, CGPoint{80, 360}, 1.5));
    const CLLocationCoordinate2D c = view->centerCoordinate();
    EXPECT_TRUE(coordinateNear(c, kShanghai, 1e-4));
    view->setScreenAnchor({0.5, 0.5});
    EXPECT_FALSE(view->customedPivot());
}

TEST_F(CameraTest, ZoomAtAPivotKeepsTheMapUnderThePivot) {
    struct Case {
        CGPoint pivot;
        double zoom, rotation;
        bool animated;
    };
    // A level beyond the limit is reached as the limit, with the pivot still in place.
    for (auto [pivot, zoom, rotation, animated] :
         {Case{{80, 100}, 14, 0, false}, Case{{250, 400}, 13.5, 30, false},
          Case{{60, 420}, 11, 300, true}, Case{{200, 120}, 25, 0, false}}) {
        view->setRotationDegree(rotation);
        view->setZoomLevel(12.5);
        view->setCenterCoordinate(kShanghai);
        frames(1);
        const VMMapPoint under = view->mapPointForPoint(pivot);
        const int will = log->will, did = log->did;
        view->setZoomLevel(zoom, pivot, animated);
        frames(animated ? 30 : 1);
        EXPECT_NEAR(view->zoomLevel(), std::min(zoom, 19.0), 1e-5) << zoom;
        const CGPoint p = view->pointForMapPoint(under);
        EXPECT_TRUE(pointNear(p, pivot, 1.5)) << zoom;
        EXPECT_EQ(log->will, will + 1);
        EXPECT_EQ(log->did, did + 1);
    }

    // At the top level, and with a NaN, the camera stays and nobody is told.
    const int will = log->will;
    view->setZoomLevel(12, {10, 10});
    EXPECT_DOUBLE_EQ(view->zoomLevel(), 19);
    EXPECT_EQ(log->will, will);
    view->setZoomLevel(12);
    const VMMapPoint centre = view->currentCenter();
    view->setZoomLevel(kNaN, {10, 10});
    view->setZoomLevel(14, {kNaN, 10});
    EXPECT_NEAR(view->zoomLevel(), 12, 1e-5);
    EXPECT_EQ(view->currentCenter(), centre);
    EXPECT_EQ(log->will, will + 1);
}

TEST_F(CameraTest, ConversionsToAndFromOtherViews) {
    auto window = UIView::create(CGRectMake(0, 0, 400, 600));
    window->addSubview(view);
    view->setFrame(CGRectMake(40, 50, 320, 480));
    auto panel = UIView::create(CGRectMake(10, 20, 100, 100));
    window->addSubview(panel);
    view->setZoomLevel(13);
    view->setCenterCoordinate(kShanghai);
    frames(1);

    const CGPoint own = view->pointForMapPoint(mapPointForCoordinate(kShanghai));
    const CGPoint there = view->convertCoordinateToPointToView(kShanghai, panel.get());
    EXPECT_TRUE(pointNear(there, CGPoint{own.x + 30, own.y + 30}, 1e-6));
    const CLLocationCoordinate2D back = view->convertPointToCoordinateFromView(there, panel.get());
    EXPECT_TRUE(coordinateNear(back, kShanghai, 1e-4));

    const VMCoordinateRegion region{kShanghai, {0.02, 0.02}};
    const CGRect rect = view->convertRegionToRectToView(region, panel.get());
    const CGRect ownRect = view->rectForMapRect(mapRectForRegion(region));
    EXPECT_TRUE(
        pointNear(rect.origin, CGPoint{ownRect.origin.x + 30, ownRect.origin.y + 30}, 1e-6));
    EXPECT_NEAR(rect.size.width, ownRect.size.width, 1e-6);
    const VMCoordinateRegion again = view->convertRectToRegionFromView(rect, panel.get());
    EXPECT_NEAR(again.center.latitude, kShanghai.latitude, 1e-4);
    EXPECT_NEAR(again.span.longitudeDelta, 0.02, 1e-3);

    const VMCoordinateRegion fits = view->regionThatFits(region);
    EXPECT_NEAR(fits.span.longitudeDelta, 0.02, 1e-6);
    EXPECT_GT(fits.span.latitudeDelta, 0.02);
}

// However far a tilted camera sees, a region spans the world at most, and setting what the map
// answered brings it back over the same place, north-up and untilted, at the least zoom.
TEST_F(CameraTest, RegionsSpanTheWorldAtMostAndSetBackToTheSamePlace) {
    const auto expectWithinTheWorld = [](const VMCoordinateRegion& r, const char* what) {
        EXPECT_GT(r.span.latitudeDelta, 0) << what;
        EXPECT_LE(r.span.latitudeDelta, 180) << what;
        EXPECT_GT(r.span.longitudeDelta, 0) << what;
        EXPECT_LE(r.span.longitudeDelta, 360) << what;
    };
    const struct {
        double zoom, tilt;
    } cameras[] = {{1, 0}, {2, 0}, {3, 0}, {1, 80}, {2, 80}, {3, 80}};
    for (const auto& camera : cameras) {
        SCOPED_TRACE(testing::Message() << "zoom " << camera.zoom << ", tilted " << camera.tilt);
        view->setCenterCoordinate(kShanghai);
        view->setZoomLevel(camera.zoom);
        view->setCameraDegree(camera.tilt);
        frames(1);
        const VMCoordinateRegion region = view->region();
        expectWithinTheWorld(region, "region");
        expectWithinTheWorld(view->convertRectToRegionFromView(view->bounds(), view.get()),
                             "the bounds' region");
        expectWithinTheWorld(view->regionThatFits(region), "the region that fits");

        view->setRegion(region);
        frames(1);
        EXPECT_DOUBLE_EQ(view->cameraDegree(), 0);
        EXPECT_NEAR(view->zoomLevel(), 3, 0.05);
        EXPECT_TRUE(coordinateNear(view->centerCoordinate(), kShanghai, 0.01));
    }
}

TEST_F(CameraTest, NaNAndViewsWithoutSizeLeaveTheCameraAlone) {
    view->setZoomLevel(12);
    const VMMapPoint centre = view->currentCenter();
    view->setZoomLevel(kNaN);
    view->setRotationDegree(kNaN);
    view->setCameraDegree(kNaN);
    EXPECT_NEAR(view->zoomLevel(), 12, 1e-5);
    EXPECT_EQ(view->currentCenter(), centre);
    const VMMapPoint held =
        view->centerPointForKeepingMapPivotAtZoomLevel(view->mapPivot(), {0.3, 0.3}, kNaN);
    EXPECT_EQ(held, centre);

    auto flat = VMMapView::create(CGRectZero);
    ASSERT_NE(flat, nullptr);
    const VMMapRect r{{1000, 1000}, {600, 600}};
    EXPECT_EQ(flat->mapRectThatFits(r), r);
    const double zoom = flat->zoomLevel();
    EXPECT_TRUE(std::isfinite(flat->zoomScaleFitMapRect(r, {})));
    flat->setVisibleMapRect(r);
    flat->setRegion({kShanghai, {0.1, 0.1}});
    EXPECT_DOUBLE_EQ(flat->zoomLevel(), zoom);
    EXPECT_TRUE(std::isfinite(flat->currentCenter().x));
}

}  // namespace
