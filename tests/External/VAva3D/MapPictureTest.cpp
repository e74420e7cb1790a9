#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <tuple>
#include <vector>

#include "CoreLocation/CLLocationManager.h"
#include "CoreLocation/CLLocationSource.h"
#include "Foundation/NSPathUtilities.h"
#include "GridFeatureBytes.h"
#include "ManualClock.h"
#include "MapDataServerFixture.h"
#include "QuartzCore/CADisplayLink.h"
#include "ScreenPixels.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIColor.h"
#include "VMMapView.h"
#include "VMMapViewSnapshot.h"
#include "VMPinAnnotationView.h"
#include "VMPointAnnotation.h"
#include "VMPolylineView.h"
#include "VMUserLocation.h"
#include "host/HeadlessHost.h"
#include "vmap_core/MapEngineInternal.h"

namespace {

const CLLocationCoordinate2D kHere{39.9087, 116.3975};
const CGColor kRoute{0.1, 0.45, 0.95, 1};

constexpr MapDataType kPictureTraffic = 4;

std::pair<std::int32_t, std::int32_t> planePoint(CLLocationCoordinate2D c) {
    std::int32_t x = 0, y = 0;
    mapEngineCoordinateToMapPoint(&x, &y, c.longitude, c.latitude);
    return {x, y};
}

// A grid body as the map data server sends it, with street names or traffic bands as its data.
std::vector<std::uint8_t> featureBody(const std::string& grid, MapDataType type,
                                      CLLocationCoordinate2D here) {
    testsupport::GridFeatureBytes features;
    if (type == kPictureTraffic) {
        // A street west to east through here, congested in its middle part.
        const double lat = here.latitude + 0.0012;
        const std::tuple<double, double, std::uint8_t> legs[] = {
            {-0.02, -0.004, 0}, {-0.004, 0.004, 2}, {0.004, 0.02, 1}};
        for (const auto& [from, to, state] : legs) {
            features.segment(state, {planePoint({lat, here.longitude + from}),
                                     planePoint({lat, here.longitude + to})});
        }
    } else {
        const std::pair<CLLocationCoordinate2D, std::u16string> labels[] = {
            {{here.latitude + 0.0022, here.longitude - 0.0035}, u"建国门内大街"},
            {{here.latitude - 0.009, here.longitude - 0.003}, u"东单北大街"},
            {{here.latitude + 0.008, here.longitude + 0.004}, u"朝阳门"},
            {{here.latitude - 0.0075, here.longitude + 0.0035}, u"CBD"}};
        for (const auto& [at, name] : labels) {
            const auto [x, y] = planePoint(at);
            features.point(x, y, name, false);
        }
    }
    std::vector<std::uint8_t> body(4, 0);
    body.push_back(static_cast<std::uint8_t>(grid.size()));
    body.insert(body.end(), grid.begin(), grid.end());
    const auto data = type == kPictureTraffic ? features.traffic() : features.bytes();
    body.insert(body.end(), data.begin(), data.end());
    return body;
}

// Pins with callouts and a blue route, as an application would draw them.
struct PictureScreen : VMMapViewDelegate {
    std::shared_ptr<VMAnnotationView> mapViewViewForAnnotation(
        VMMapView&, const std::shared_ptr<VMAnnotation>& annotation) override {
        if (std::dynamic_pointer_cast<VMUserLocation>(annotation)) return nullptr;
        auto pin = VMPinAnnotationView::initWithAnnotation(annotation, "site");
        pin->setCanShowCallout(true);
        return pin;
    }
    VMOverlayViewRef mapViewViewForOverlay(VMMapView&, const VMOverlayRef& overlay) override {
        auto line =
            VMPolylineView::initWithPolyline(std::dynamic_pointer_cast<VMPolyline>(overlay));
        line->setStrokeColor(UIColor::colorWithRed(kRoute.r, kRoute.g, kRoute.b, 1));
        line->setLineWidth(6);
        return line;
    }
};

class MapPictureTest : public testsupport::ManualClockTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(local.start());
        CLLocationManager::setSource(CLLocationSource::fixed(kHere));
    }
    void TearDown() override {
        view.reset();
        CLLocationManager::setSource(nullptr);
        UIApplication::sharedApplication()->reset();
    }
    void frames(int n) {
        for (int i = 0; i < n; ++i) advance(CADisplayLink::kRefreshPeriod);
    }

    testsupport::TempDir home;
    LocalMapDataServer local;
    std::shared_ptr<VMMapView> view;
};

