#include <thread>
#include <vector>

#include "Foundation/NSNotificationCenter.h"
#include "MapViewFixture.h"
#include "ThreadChecks.h"
#include "UIKit/UIDevice.h"
#include "vmap_core/MapEngineInternal.h"

namespace {

struct Recorder : VMMapViewDelegate {
    std::vector<std::string> log;
    void offlineDataWillReload(VMMapView&) override { log.push_back("willReload"); }
    void offlineDataDidReload(VMMapView&) override { log.push_back("didReload"); }
    void mapViewDidChangeOpenGLESDisabled(VMMapView&, bool disabled) override {
        log.push_back(disabled ? "glOff" : "glOn");
    }
    void mapViewRegionWillChangeAnimated(VMMapView&, bool) override { log.push_back("will"); }
    void mapViewRegionDidChangeAnimated(VMMapView&, bool) override { log.push_back("did"); }
};

class MapViewTest : public MapViewFixture {
  protected:
    void SetUp() override {
        openView();
        if (view) view->setDelegate(recorder);
    }
    void TearDown() override {
        MapViewFixture::TearDown();
        UIApplication::sharedApplication()->reset();
        UIDevice::currentDevice()->reset();
    }

    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

TEST_F(MapViewTest, LocationOptionsOnlyWhereTheSystemOffersThem) {
    struct Case {
        const char* version;
        bool pauses, background;
    };
    const auto& manager = view->locationManager();
    for (auto [version, pauses, background] :
         {Case{"9.0", true, true}, Case{"10.3.1", true, true}, Case{"8.4", true, false},
          Case{"6.0", false, false}, Case{"", false, false}}) {
        UIDevice::currentDevice()->setSystemVersion(version);
        manager->setPausesLocationUpdatesAutomatically(false);
        manager->setAllowsBackgroundLocationUpdates(false);
        view->setPausesLocationUpdatesAutomatically(true);
        view->setAllowsBackgroundLocationUpdates(true);
        EXPECT_EQ(manager->pausesLocationUpdatesAutomatically(), pauses) << version;
        EXPECT_EQ(manager->allowsBackgroundLocationUpdates(), background) << version;
        manager->setPausesLocationUpdatesAutomatically(true);
        manager->setAllowsBackgroundLocationUpdates(true);
        EXPECT_EQ(view->pausesLocationUpdatesAutomatically(), pauses) << version;
        EXPECT_EQ(view->allowsBackgroundLocationUpdates(), background) << version;
    }
}

// No new map view in the background, but one while inactive.
TEST_F(MapViewTest, ApplicationStateStopsAndRestartsDrawing) {
    auto app = UIApplication::sharedApplication();
    app->setApplicationState(UIApplicationStateInactive);
    EXPECT_TRUE(view->openGLESDisabled());
    EXPECT_TRUE(view->render()->renderDisabled());
    EXPECT_NE(VMMapView::create(CGRectMake(0, 0, 100, 100)), nullptr);
    app->setApplicationState(UIApplicationStateBackground);
    EXPECT_TRUE(view->openGLESDisabled());
    EXPECT_EQ(VMMapView::create(CGRectMake(0, 0, 100, 100)), nullptr);
    app->setApplicationState(UIApplicationStateActive);
    EXPECT_FALSE(view->openGLESDisabled());
    EXPECT_FALSE(view->render()->renderDisabled());
    EXPECT_EQ(recorder->log, (std::vector<std::string>{"glOff", "glOff", "glOn"}));
    // Entering the background stops drawing on its own (handleDidEnterBackgroundNotification).
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationDidEnterBackgroundNotification);
    EXPECT_TRUE(view->openGLESDisabled());
    EXPECT_TRUE(view->render()->renderDisabled());
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationDidBecomeActiveNotification);
    EXPECT_FALSE(view->render()->renderDisabled());

    // The same value again still reaches the delegate, and the loop stays as it is.
    view->setOpenGLESDisabled(false);
    EXPECT_EQ(recorder->log.back(), "glOn");
    EXPECT_TRUE(view->baseMapView()->isAnimating());
}

