#include "MapViewFixture.h"
#include "ScreenPixels.h"
#include "VMPolygonView.h"
#include "VMPolylineView.h"

namespace {

using testsupport::colourNear;

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

// Squares a quarter of the screen across about the centre of the view at zoom 14.
class MapViewOverlayTest : public MapViewFixture {
  protected:
    void SetUp() override {
        openHostedView();
        if (!view) return;
        view->setDelegate(painter);
        view->zoomToLevel(14);
        frames(1);
        const VMMapRect visible = view->visibleMapRect();
        side = visible.size.width / 4;
        c = {visible.origin.x + visible.size.width / 2, visible.origin.y + visible.size.height / 2};
    }
    // A square `dx` map points east of the centre, painted in `colour` by the delegate.
    VMOverlayRef square(UIColorRef colour, double dx) {
        const VMMapPoint p[] = {{c.x - side / 2 + dx, c.y - side / 2},
                                {c.x + side / 2 + dx, c.y - side / 2},
                                {c.x + side / 2 + dx, c.y + side / 2},
                                {c.x - side / 2 + dx, c.y + side / 2}};
        VMOverlayRef polygon = VMPolygon::polygonWithPoints(p);
        painter->colours.emplace_back(polygon, std::move(colour));
        return polygon;
    }
    // The engine's pixel `dx` map points east of the square's centre.
    CGColor pixelAt(double dx) {
        const CGPoint at = view->pointForMapPoint({c.x + dx, c.y});
        return view->baseMapView()->layer()->contents()->pixelAt(int(at.x * 2), int(at.y * 2));
    }

    std::shared_ptr<Painter> painter = std::make_shared<Painter>();
    double side = 0;
    VMMapPoint c{};
};

// A red square drawn in the engine's frame stays on its map points when the camera moves on to
// another reference grid; moved without animation, the map is drawn by the next refresh.
TEST_F(MapViewOverlayTest, OverlaysDrawWhereTheirMapPointsAre) {
    const auto red = square(UIColor::redColor(), 0);
    view->overlayContainer()->insertOverlay(red, painter->mapViewViewForOverlay(*view, red), 0, 1);
    frames(1);
    EXPECT_TRUE(colourNear(pixelAt(0), testsupport::kRed, 0.01));
    EXPECT_FALSE(colourNear(pixelAt(side), testsupport::kRed, 0.1));

    // A third of the screen to the east: the centre lies in another grid of the zoom level.
    ASSERT_TRUE(view->annotationFloor()->subviews().empty());
    const std::int32_t originX = view->overlayViewState()->originX;
    view->setCenterCoordinate(coordinateForMapPoint({c.x + side * 4 / 3, c.y}));
    frames(1);
    ASSERT_NE(view->overlayViewState()->originX, originX);
    EXPECT_TRUE(colourNear(pixelAt(0), testsupport::kRed, 0.01));
    EXPECT_FALSE(colourNear(pixelAt(side), testsupport::kRed, 0.1));
}

TEST_F(MapViewOverlayTest, LevelsAndOrderDecideWhatShowsWhereOverlaysOverlap) {
    const auto red = square(UIColor::redColor(), 0);
    const auto blue = square(UIColor::blueColor(), side / 4);
    view->addOverlay(red);
    view->addOverlay(blue);
    frames(1);
    EXPECT_TRUE(colourNear(pixelAt(side / 8), testsupport::kBlue, 0.01));
    EXPECT_TRUE(colourNear(pixelAt(-3 * side / 8), testsupport::kRed, 0.01));

    view->exchangeOverlay(red, blue);
    frames(1);
    EXPECT_TRUE(colourNear(pixelAt(side / 8), testsupport::kRed, 0.01));

    const auto green = square(UIColor::greenColor(), -side / 4);
    view->insertOverlayBelowOverlay(green, blue);
    frames(1);
    EXPECT_TRUE(colourNear(pixelAt(-side / 8), testsupport::kRed, 0.01));
    EXPECT_TRUE(colourNear(pixelAt(-side / 2 - side / 8), testsupport::kGreen, 0.01));

    // Added last, but in level 0: under every other overlay.
    const auto black = square(UIColor::blackColor(), 0);
    view->addOverlay(black, 0);
    frames(1);
    EXPECT_TRUE(colourNear(pixelAt(side / 8), testsupport::kRed, 0.01));
    EXPECT_EQ(view->overlays(), (std::vector<VMOverlayRef>{black, green, blue, red}));
    EXPECT_EQ(painter->notices, 4);
    view->removeOverlays({red, blue, green});
    frames(1);
    EXPECT_TRUE(colourNear(pixelAt(side / 8), testsupport::kBlack, 0.01));
}

// Each map view draws in a GL context of its own: a dashed line in the second map is as dashed as
// in the first, and one map going leaves the other's textures alone.
TEST_F(MapViewOverlayTest, TwoMapViewsDrawDashedLinesWithTheirOwnTextures) {
    auto second = VMMapView::create(CGRectMake(0, 0, 320, 480));
    ASSERT_NE(second, nullptr);
    second->zoomToLevel(14);
    second->baseMapView()->layoutIfNeeded();
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
    const auto dashed = [](VMMapView& map) {
        const auto& contents = map.baseMapView()->layer()->contents();
        int red = 0;
        for (int x = 120; x < 520; ++x) {
            const CGColor c = contents->pixelAt(x, 480);
            red += c.r > 0.7 && c.g < 0.35 && c.b < 0.35;
        }
        return red > 400 * 0.2 && red < 400 * 0.8;
    };
    EXPECT_TRUE(dashed(*view));
    EXPECT_TRUE(dashed(*second));
    second.reset();
    frames(1);
    EXPECT_TRUE(dashed(*view));
}

}  // namespace
