#include <cmath>

#include "MapViewFixture.h"
#include "ScreenPixels.h"
#include "VMPolygonView.h"
#include "VMPolylineView.h"

namespace {

class MapViewOverlayTest : public MapViewFixture {};

// A red square a quarter of the screen across, drawn in the engine's frame, stays on its map
// points when the camera moves on to another reference grid.
TEST_F(MapViewOverlayTest, OverlaysDrawWhereTheirMapPointsAre) {
    view = makeMapView();
    if (!view) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
    view->zoomToLevel(14);
    view->baseMapView()->layoutIfNeeded();
    frames(1);
    const VMMapRect visible = view->visibleMapRect();
    const double side = visible.size.width / 4;
    const VMMapPoint c{visible.origin.x + visible.size.width / 2,
                       visible.origin.y + visible.size.height / 2};
    const VMMapPoint corners[] = {{c.x - side / 2, c.y - side / 2},
                                  {c.x + side / 2, c.y - side / 2},
                                  {c.x + side / 2, c.y + side / 2},
                                  {c.x - side / 2, c.y + side / 2}};
    const auto square = VMPolygon::polygonWithPoints(corners);
    auto drawable = VMPolygonView::initWithPolygon(square);
    drawable->setFillColor(UIColor::redColor());
    view->overlayContainer()->insertOverlay(square, drawable, 0, 1);
    frames(1);
    const CGColor red{1, 0, 0, 1};
    const auto pixelAtMapPoint = [&](VMMapPoint p) {
        const CGPoint at = view->pointForMapPoint(p);
        const auto& contents = view->baseMapView()->layer()->contents();
        return contents->pixelAt(int(at.x * 2), int(at.y * 2));
    };
    EXPECT_TRUE(testsupport::colourNear(pixelAtMapPoint(c), red, 0.01));
    EXPECT_FALSE(testsupport::colourNear(pixelAtMapPoint({c.x + side, c.y}), red, 0.1));

    // A third of the screen to the east: the centre lies in another grid of the zoom level.
    const MapViewState* before = view->overlayViewState();
    const std::int32_t originX = before->originX;
    view->scrollToCenterPoint({c.x + visible.size.width / 3, c.y}, false, 0, 0, false, nullptr);
    frames(2);
    ASSERT_NE(view->overlayViewState()->originX, originX);
    EXPECT_TRUE(testsupport::colourNear(pixelAtMapPoint(c), red, 0.01));
    EXPECT_FALSE(testsupport::colourNear(pixelAtMapPoint({c.x + side, c.y}), red, 0.1));
}

}  // namespace

// Paints each polygon in the colour it was made with.
struct Painter : VMMapViewDelegate {
    std::vector<std::pair<VMOverlayRef, UIColorRef>> colours;
    int notices = 0;
    VMOverlayViewRef mapViewViewForOverlay(VMMapView&, const VMOverlayRef& overlay) override {
        for (const auto& [o, colour] : colours) {
            if (o != overlay) continue;
            auto drawable = VMPolygonView::initWithPolygon(std::dynamic_pointer_cast<VMPolygon>(o));
            drawable->setFillColor(colour);
            return drawable;
        }
        return nullptr;
    }
    void mapViewDidAddOverlayViews(VMMapView&, const std::vector<VMOverlayViewRef>&) override {
        ++notices;
    }
};

