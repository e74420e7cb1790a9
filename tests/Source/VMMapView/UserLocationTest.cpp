#include <algorithm>
#include <vector>

#include "Foundation/NSRunLoop.h"
#include "MapViewFixture.h"
#include "ScreenPixels.h"
#include "UIKit/UIDevice.h"
#include "VMUserLocationView.h"

namespace {

struct Update {
    CLLocationCoordinate2D coordinate;
    bool updatingLocation;
};

// Takes the updates as the order screens do: the flagged form, on the main thread.
struct LocationScreen : VMMapViewDelegate {
    std::vector<Update> updates;
    std::vector<long> modes;
    int starts = 0;
    using VMMapViewDelegate::mapViewDidUpdateUserLocation;
    bool mapViewDidUpdateUserLocation(VMMapView&, const std::shared_ptr<VMUserLocation>& user,
                                      bool updatingLocation) override {
        EXPECT_TRUE(NSRunLoop::isMainThread());
        updates.push_back({user->location()->coordinate(), updatingLocation});
        return true;
    }
    void mapViewWillStartLocatingUser(VMMapView&) override { ++starts; }
    void mapViewDidChangeUserTrackingMode(VMMapView&, long mode, bool) override {
        modes.push_back(mode);
    }
};

// Knows only the older form without the flag.
struct OlderScreen : VMMapViewDelegate {
    int updates = 0;
    using VMMapViewDelegate::mapViewDidUpdateUserLocation;
    void mapViewDidUpdateUserLocation(VMMapView&, const std::shared_ptr<VMUserLocation>&) override {
        ++updates;
    }
};

class UserLocationTest : public MapViewFixture {
  protected:
    void SetUp() override {
        useLocationFile(
            "0 fix 39.90872 116.39750 10\n2.5 heading 87.5\n4 fix 39.90901 116.39802 65 45\n");
        openView();
        if (view) view->setDelegate(screen);
    }
    void TearDown() override {
        MapViewFixture::TearDown();
        UIDevice::currentDevice()->reset();
    }