// Everything the kit draws in one picture: the devserver's grids with their labels, traffic, a
// route, pins with an open callout, the user location, the compass, the scale bar and the logo.
// With BRISFOLD_SCREENSHOT_DIR set it is written there as map-view.png (the picture in docs/).
TEST_F(MapPictureTest, GridsTrafficRoutePinsCalloutUserLocationAndControlsInOnePicture) {
    NSSetHomeDirectory(home.path());
    UIApplication::sharedApplication()->reset();
    HeadlessHost host;
    view = VMMapView::create(CGRectMake(0, 0, 320, 568));
    if (!view) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
    host.window()->addSubview(view);
    const auto screen = std::make_shared<PictureScreen>();
    view->setDelegate(screen);
    // Drawn once and laid out first: the projection holds only from the next frame on.
    view->layer()->setNeedsDisplay();
    view->layer()->displayIfNeeded();
    view->baseMapView()->layoutIfNeeded();
    frames(2);
    ASSERT_EQ(view->projectionState(), 2);
    view->zoomToLevel(15.5);
    view->setShowTraffic(true);
    view->setShowsUserLocation(true);
    view->setShowsCompass(true);
    view->setShowsScale(true);

    const CLLocationCoordinate2D depot{kHere.latitude + 0.006, kHere.longitude - 0.004};
    const CLLocationCoordinate2D site{kHere.latitude - 0.005, kHere.longitude + 0.003};
    const std::vector<CLLocationCoordinate2D> way{
        kHere, {kHere.latitude, kHere.longitude + 0.003}, site};
    view->addOverlay(VMPolyline::polylineWithCoordinates(way));
    auto order = VMPointAnnotation::create(site);
    order->setTitle("UPS电源巡检");
    order->setSubtitle("朝阳区建国路88号");
    auto store = VMPointAnnotation::create(depot);
    store->setTitle("备件库");
    view->addAnnotations({order, store});
    frames(2);
    // Turned and centred once laid out, between the engineer and the site.
    view->setRotationDegree(25);
    frames(2);
    view->setCenterCoordinate({kHere.latitude - 0.001, kHere.longitude + 0.001});
    frames(2);
    view->selectAnnotation(order, false);

    MapEngine* engine = view->render()->mapEngine();
    const double deadline = Clock::realNow() + testsupport::kPatience;
    const auto loaded = [&] {
        return allShownGridsHeld(engine) && allShownGridsHeld(engine, kPictureTraffic);
    };
    while (!loaded() && Clock::realNow() < deadline) {
        frames(1);
        mapEngineWaitForStores(engine, std::chrono::steady_clock::now() + std::chrono::seconds(1));
    }
    ASSERT_TRUE(loaded());
    // The devserver's grids carry no names or traffic: one grid of each gets them here.
    for (const MapDataType type : {0, kPictureTraffic}) {
        const auto body = featureBody(shownGrids(engine, type).front().first, type, kHere);
        ASSERT_EQ(
            mapEnginePutGridData(engine, type, body.data(), static_cast<std::int32_t>(body.size())),
            1);
    }
    ASSERT_TRUE(mapEngineWaitForStores(
        engine, std::chrono::steady_clock::now() + std::chrono::seconds(20)));
    // The labels' glyphs are asked at a frame and come on the engine's worker.
    for (int i = 0; i < 10; ++i) {
        frames(3);
        ASSERT_TRUE(mapEngineWaitForRequests(
            engine, std::chrono::steady_clock::now() + std::chrono::seconds(20)));
    }

    ASSERT_EQ(view->selectedAnnotation(), order);
    EXPECT_TRUE(view->isUserLocationVisible());
    // The view as the screen shows it, its controls included.
    const auto image = takeSnapshotOnView(view.get(), view->bounds().size, nullptr);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->CGImage()->width(), 640);
    // The route shows in its blue beside the pins, the dot and the callout.
    int blue = 0;
    for (int y = 0; y < image->CGImage()->height(); ++y) {
        for (int x = 0; x < image->CGImage()->width(); ++x) {
            blue += testsupport::coloursClose(image->CGImage()->pixelAt(x, y), kRoute, 0.1);
        }
    }
    EXPECT_GT(blue, 400);

    if (const char* dir = std::getenv("BRISFOLD_SCREENSHOT_DIR")) {
        EXPECT_TRUE(image->CGImage()->writePNG(std::string(dir) + "/map-view.png"));
    }
}

}  // namespace
