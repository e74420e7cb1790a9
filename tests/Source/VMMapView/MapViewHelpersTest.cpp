#include <gtest/gtest.h>

#include <cmath>

#include "MapViewFixture.h"
#include "ScreenPixels.h"
#include "VMMapStatus.h"
#include "VMPinAnnotationView.h"
#include "VMPointAnnotation.h"
#include "VMPolygonView.h"
#include "host/HeadlessHost.h"

namespace {

class MapViewHelpersTest : public MapViewFixture {
  protected:
    void SetUp() override {
        view = makeMapView(CGRectMake(0, 0, 320, 480));
        if (!view) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
        host = std::make_unique<HeadlessHost>();
        host->window()->addSubview(view);
        show();
        view->zoomToLevel(14);
        frames(1);
    }
    std::shared_ptr<VMPointAnnotation> pinAt(CGPoint p) {
        auto a = VMPointAnnotation::create(coordinateForMapPoint(view->mapPointForPoint(p)));
        view->addAnnotation(a);
        return a;
    }
    std::unique_ptr<HeadlessHost> host;
};

TEST_F(MapViewHelpersTest, SelectionListsAndTheAreasAnnotationsShowIn) {
    EXPECT_FALSE(view->selectedAnnotations().has_value());
    view->setSelectedAnnotations({});
    EXPECT_EQ(view->selectedAnnotation(), nullptr);
    const auto a = pinAt({160, 240});
    const auto b = pinAt({100, 100});
    view->setSelectedAnnotations({b, a});
    ASSERT_TRUE(view->selectedAnnotations().has_value());
    EXPECT_EQ(*view->selectedAnnotations(), std::vector<VMMapView::VMAnnotationRef>{b});
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
    view->setCenterCoordinate(
        coordinateForMapPoint(view->mapPointForPoint({160 + 320 * 1.5, 240})));
    EXPECT_EQ(view->viewForAnnotation(a), shown);
    EXPECT_FALSE(shown->visible());
    const auto loose = VMPinAnnotationView::initWithAnnotation(a, "loose");
    EXPECT_FALSE(loose->visible());
}

// Moved without animation, the map is drawn at once (forceRefreshBaseMapView) even without
// annotation views.
TEST_F(MapViewHelpersTest, CameraChangeDrawsAtOnceWithoutAnnotationViews) {
    const VMMapRect visible = view->visibleMapRect();
    const double side = visible.size.width / 8;
    const VMMapPoint c{visible.origin.x + visible.size.width / 2,
                       visible.origin.y + visible.size.height / 2};
    const VMMapPoint corners[] = {{c.x - side, c.y - side},
                                  {c.x + side, c.y - side},
                                  {c.x + side, c.y + side},
                                  {c.x - side, c.y + side}};
    const auto square = VMPolygon::polygonWithPoints(corners);
    auto drawable = VMPolygonView::initWithPolygon(square);
    drawable->setFillColor(UIColor::redColor());
    view->overlayContainer()->insertOverlay(square, drawable, 0, 1);
    frames(1);
    ASSERT_TRUE(view->annotationFloor()->subviews().empty());
    const auto pixelAt = [&](CGPoint at) {
        return view->baseMapView()->layer()->contents()->pixelAt(int(at.x * 2), int(at.y * 2));
    };
    const CGColor red{1, 0, 0, 1};
    ASSERT_TRUE(testsupport::colourNear(pixelAt({160, 240}), red, 0.01));
    view->setCenterCoordinate(coordinateForMapPoint({c.x + visible.size.width / 3, c.y}));
    EXPECT_TRUE(testsupport::colourNear(pixelAt(view->pointForMapPoint(c)), red, 0.01));
    EXPECT_FALSE(testsupport::colourNear(pixelAt({160, 240}), red, 0.1));
}

TEST_F(MapViewHelpersTest, NoNegativeDragStateAndTheCompassDissolves) {
    const auto a = pinAt({160, 240});
    const auto pin = view->viewForAnnotation(a);
    const CLLocationCoordinate2D where = a->coordinate();
    pin->setCenter({10, 10});
    pin->setDragState(-1);
    EXPECT_EQ(pin->dragState(), 0);
    EXPECT_EQ(a->coordinate().latitude, where.latitude);

    const auto compass = view->compassView();
    view->setShowsCompass(true);
    ASSERT_FALSE(compass->isHidden());
    view->hideCompassView();
    EXPECT_TRUE(compass->isHidden());
    const CFTimeInterval start = CACurrentMediaTime();
    advance(0.125);
    const auto midway = compass->layer()->presentationValues(CACurrentMediaTime());
    EXPECT_FALSE(midway.hidden);
    EXPECT_NEAR(midway.opacity, 0.5, 0.2);
    advance(0.2);
    EXPECT_GT(CACurrentMediaTime() - start, 0.25);
    EXPECT_TRUE(compass->layer()->presentationValues(CACurrentMediaTime()).hidden);
}

}  // namespace

TEST_F(MapViewHelpersTest, PixelTransformsAndConversions) {
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