    std::shared_ptr<LocationScreen> screen = std::make_shared<LocationScreen>();
};

// The dot comes back after the map is cleared.
TEST_F(UserLocationTest, MapViewNeverOnScreenReportsThePositionsOfTheLocationFile) {
    view->setShowsUserLocation(true);
    view->setShowsUserLocation(true);
    EXPECT_EQ(screen->starts, 1);
    EXPECT_TRUE(view->locationManager()->isUpdatingLocation());
    EXPECT_TRUE(view->userLocation()->isUpdating());
    view->setUserTrackingMode(1);
    EXPECT_EQ(screen->modes, std::vector<long>{1});

    advance(0.1);
    ASSERT_EQ(screen->updates.size(), 1u);
    ASSERT_NE(view->viewForAnnotation(view->userLocation()), nullptr);
    // Cleared with its own list, the map loses the dot until the next fix brings it back.
    view->removeAnnotations(view->annotations());
    EXPECT_EQ(view->viewForAnnotation(view->userLocation()), nullptr);
    EXPECT_TRUE(screen->updates[0].updatingLocation);
    EXPECT_DOUBLE_EQ(screen->updates[0].coordinate.latitude, 39.90872);
    EXPECT_DOUBLE_EQ(screen->updates[0].coordinate.longitude, 116.39750);
    EXPECT_EQ(view->userLocation()->coordinate(), screen->updates[0].coordinate);
    EXPECT_EQ(view->userLocation()->title(), "当前位置");

    advance(2.5);
    ASSERT_EQ(screen->updates.size(), 2u);
    EXPECT_FALSE(screen->updates[1].updatingLocation);
    EXPECT_DOUBLE_EQ(view->userLocation()->heading()->trueHeading(), 87.5);

    advance(1.5);
    ASSERT_EQ(screen->updates.size(), 3u);
    EXPECT_TRUE(screen->updates[2].updatingLocation);
    EXPECT_DOUBLE_EQ(screen->updates[2].coordinate.latitude, 39.90901);
    EXPECT_DOUBLE_EQ(view->userLocationAccuracyCircle()->radius(), 65);
    EXPECT_EQ(view->userLocationAccuracyCircle()->coordinate(), screen->updates[2].coordinate);
    const auto& listed = view->annotations();
    EXPECT_NE(std::find(listed.begin(), listed.end(), view->userLocation()), listed.end());
    EXPECT_NE(view->viewForAnnotation(view->userLocation()), nullptr);
    EXPECT_NE(view->viewForOverlay(view->userLocationAccuracyCircle()), nullptr);

    view->setShowsUserLocation(false);
    EXPECT_FALSE(view->locationManager()->isUpdatingLocation());
    EXPECT_EQ(view->userTrackingMode(), 1);
    // Off, the dot and its circle leave the map (removeUserLocationInterface).
    const auto annotations = view->annotations();
    EXPECT_EQ(std::find(annotations.begin(), annotations.end(), view->userLocation()),
              annotations.end());
    EXPECT_EQ(view->viewForAnnotation(view->userLocation()), nullptr);
    const auto overlays = view->overlays();
    EXPECT_EQ(std::find(overlays.begin(), overlays.end(), view->userLocationAccuracyCircle()),
              overlays.end());
}

// The user location is visible only while shown inside the view.
TEST_F(UserLocationTest, TrackingFollowsTheFixWithTheCamera) {
    show();
    EXPECT_FALSE(view->isUserLocationVisible());
    view->setZoomLevel(12);
    view->setUserTrackingMode(1);
    EXPECT_TRUE(view->showsUserLocation());
    advance(0.1);
    frames(2);
    // The first fix dives to street level and centres on the user.
    EXPECT_NEAR(view->zoomLevel(), 18, 1e-5);
    CLLocationCoordinate2D c = view->centerCoordinate();
    EXPECT_TRUE(coordinateNear(c, {39.90872, 116.39750}, 1e-5));
    EXPECT_TRUE(view->isUserLocationVisible());
    advance(4);
    frames(2);
    c = view->centerCoordinate();
    EXPECT_TRUE(coordinateNear(c, {39.90901, 116.39802}, 1e-5));

    // Moving the map by hand ends tracking; the next fix leaves the camera alone.
    view->setCenterCoordinate({31.2304, 121.4737});
    EXPECT_EQ(view->userTrackingMode(), 0);
    frames(1);
    EXPECT_FALSE(view->isUserLocationVisible());
    view->setCenterCoordinate(view->userLocation()->coordinate());
    frames(1);
    EXPECT_TRUE(view->isUserLocationVisible());
    view->setShowsUserLocation(false);
    EXPECT_FALSE(view->isUserLocationVisible());
}

TEST_F(UserLocationTest, TrackingModesOutsideTheRangeAndOlderDelegates) {
    view->setUserTrackingMode(1);
    view->setUserTrackingMode(1);
    view->setUserTrackingMode(3);
    EXPECT_EQ(view->userTrackingMode(), 1);
    view->setUserTrackingMode(-1);  // taken as no tracking
    EXPECT_EQ(view->userTrackingMode(), 0);
    EXPECT_EQ(screen->modes, (std::vector<long>{1, 0}));
    EXPECT_TRUE(view->showsUserLocation());

    auto older = std::make_shared<OlderScreen>();
    view->setDelegate(older);
    advance(3);
    EXPECT_EQ(older->updates, 2);  // the fix and the heading
    EXPECT_TRUE(screen->updates.empty());

    // Nothing is reported once the display is off.
    view->setShowsUserLocation(false);
    advance(2);
    EXPECT_EQ(older->updates, 2);
}

TEST_F(UserLocationTest, HeadingTrackingTurnsTheMapForTheDeviceOrientation) {
    auto turn = [&](UIDeviceOrientation o, CGRect frame) {
        UIDevice::currentDevice()->setOrientation(o);
        view->setFrame(frame);
        view->baseMapView()->layoutIfNeeded();
        frames(2);
    };
    turn(UIDeviceOrientationLandscapeLeft, CGRectMake(0, 0, 480, 320));
    EXPECT_DOUBLE_EQ(view->headingOffset(), 90);
    turn(UIDeviceOrientationFaceUp, CGRectMake(0, 0, 320, 480));
    EXPECT_DOUBLE_EQ(view->headingOffset(), 90);
    turn(UIDeviceOrientationLandscapeRight, CGRectMake(0, 0, 480, 320));
    EXPECT_DOUBLE_EQ(view->headingOffset(), -90);
    turn(UIDeviceOrientationPortraitUpsideDown, CGRectMake(0, 0, 320, 480));
    EXPECT_DOUBLE_EQ(view->headingOffset(), 180);

    // Each heading turns the map by it and the offset (updateUserLocationAngle).
    view->setUserTrackingMode(2);
    ASSERT_EQ(view->userTrackingMode(), 2);
    advance(2.6);
    frames(20);
    EXPECT_NEAR(view->rotationDegree(), 87.5 + 180, 1e-3);

    auto app = UIApplication::sharedApplication();
    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeLeft);
    EXPECT_EQ(view->locationManager()->headingOrientation(),
              static_cast<CLDeviceOrientation>(UIInterfaceOrientationLandscapeLeft));
    app->setStatusBarOrientation(UIInterfaceOrientationUnknown);
    EXPECT_EQ(view->locationManager()->headingOrientation(), CLDeviceOrientationPortrait);
}