TEST_F(MapViewTest, GestureRecognizersAndThePivotAreTheViewsOwn) {
    const std::vector<std::shared_ptr<UIGestureRecognizer>> eight{
        view->zoomInGestureRecognizer(),    view->zoomOutGestureRecognizer(),
        view->zoomPinchGestureRecognizer(), view->panGestureRecognizer(),
        view->pullGestureRecognizer(),      view->rotateGestureRecognizer(),
        view->singleTapGestureRecognizer(), view->longPressGestureRecognizer()};
    const auto& attached = view->gestureRecognizers();
    ASSERT_EQ(attached.size(), eight.size());
    const auto* self = static_cast<UIGestureRecognizerDelegate*>(view.get());
    for (size_t i = 0; i < eight.size(); ++i) {
        ASSERT_NE(eight[i], nullptr) << i;
        EXPECT_EQ(attached[i].get(), static_cast<UIGestureRecognizerBase*>(eight[i].get())) << i;
        EXPECT_EQ(eight[i]->delegate().get(), self) << i;
    }
    EXPECT_EQ(view->zoomInGestureRecognizer()->numberOfTapsRequired(), 2u);
    EXPECT_EQ(view->zoomOutGestureRecognizer()->numberOfTouchesRequired(), 2u);
    EXPECT_EQ(view->panGestureRecognizer()->maximumNumberOfTouches(), 1u);
    EXPECT_EQ(view->pullGestureRecognizer()->minimumNumberOfTouches(), 2u);
    EXPECT_EQ(view->singleTapGestureRecognizer()->numberOfTapsRequired(), 1u);

    // The pivot is stored as given; reading it re-derives it as the anchor asks.
    show();
    const VMMapPoint centre = view->mapPointForPoint({160, 240});
    const VMMapPoint near = view->mapPointForPoint({161, 240});
    const VMMapPoint far = view->mapPointForPoint({200, 240});
    view->setMapPivot(near);
    EXPECT_TRUE(pointNear(view->mapPivot(), centre, 0)) << "without a custom pivot, the centre";
    view->setCustomedPivot(true);
    EXPECT_TRUE(view->customedPivot());
    view->setMapPivot(near);
    EXPECT_TRUE(pointNear(view->mapPivot(), near, 0)) << "within 1.5 points of the anchor";
    view->setMapPivot(far);
    EXPECT_TRUE(pointNear(view->mapPivot(), centre, 0)) << "drifted: the point under the anchor";
    view->setCustomedPivot(false);
    EXPECT_FALSE(view->customedPivot());
}

TEST_F(MapViewTest, ReloadRebuildsTheEngineAndRestoresTheMapState) {
    show();
    const CLLocationCoordinate2D where{31.2304, 121.4737};
    view->setMapType(1);
    view->setShowTraffic(true);
    view->setBuildingsDisabled(true);
    view->setCenterCoordinate(where);
    view->setZoomLevel(12.5);
    view->setRotationDegree(30);
    view->setCameraDegree(20);
    frames(1);
    recorder->log.clear();

    view->reloadMap();
    EXPECT_EQ(view->mapStatusBeforeReload(), nullptr);
    ASSERT_NE(view->render()->mapEngine(), nullptr);
    ASSERT_GE(recorder->log.size(), 2u);
    EXPECT_EQ(recorder->log.front(), "willReload");
    EXPECT_EQ(recorder->log.back(), "didReload");
    frames(1);
    // The new engine took the restored camera at its next frame.
    const MapViewState* live = mapEngineGetViewState(view->render()->mapEngine());
    EXPECT_NEAR(mapEngineGetZoomLevel(live), 12.5, 1e-4);
    EXPECT_NEAR(mapEngineGetRotation(live), 30, 1e-3);
    EXPECT_NEAR(mapEngineGetCameraPitch(live), 20, 1e-3);
    const CLLocationCoordinate2D c = view->centerCoordinate();
    EXPECT_TRUE(coordinateNear(c, where, 1e-4));
    EXPECT_EQ(view->mapType(), 1);
    EXPECT_TRUE(view->isShowTraffic());
    EXPECT_TRUE(view->isBuildingsDisabled());
}

TEST_F(MapViewTest, TheViewGoesWithItsLastOwner) {
    std::weak_ptr<VMMapView> weak = view;
    auto manager = view->locationManager();
    view->setCenterCoordinate({30, 120});  // waits for the projection, holding the view weakly
    view->setShowsUserLocation(true);
    EXPECT_TRUE(manager->isUpdatingLocation());
    view.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_FALSE(manager->isUpdatingLocation());
    EXPECT_FALSE(manager->isUpdatingHeading());
    frames(10);
}

// Its last owner letting go on another thread would tear its GL down there: debug and sanitizer
// builds stop at once instead.
TEST_F(MapViewTest, LetGoOfOnAnotherThreadItFailsLoudly) {
    BRISFOLD_THREAD_CHECK_DEATH_TEST();
    EXPECT_DEATH(std::thread([owned = std::move(view)]() mutable { owned.reset(); }).join(),
                 "UIView used off its thread: .*~VMMapView");
}

}  // namespace
