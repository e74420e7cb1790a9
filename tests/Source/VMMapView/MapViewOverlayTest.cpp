#include <cmath>

#include "MapViewFixture.h"
#include "ScreenPixels.h"
#include "VMPolygonView.h"

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