TEST_F(MapViewOverlayTest, LevelsAndOrderDecideWhatShowsWhereOverlaysOverlap) {
    view = makeMapView();
    if (!view) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
    auto painter = std::make_shared<Painter>();
    view->setDelegate(painter);
    view->zoomToLevel(14);
    view->baseMapView()->layoutIfNeeded();
    frames(1);
    const VMMapRect visible = view->visibleMapRect();
    const double side = visible.size.width / 4;
    const VMMapPoint c{visible.origin.x + visible.size.width / 2,
                       visible.origin.y + visible.size.height / 2};
    const auto square = [&](UIColorRef colour, double dx) {
        const VMMapPoint p[] = {{c.x - side / 2 + dx, c.y - side / 2},
                                {c.x + side / 2 + dx, c.y - side / 2},
                                {c.x + side / 2 + dx, c.y + side / 2},
                                {c.x - side / 2 + dx, c.y + side / 2}};
        VMOverlayRef polygon = VMPolygon::polygonWithPoints(p);
        painter->colours.emplace_back(polygon, std::move(colour));
        return polygon;
    };
    const auto pixelAt = [&](double dx) {
        const CGPoint at = view->pointForMapPoint({c.x + dx, c.y});
        return view->baseMapView()->layer()->contents()->pixelAt(int(at.x * 2), int(at.y * 2));
    };
    const auto red = square(UIColor::redColor(), 0);
    const auto blue = square(UIColor::blueColor(), side / 4);
    view->addOverlay(red);
    view->addOverlay(blue);
    frames(1);
    EXPECT_TRUE(testsupport::colourNear(pixelAt(side / 8), testsupport::kBlue, 0.01));
    EXPECT_TRUE(testsupport::colourNear(pixelAt(-3 * side / 8), testsupport::kRed, 0.01));

    view->exchangeOverlay(red, blue);
    frames(1);
    EXPECT_TRUE(testsupport::colourNear(pixelAt(side / 8), testsupport::kRed, 0.01));

    const auto green = square(UIColor::greenColor(), -side / 4);
    view->insertOverlayBelowOverlay(green, blue);
    frames(1);
    EXPECT_TRUE(testsupport::colourNear(pixelAt(-side / 8), testsupport::kRed, 0.01));
    EXPECT_TRUE(testsupport::colourNear(pixelAt(-side / 2 - side / 8), testsupport::kGreen, 0.01));

    // Added last, but in level 0: under every other overlay.
    const auto black = square(UIColor::blackColor(), 0);
    view->addOverlay(black, 0);
    frames(1);
    EXPECT_TRUE(testsupport::colourNear(pixelAt(side / 8), testsupport::kRed, 0.01));
    EXPECT_EQ(view->overlays(), (std::vector<VMOverlayRef>{black, green, blue, red}));
    EXPECT_EQ(painter->notices, 4);
    view->removeOverlays({red, blue, green});
    frames(1);
    EXPECT_TRUE(testsupport::colourNear(pixelAt(side / 8), testsupport::kBlack, 0.01));
}

namespace {

// Each map view draws in a GL context of its own: a dashed line in the second map is as dashed as
// in the first, and one map going leaves the other's textures alone.
TEST_F(MapViewOverlayTest, TwoMapViewsDrawDashedLinesWithTheirOwnTextures) {
    view = makeMapView();
    if (!view) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
    auto second = VMMapView::create(CGRectMake(0, 0, 320, 480));
    ASSERT_NE(second, nullptr);
    for (const auto& map : {view, second}) {
        map->zoomToLevel(14);
        map->baseMapView()->layoutIfNeeded();
    }
    frames(1);
    for (const auto& map : {view, second}) {
        const VMMapRect r = map->visibleMapRect();
        const double y = r.origin.y + r.size.height / 2;
        const VMMapPoint ends[] = {{r.origin.x, y}, {r.origin.x + r.size.width, y}};
        const auto line = VMPolyline::polylineWithPoints(ends);
        auto drawable = VMPolylineView::initWithPolyline(line);
        drawable->setStrokeColor(UIColor::redColor());
        drawable->setLineWidth(6);
        drawable->setLineDash(true);
        map->overlayContainer()->insertOverlay(line, drawable, 0, 1);
    }
    frames(1);
    // The share of red along the middle row: dashes leave gaps, a solid line none.
    const auto redShare = [](VMMapView& map) {
        const auto& contents = map.baseMapView()->layer()->contents();
        int red = 0, all = 0;
        for (int x = 120; x < 520; ++x, ++all) {
            const CGColor c = contents->pixelAt(x, 480);
            red += c.r > 0.7 && c.g < 0.35 && c.b < 0.35;
        }
        return double(red) / all;
    };
    for (const auto& map : {view, second}) {
        EXPECT_GT(redShare(*map), 0.2);
        EXPECT_LT(redShare(*map), 0.8);
    }
    second.reset();
    frames(1);
    EXPECT_GT(redShare(*view), 0.2);
    EXPECT_LT(redShare(*view), 0.8);
}

}  // namespace
