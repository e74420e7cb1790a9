#include <limits>
#include <vector>

#include "MapViewFixture.h"
#include "ScreenPixels.h"
#include "UIKit/UIGraphicsImageRenderer.h"
#include "UIKit/UIImage.h"
#include "VMCompassView.h"
#include "VMMapStatus.h"
#include "VMPinAnnotationView.h"
#include "VMPointAnnotation.h"
#include "VMScaleView.h"

namespace {

using namespace testsupport;

bool reddish(CGColor c) { return c.r > 0.8 && c.g < 0.3 && c.b < 0.3; }

// What the scale bar shows for an input: its segments' length and number, labels and unit.
struct ScaleCase {
    double input;
    double length;
    int count;
    std::vector<std::string> labels;
    std::string unit;
};

TEST(ScaleView, SegmentsAreRoundLengthsWithinTheBudget) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<ScaleCase> cases{
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
    for (const ScaleCase& c : cases) {
        SCOPED_TRACE(c.input);
        auto scale = VMScaleView::create();
        scale->setDistanceInMeters(c.input);
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

// Older systems draw the outlined legend through the context, newer ones as attributed text:
// the same picture either way.
TEST(ScaleView, BothLegendDrawingsGiveTheSamePicture) {
    auto scale = VMScaleView::create();
    scale->setDistanceInMeters(2);
    scale->setUseRegularStyle(false);
    const auto units = scale->unitsView();
    ASSERT_TRUE(units->useLightText());
    const auto draw = [&](void (VMScaleUnitsView::*body)(CGRect)) {
        return UIGraphicsImageRenderer(units->bounds().size, false, 2)
            .image([&](CGContextRef) { ((*units).*body)(units->bounds()); })
            ->CGImage();
    };
    const CGImageRef older = draw(&VMScaleUnitsView::drawRectFor6);
    const CGImageRef newer = draw(&VMScaleUnitsView::drawRectFor7);
    const CGImageRef chosen = draw(&VMScaleUnitsView::drawRect);
    for (const CGImageRef& other : {newer, chosen}) {
        ASSERT_EQ(older->width(), other->width());
        ASSERT_EQ(older->height(), other->height());
    }
    int outline = 0, fill = 0, differ = 0;
    for (int y = 0; y < older->height(); ++y) {
        for (int x = 0; x < older->width(); ++x) {
            const CGColor a = older->pixelAt(x, y);
            outline += coloursClose(a, kBlack, 0.05);
            fill += coloursClose(a, kWhite, 0.05);
            differ += !coloursClose(a, newer->pixelAt(x, y), 0.001) ||
                      !coloursClose(a, chosen->pixelAt(x, y), 0.001);
        }
    }
    EXPECT_GT(outline, 20);
    EXPECT_GT(fill, 20);
    EXPECT_EQ(differ, 0);
}

class MapControlsTest : public MapViewFixture {
  protected:
    void SetUp() override { openHostedView(); }
    std::shared_ptr<VMPointAnnotation> pinAt(CGPoint p) {
        auto a = VMPointAnnotation::create(coordinateAt(p));
        view->addAnnotation(a);
        return a;
    }
};

TEST_F(MapControlsTest, TheCompassSitsInTheCornerFollowsTheRotationAndATapTurnsNorth) {
    const auto compass = view->compassView();
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
    useLocationFile("0 fix 39.90872 116.39750 10\n0.1 heading 90\n");
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

    // Hidden, it dissolves over a quarter of a second.
    ASSERT_FALSE(compass->isHidden());
    view->hideCompassView();
    EXPECT_TRUE(compass->isHidden());
    advance(0.125);
    const auto midway = compass->layer()->presentationValues(CACurrentMediaTime());
    EXPECT_FALSE(midway.hidden);
    EXPECT_NEAR(midway.opacity, 0.5, 0.2);
    advance(0.2);
    EXPECT_TRUE(compass->layer()->presentationValues(CACurrentMediaTime()).hidden);
}

TEST_F(MapControlsTest, TheScaleBarShowsTheGroundResolutionAtTheCentre) {
    view->setCenterCoordinate({0, 0});
    for (const ScaleCase& c : std::vector<ScaleCase>{{16, 52.33, 2, {"0", "250", "500"}, "米"},
                                                     {19, 41.86, 3, {"0", "25", "50", "75"}, "米"},
                                                     {10, 81.77, 1, {"0", "25"}, "千米"}}) {
        SCOPED_TRACE(c.input);
        view->zoomToLevel(c.input);
        const auto scale = view->scaleView();
        EXPECT_NEAR(scale->segmentLength(), c.length, 0.01);
        EXPECT_EQ(scale->segmentNumber(), c.count);
        EXPECT_EQ(scale->unitsView()->strings(), c.labels);
        EXPECT_EQ(scale->unitsView()->unitsString(), c.unit);
        const CGRect strip =
            scale->outlineView()->convertRectToView(scale->outlineView()->bounds(), view.get());
        EXPECT_TRUE(pointNear(strip.origin, CGPoint{10, 22}, 1e-9));
        EXPECT_NEAR(strip.size.width, c.length * c.count, 0.02);
        EXPECT_NEAR(view->metersPerPointForZoomLevel(c.input) * scale->segmentLength(),
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
        pins.push_back(VMPointAnnotation::create({lat, lon}));
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
    EXPECT_TRUE(coordinateNear(view->centerCoordinate(), {39.99, 116.41}, 1e-5));
    view->showAnnotations({}, false);
    EXPECT_NEAR(view->centerCoordinate().latitude, 39.99, 1e-5);
}

TEST_F(MapControlsTest, SelectionListsAndTheAreasAnnotationsShowIn) {
    view->zoomToLevel(14);
    frames(1);
    EXPECT_FALSE(view->selectedAnnotations().has_value());
    view->setSelectedAnnotations({});
    EXPECT_EQ(view->selectedAnnotation(), nullptr);
    const auto a = pinAt({160, 240});
    const auto b = pinAt({100, 100});
    view->setSelectedAnnotations({b, a});
    ASSERT_TRUE(view->selectedAnnotations().has_value());
    EXPECT_EQ(*view->selectedAnnotations(), std::vector<VMAnnotationRef>{b});
    EXPECT_TRUE(view->viewForAnnotation(b)->isSelected());

    EXPECT_EQ(view->annotationVisibleRect(), view->bounds());
    const VMMapRect valid = view->annotationValidRect();
    const VMMapRect grown = view->mapRectForRect(CGRectInset(view->bounds(), -160, -160));
    EXPECT_NEAR(valid.origin.x, grown.origin.x, 1e-6);
    EXPECT_NEAR(valid.size.width, grown.size.width, 1e-6);
    EXPECT_GT(valid.size.width, view->visibleMapRect().size.width * 1.9);

    const auto shown = view->viewForAnnotation(a);
    EXPECT_TRUE(shown->visible());
    // Selected, it keeps its view when panned far off; that view is not seen.
    view->selectAnnotation(a, false);
    view->setCenterCoordinate(coordinateAt({160 + 320 * 1.5, 240}));
    EXPECT_EQ(view->viewForAnnotation(a), shown);
    frames(1);  // views take their places with the frame
    EXPECT_FALSE(shown->visible());
    EXPECT_FALSE(VMPinAnnotationView::initWithAnnotation(a, "loose")->visible());

    // No negative drag state.
    const CLLocationCoordinate2D where = a->coordinate();
    shown->setCenter({10, 10});
    shown->setDragState(-1);
    EXPECT_EQ(shown->dragState(), 0);
    EXPECT_EQ(a->coordinate().latitude, where.latitude);
}

TEST_F(MapControlsTest, PixelTransformsAndConversions) {
    view->zoomToLevel(14);
    frames(1);
    EXPECT_DOUBLE_EQ(view->pixelTransform().a, 2);
    EXPECT_DOUBLE_EQ(view->pixelTransform().d, 2);
    EXPECT_NEAR(view->level20Transform().a, std::exp2(20 - view->zoomLevel()), 1e-6);
    EXPECT_EQ(view->enginePointForPoint({10, 15}), CGPointMake(20, 30));
    EXPECT_EQ(view->pointForEnginePoint({20, 30}), CGPointMake(10, 15));
    EXPECT_DOUBLE_EQ(VMMapView::mapSizePerPixelInZoomScale(std::exp2(14)), 64);

    // The rect of the whole view around the current centre and zoom is the visible one.
    const VMMapPoint before = view->currentCenter();
    const VMMapRect same = view->mapRectForRect(view->bounds(), view->centerCoordinate(), 14);
    const VMMapRect visible = view->mapRectForRect(view->bounds());
    EXPECT_NEAR(same.origin.x, visible.origin.x, 2);
    EXPECT_NEAR(same.size.width, visible.size.width, 2);
    // One zoom level out, a rect half the view's size covers as much map as the whole view.
    const VMMapRect half =
        view->mapRectForRect(CGRectMake(0, 0, 160, 240), view->centerCoordinate(), 13);
    EXPECT_NEAR(half.size.width, visible.size.width, 4);
    EXPECT_NEAR(half.origin.x, visible.origin.x, 4);
    EXPECT_EQ(view->currentCenter().x, before.x);
    EXPECT_DOUBLE_EQ(view->zoomLevel(), 14);

    const VMMapStatus status =
        VMMapStatus::statusWithCenterCoordinate({30, 120}, 12, 45, 20, {0.5, 0.7});
    EXPECT_DOUBLE_EQ(status.centerCoordinate.latitude, 30);
    EXPECT_DOUBLE_EQ(status.cameraDegree, 20);
    EXPECT_EQ(status.screenAnchor, CGPointMake(0.5, 0.7));
}

}  // namespace
