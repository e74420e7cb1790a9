#include <gtest/gtest.h>

#include "CoreGraphics/CGContext.h"
#include "LogCapture.h"
#include "OverlayGLFixture.h"
#include "VMOverlayFloor.h"
#include "VMPolygon.h"
#include "VMPolygonView.h"

namespace {

// A map view that shows the map rect (0, 0, 64, 64).
class MapStandIn : public UIView, public VMOverlayContainerViewDelegate {
  public:
    static std::shared_ptr<MapStandIn> make() {
        return finishCreate(std::shared_ptr<MapStandIn>(new MapStandIn()),
                            CGRectMake(0, 0, 64, 64));
    }
    VMMapRect visibleMapRect() override { return {{0, 0}, {64, 64}}; }
};

// Counts what the floor asks of it.
class FloorCountingView : public VMOverlayView {
  public:
    static std::shared_ptr<FloorCountingView> over(VMMapPoint from, VMMapPoint to) {
        auto view =
            finishCreate(std::shared_ptr<FloorCountingView>(new FloorCountingView()), CGRectZero);
        const VMMapPoint corners[] = {from, {to.x, from.y}, to};
        view->setOverlay(VMPolygon::polygonWithPoints(corners));
        return view;
    }
    void glRender() override { ++renders; }
    void referenceDidChange() override { ++references; }
    int renders = 0, references = 0;
};

TEST(OverlayFloorTest, DrawsWhatReachesTwiceTheVisibleAreaAndPassesReferenceChanges) {
    const auto floor = VMOverlayFloor::create(CGRectMake(0, 0, 64, 64));
    const auto near = FloorCountingView::over({90, 90}, {95, 95});
    const auto far = FloorCountingView::over({200, 200}, {210, 210});
    floor->addSubview(near);
    floor->addSubview(far);
    EXPECT_EQ(near->references, 1);
    // Without a map there is no visible area and nothing reaches it.
    EXPECT_EQ(floor->mapView(), nullptr);
    floor->drawOverlaysWithIsGroundOverlayFlag(false);
    EXPECT_EQ(near->renders, 0);

    const auto map = MapStandIn::make();
    map->addSubview(floor);
    EXPECT_EQ(floor->visibleMapRect(), (VMMapRect{{-32, -32}, {128, 128}}));
    floor->drawOverlaysWithIsGroundOverlayFlag(true);
    EXPECT_EQ(near->renders, 0);
    floor->drawOverlaysWithIsGroundOverlayFlag(false);
    EXPECT_EQ(near->renders, 1);
    EXPECT_EQ(far->renders, 0);
    floor->referenceDidChange();
    EXPECT_EQ(near->references, 2);
    EXPECT_EQ(far->references, 2);
}

TEST(InnerEdgeTest, MovesEverySideInwardsOrSaysThereIsNone) {
    const auto utility = GLESUtility::sharedUtility();
    VMPointList inner;
    const VMPointList square{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    ASSERT_TRUE(utility->getInnerPoints(inner, square, 2));
    EXPECT_EQ(inner, (VMPointList{{2, 2}, {8, 2}, {8, 8}, {2, 8}}));
    // Either way round.
    const VMPointList clockwise{{0, 0}, {0, 10}, {10, 10}, {10, 0}};
    ASSERT_TRUE(utility->getInnerPoints(inner, clockwise, 1));
    EXPECT_EQ(inner, (VMPointList{{1, 1}, {1, 9}, {9, 9}, {9, 1}}));

    testsupport::LogCapture log;
    EXPECT_FALSE(utility->getInnerPoints(inner, square, 0));
    EXPECT_FALSE(log.contains("DrawRegion"));
    EXPECT_FALSE(utility->getInnerPoints(inner, {{0, 0}, {1, 1}}, 1));
    EXPECT_TRUE(log.contains("DrawRegion: Cannot get inner edge since less than 3 points."));
    // Too thin for the width: no inner edge, and no success either.
    EXPECT_FALSE(utility->getInnerPoints(inner, square, 6));
    EXPECT_TRUE(inner.empty());
}

// Hooks offered to subclasses that draw into a bitmap context; the GL drawing reads none.
class PathHooks : public VMOverlayPathView {
  public:
    static std::shared_ptr<PathHooks> make() {
        return finishCreate(std::shared_ptr<PathHooks>(new PathHooks()), CGRectZero);
    }
    void createPath() override { setPath(CGPathCreateMutable()); }
    void invalidatePath() override { setPath(nullptr); }
};

class OverlayHooks : public OverlayGLTest {};

TEST_F(OverlayHooks, PathHooksAndTheRegionWithAnUnusedStrokeWidth) {
    const auto hooks = PathHooks::make();
    EXPECT_EQ(hooks->path(), nullptr);
    hooks->createPath();
    EXPECT_NE(hooks->path(), nullptr);
    hooks->VMOverlayPathView::applyStrokePropertiesToContext(nullptr, 1);
    hooks->VMOverlayPathView::applyFillPropertiesToContext(nullptr, 1);
    hooks->VMOverlayPathView::strokePath(hooks->path(), nullptr);
    hooks->VMOverlayPathView::fillPath(hooks->path(), nullptr);
    hooks->drawMapRect({{0, 0}, {1, 1}}, 1, nullptr);
    hooks->invalidatePath();
    EXPECT_EQ(hooks->path(), nullptr);

    const auto map = std::make_shared<FlatMap>();
    hooks->setMapView(map);
    const CGPoint square[] = {{8, 8}, {40, 8}, {40, 40}, {8, 40}};
    hooks->renderRegionWithPoints(square, 4, UIColor::greenColor(), false);
    const auto fillOnly = frame();
    clearToWhite();
    hooks->renderRegionWithPoints(square, 4, UIColor::greenColor(), 6.0, false);
    EXPECT_EQ(frame(), fillOnly);
    EXPECT_TRUE(near(pixel(20, 20), {0, 255, 0}));
    EXPECT_TRUE(isWhite(45, 20));
}

}  // namespace
