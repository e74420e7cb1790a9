#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "CoreLocation/CLLocationManager.h"
#include "CoreLocation/CLLocationSource.h"
#include "MapViewFixture.h"
#include "ScreenPixels.h"
#include "VMCompassView.h"
#include "VMMapView.h"
#include "VMScaleView.h"
#include "host/HeadlessHost.h"

namespace {

using namespace testsupport;

bool reddish(CGColor c) { return c.r > 0.8 && c.g < 0.3 && c.b < 0.3; }

TEST(ScaleView, SegmentsAreRoundLengthsWithinTheBudget) {
    struct Case {
        double pointsPerMeter;
        double length;
        int count;
        std::vector<std::string> labels;
        std::string unit;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Case> cases{
        {41.0 / 5, 41, 3, {"0", "5", "10", "15"}, "米"},
        {2, 50, 3, {"0", "25", "50", "75"}, "米"},
        {0.05, 50, 3, {"0", "1000", "2000", "3000"}, "米"},
        {0.02, 50, 3, {"0", "2.5", "5", "7.5"}, "千米"},
        {40, 200, 0, {"0"}, "米"},
        {0, 0, 0, {"0"}, "米"},
        {-3, 0, 0, {"0"}, "米"},
        {nan, 0, 0, {"0"}, "米"},
        {inf, 0, 0, {"0"}, "米"},
        {1e-320, 0, 0, {"0"}, "米"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pointsPerMeter);
        auto scale = VMScaleView::create();
        scale->setDistanceInMeters(c.pointsPerMeter);
        EXPECT_NEAR(scale->segmentLength(), c.length, 1e-9);
        EXPECT_EQ(scale->segmentNumber(), c.count);
        EXPECT_EQ(scale->unitsView()->strings(), c.labels);
        EXPECT_EQ(scale->unitsView()->unitsString(), c.unit);
        EXPECT_NEAR(scale->outlineView()->frame().size.width, c.length * c.count, 1e-9);
        const auto& segments = scale->outlineView()->subviews();
        ASSERT_EQ(segments.size(), 3u);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(segments[i]->isHidden(), i >= c.count);
    }
    for (auto [value, text] : std::vector<std::pair<double, std::string>>{
             {2.5, "2.5"}, {5, "5"}, {0.25, "0.25"}, {1.05, "1.05"}, {250, "250"}, {0, "0"}})
        EXPECT_EQ(VMScaleUnitsView::getFormattedString(value), text);
}

struct Pin : VMAnnotation {
    explicit Pin(CLLocationCoordinate2D c) : at(c) {}
    CLLocationCoordinate2D coordinate() const override { return at; }
    CLLocationCoordinate2D at;
};

class MapControlsTest : public MapViewFixture {
  protected:
    void SetUp() override {
        view = makeMapView(CGRectMake(0, 0, 320, 480));
        if (!view) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
        host = std::make_unique<HeadlessHost>();
        host->window()->addSubview(view);
        show();
    }
    std::unique_ptr<HeadlessHost> host;
};

TEST_F(MapControlsTest, TheCompassSitsInTheCornerFollowsTheRotationAndATapTurnsNorth) {
    const auto compass = view->compassView();
    EXPECT_EQ(compass->bounds().size, (CGSize{36, 36}));
    EXPECT_EQ(compass->center(), CGPointMake(320 - 23, 28));
    EXPECT_EQ(view->compassSize(), (CGSize{36, 36}));

    view->setShowsCompass(false);
    EXPECT_TRUE(compass->isHidden());
    view->setRotationDegree(30);
    EXPECT_FLOAT_EQ(compass->degree(), 0);
    view->setShowsCompass(true);
    EXPECT_FALSE(compass->isHidden());
    EXPECT_FLOAT_EQ(compass->degree(), 30);
    EXPECT_TRUE(compass->rotateLayer()->animationKeys().empty());

    view->updateCompassViewByDegree(std::numeric_limits<float>::infinity(), false, 0);
    EXPECT_FLOAT_EQ(compass->degree(), 30);

    view->setRotationDegree(90);
    ASSERT_NEAR(view->rotationDegree(), 90, 1e-4);
    EXPECT_FLOAT_EQ(compass->degree(), 90);
    auto image = host->compose();
    const CGPoint c = compass->center();
    EXPECT_TRUE(reddish(screenPixel(image, c.x - 3, c.y)));
    EXPECT_FALSE(reddish(screenPixel(image, c.x, c.y - 3)));

    host->tap(c);
    loop->runUntilIdle();
    // The turn starts at the next frame; 7.5 frames later it is half-way.
    frames(8);
    EXPECT_NEAR(view->rotationDegree(), 45, 3.5);
    frames(9);
    EXPECT_NEAR(std::fmod(view->rotationDegree() + 180, 360) - 180, 0, 1e-3);
    EXPECT_FLOAT_EQ(compass->degree(), 0);

    // In heading tracking a tap falls back to following.
    std::ofstream(home / "still.txt") << "0 fix 39.90872 116.39750 10\n0.1 heading 90\n";
    std::string error;
    CLLocationManager::setSource(CLLocationSource::fromFile(home / "still.txt", &error));
    struct Reset {
        ~Reset() { CLLocationManager::setSource(nullptr); }
    } reset;
    view->setUserTrackingMode(2);
    ASSERT_EQ(view->userTrackingMode(), 2);
    advance(0.5);
    frames(10);
    host->tap(c);
    loop->runUntilIdle();
    EXPECT_EQ(view->userTrackingMode(), 1);
    frames(20);
    EXPECT_NEAR(std::fmod(view->rotationDegree() + 180, 360) - 180, 0, 1e-3);
    image = host->compose();
    EXPECT_TRUE(reddish(screenPixel(image, c.x, c.y - 3)));
}

TEST_F(MapControlsTest, TheScaleBarShowsTheGroundResolutionAtTheCentre) {
    view->setCenterCoordinate({0, 0});
    struct Case {
        double zoom;
        double length;
        int count;
        std::vector<std::string> labels;
        std::string unit;
    };
    for (const Case& c : std::vector<Case>{{16, 52.33, 2, {"0", "250", "500"}, "米"},
                                           {19, 41.86, 3, {"0", "25", "50", "75"}, "米"},
                                           {10, 81.77, 1, {"0", "25"}, "千米"}}) {
        SCOPED_TRACE(c.zoom);
        view->zoomToLevel(c.zoom);
        const auto scale = view->scaleView();
        EXPECT_NEAR(scale->segmentLength(), c.length, 0.01);
        EXPECT_EQ(scale->segmentNumber(), c.count);
        EXPECT_EQ(scale->unitsView()->strings(), c.labels);
        EXPECT_EQ(scale->unitsView()->unitsString(), c.unit);
        const CGRect strip =
            scale->outlineView()->convertRectToView(scale->outlineView()->bounds(), view.get());
        EXPECT_NEAR(strip.origin.x, 10, 1e-9);
        EXPECT_NEAR(strip.origin.y, 22, 1e-9);
        EXPECT_NEAR(strip.size.width, c.length * c.count, 0.02);
        EXPECT_NEAR(view->metersPerPointForZoomLevel(c.zoom) * scale->segmentLength(),
                    scale->segmentLengthInMeters(), 1e-6);
    }

    // An animated zoom steps the value a third of the duration apart.
    const double target = view->calculateDistanceInMetersForZoomLevel(12);
    view->scaleView()->setDistanceInMeters(target / 4);
    view->zoomToLevel(12, true, 0.3);
    EXPECT_NEAR(view->scaleView()->distanceInMeters(), target / 2, 1e-9);
    advance(0.1);
    loop->runUntilIdle();
    EXPECT_NEAR(view->scaleView()->distanceInMeters(), target * 3 / 4, 1e-9);
    advance(0.1);
    loop->runUntilIdle();
    EXPECT_NEAR(view->scaleView()->distanceInMeters(), target, 1e-9);
    advance(0.2);
    frames(2);

    view->setShowsScale(false);
    EXPECT_FALSE(view->showsScale());
    view->zoomToLevel(15);
    EXPECT_NEAR(view->scaleView()->distanceInMeters(), target, 1e-9);
    view->setShowsScale(true);
    const double at15 = view->scaleView()->distanceInMeters();
    EXPECT_NEAR(at15, target * 8, target * 0.01);

    // A view without width has no resolution: the bar keeps its value.
    view->setFrame(CGRectMake(0, 0, 0, 480));
    EXPECT_EQ(view->mapPointsPerScreenPointAtZoomLevel(15), 0);
    view->updateScaleViewForZoomLevel(16, false, 0);
    EXPECT_EQ(view->scaleView()->distanceInMeters(), at15);
}

TEST_F(MapControlsTest, ShowingAnnotationsFitsThemNorthUp) {
    view->setRotationDegree(40);
    view->zoomToLevel(9);
    std::vector<std::shared_ptr<VMAnnotation>> pins;
    for (auto [lat, lon] : std::vector<std::pair<double, double>>{
             {39.90, 116.39}, {39.95, 116.45}, {39.86, 116.30}, {39.99, 116.41}, {39.92, 116.52}})
        pins.push_back(std::make_shared<Pin>(CLLocationCoordinate2D{lat, lon}));
    view->showAnnotations(pins, false);
    frames(2);
    EXPECT_NEAR(view->rotationDegree(), 0, 1e-6);
    const CGRect inner = CGRectInset(view->bounds(), 40, 40);
    for (const auto& pin : pins) {
        const CGPoint p = view->convertCoordinateToPointToView(pin->coordinate(), view.get());
        EXPECT_TRUE(CGRectContainsPoint(inner, p)) << p.x << ", " << p.y;
    }

    const double zoom = view->zoomLevel();
    view->setRotationDegree(20);
    view->showAnnotations({pins[3]}, false);
    EXPECT_NEAR(view->zoomLevel(), zoom, 1e-6);
    EXPECT_NEAR(view->rotationDegree(), 0, 1e-6);
    EXPECT_NEAR(view->centerCoordinate().latitude, 39.99, 1e-5);
    EXPECT_NEAR(view->centerCoordinate().longitude, 116.41, 1e-5);
    view->showAnnotations({}, false);
    EXPECT_NEAR(view->centerCoordinate().latitude, 39.99, 1e-5);
}

}  // namespace