const CGColor kDot{24 / 255.0, 137 / 255.0, 234 / 255.0, 1};

class UserLocationViewTest : public MapViewFixture {
  protected:
    void SetUp() override {
        useLocationFile("0.5 fix 39.90872 116.39750 10\n5 heading 90\n");
        openHostedView();
    }
};

TEST_F(UserLocationViewTest, TheDotPulsesOnTheFixAndHeadingTrackingShowsTheCone) {
    using testsupport::colourNear, testsupport::screenPixel, testsupport::kWhite;
    view->setShowsUserLocation(true);
    for (int i = 0; i < 100 && !view->viewForAnnotation(view->userLocation()); ++i) advance(0.05);
    const auto marker = std::dynamic_pointer_cast<VMUserLocationView>(
        view->viewForAnnotation(view->userLocation()));
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(marker->bounds().size, (CGSize{25, 25}));
    const auto at = [&] {
        return view->convertCoordinateToPointToView(view->userLocation()->coordinate(), nullptr);
    };
    CGPoint p = at();
    auto image = host->compose();
    EXPECT_TRUE(colourNear(screenPixel(image, p.x + 8, p.y), kWhite, 0.03));
    advance(1.5);
    image = host->compose();
    EXPECT_TRUE(colourNear(screenPixel(image, p.x, p.y), kDot, 0.03));
    EXPECT_TRUE(colourNear(screenPixel(image, p.x + 8, p.y), kDot, 0.03));
    advance(1.5);
    image = host->compose();
    EXPECT_TRUE(colourNear(screenPixel(image, p.x + 8, p.y), kWhite, 0.03));

    EXPECT_EQ(view->angleIndicator(), nullptr);
    view->setUserTrackingMode(2);
    ASSERT_EQ(view->userTrackingMode(), 2);
    advance(2.5);
    frames(20);
    ASSERT_NE(view->angleIndicator(), nullptr);
    EXPECT_EQ(view->angleIndicator()->superview(), marker);
    EXPECT_EQ(marker->subviews().front(), view->angleIndicator());
    p = at();
    image = host->compose();
    const auto tinted = [](CGColor c) { return c.b > c.r + 0.1; };
    const auto around = [&](CGFloat dx, CGFloat dy) {
        return screenPixel(image, p.x + dx, p.y + dy);
    };
    EXPECT_TRUE(tinted(around(0, -40)));
    EXPECT_FALSE(tinted(around(0, 40)));
    EXPECT_FALSE(tinted(around(-40 * std::sin(M_PI / 3), -40 * std::cos(M_PI / 3))));

    view->setUserTrackingMode(1);
    EXPECT_EQ(view->angleIndicator(), nullptr);
    EXPECT_EQ(marker->subviews().size(), 0u);
}

}  // namespace
