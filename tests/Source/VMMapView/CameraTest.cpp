#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "MapViewFixture.h"

namespace {

struct RegionLog : VMMapViewDelegate {
    int will = 0;
    int did = 0;
    void mapViewRegionWillChangeAnimated(VMMapView&, bool) override { ++will; }
    void mapViewRegionDidChangeAnimated(VMMapView&, bool) override { ++did; }
};

constexpr CLLocationCoordinate2D kShanghai{31.2304, 121.4737};

class CameraTest : public MapViewFixture {
  protected:
    void SetUp() override {
        openView();
        if (!view) return;
        view->setDelegate(log);
        show();
    }
    // Where a coordinate is on the view once the engine drew the camera.
    CGPoint shown(CLLocationCoordinate2D c) {
        frames(1);
        return view->pointForMapPoint(mapPointForCoordinate(c));
    }

    std::shared_ptr<RegionLog> log = std::make_shared<RegionLog>();
};

TEST_F(CameraTest, SettersClampZoomAngleAndRotation) {
    struct Case {
        double in, zoom;
    };
    for (auto [in, out] : {Case{25, 19}, Case{1, 3}, Case{14.5, 14.5}}) {
        view->setZoomLevel(in);
        EXPECT_NEAR(view->zoomLevel(), out, 1e-5) << in;
    }
    view->setCameraDegree(90);
    EXPECT_DOUBLE_EQ(view->cameraDegree(), 65);
    view->setSkyModelEnable(false);  // without the sky the camera tilts 40 degrees at most
    EXPECT_DOUBLE_EQ(view->cameraDegree(), 40);
    view->setCameraDegree(55);
    EXPECT_DOUBLE_EQ(view->cameraDegree(), 40);
    view->setRotationDegree(-30);
    EXPECT_NEAR(view->rotationDegree(), 330, 1e-4);
    EXPECT_EQ(log->will, log->did);
}

TEST_F(CameraTest, ThePivotStaysOnItsScreenAnchor) {
    view->setScreenAnchor({1.01, 0.5});
    view->setScreenAnchor({0.5, -0.1});
    EXPECT_FALSE(view->customedPivot());
    view->setScreenAnchor({0.25, 0.75});
    EXPECT_TRUE(view->customedPivot());
    view->setZoomLevel(12);
    view->setCenterCoordinate(kShanghai);
    CGPoint p = shown(kShanghai);
    EXPECT_TRUE(pointNear(p, CGPoint{80, 360}, 1.5));
    view->setZoomLevel(15);
    view->setRotationDegree(40);
    view->setCameraDegree(30);
    p = shown(kShanghai);
    EXPECT_TRUE(pointNear(p, CGPoint{80, 360}, 1.5));
    const CLLocationCoordinate2D c = view->centerCoordinate();
    EXPECT_TRUE(coordinateNear(c, kShanghai, 1e-4));
    view->setScreenAnchor({0.5, 0.5});
    EXPECT_FALSE(view->customedPivot());
}

TEST_F(CameraTest, ZoomAtAPivotKeepsTheMapUnderThePivot) {
    struct Case {
        CGPoint pivot;
        double zoom, rotation;
        bool animated;
    };
    // A level beyond the limit is reached as the limit, with the pivot still in place.
    for (auto [pivot, zoom, rotation, animated] :
         {Case{{80, 100}, 14, 0, false}, Case{{250, 400}, 13.5, 30, false},
          Case{{60, 420}, 11, 300, true}, Case{{200, 120}, 25, 0, false}}) {
        view->setRotationDegree(rotation);
        view->setZoomLevel(12.5);
        view->setCenterCoordinate(kShanghai);
        frames(1);
        const VMMapPoint under = view->mapPointForPoint(pivot);
        const int will = log->will, did = log->did;
        view->setZoomLevel(zoom, pivot, animated);
        frames(animated ? 30 : 1);
        EXPECT_NEAR(view->zoomLevel(), std::min(zoom, 19.0), 1e-5) << zoom;
        const CGPoint p = view->pointForMapPoint(under);
        EXPECT_TRUE(pointNear(p, pivot, 1.5)) << zoom;
        EXPECT_EQ(log->will, will + 1);
        EXPECT_EQ(log->did, did + 1);
    }

    // At the top level, and with a NaN, the camera stays and nobody is told.
    const int will = log->will;
    view->setZoomLevel(12, {10, 10});
    EXPECT_DOUBLE_EQ(view->zoomLevel(), 19);
    EXPECT_EQ(log->will, will);
    view->setZoomLevel(12);
    const VMMapPoint centre = view->currentCenter();
    view->setZoomLevel(std::numeric_limits<double>::quiet_NaN(), {10, 10});
    view->setZoomLevel(14, {std::numeric_limits<double>::quiet_NaN(), 10});
    EXPECT_NEAR(view->zoomLevel(), 12, 1e-5);
    EXPECT_EQ(view->currentCenter(), centre);
    EXPECT_EQ(log->will, will + 1);
}

TEST_F(CameraTest, ConversionsToAndFromOtherViews) {
    auto window = UIView::create(CGRectMake(0, 0, 400, 600));
    window->addSubview(view);
    view->setFrame(CGRectMake(40, 50, 320, 480));
    auto panel = UIView::create(CGRectMake(10, 20, 100, 100));
    window->addSubview(panel);
    view->setZoomLevel(13);
    view->setCenterCoordinate(kShanghai);
    frames(1);

    const CGPoint own = view->pointForMapPoint(mapPointForCoordinate(kShanghai));
    const CGPoint there = view->convertCoordinateToPointToView(kShanghai, panel.get());
    EXPECT_TRUE(pointNear(there, CGPoint{own.x + 30, own.y + 30}, 1e-6));
    const CLLocationCoordinate2D back = view->convertPointToCoordinateFromView(there, panel.get());
    EXPECT_TRUE(coordinateNear(back, kShanghai, 1e-4));

    const VMCoordinateRegion region{kShanghai, {0.02, 0.02}};
    const CGRect rect = view->convertRegionToRectToView(region, panel.get());
    const CGRect ownRect = view->rectForMapRect(mapRectForRegion(region));
    EXPECT_TRUE(
        pointNear(rect.origin, CGPoint{ownRect.origin.x + 30, ownRect.origin.y + 30}, 1e-6));
    EXPECT_NEAR(rect.size.width, ownRect.size.width, 1e-6);
    const VMCoordinateRegion again = view->convertRectToRegionFromView(rect, panel.get());
    EXPECT_NEAR(again.center.latitude, kShanghai.latitude, 1e-4);
    EXPECT_NEAR(again.span.longitudeDelta, 0.02, 1e-3);

    const VMCoordinateRegion fits = view->regionThatFits(region);
    EXPECT_NEAR(fits.span.longitudeDelta, 0.02, 1e-6);
    EXPECT_GT(fits.span.latitudeDelta, 0.02);
}

TEST_F(CameraTest, NaNAndViewsWithoutSizeLeaveTheCameraAlone) {
    view->setZoomLevel(12);
    const VMMapPoint centre = view->currentCenter();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    view->setZoomLevel(nan);
    view->setRotationDegree(nan);
    view->setCameraDegree(nan);
    EXPECT_NEAR(view->zoomLevel(), 12, 1e-5);
    EXPECT_EQ(view->currentCenter(), centre);
    const VMMapPoint held =
        view->centerPointForKeepingMapPivotAtZoomLevel(view->mapPivot(), {0.3, 0.3}, nan);
    EXPECT_EQ(held, centre);

    auto flat = VMMapView::create(CGRectZero);
    ASSERT_NE(flat, nullptr);
    const VMMapRect r{{1000, 1000}, {600, 600}};
    EXPECT_EQ(flat->mapRectThatFits(r), r);
    const double zoom = flat->zoomLevel();
    EXPECT_TRUE(std::isfinite(flat->zoomScaleFitMapRect(r, {})));
    flat->setVisibleMapRect(r);
    flat->setRegion({kShanghai, {0.1, 0.1}});
    EXPECT_DOUBLE_EQ(flat->zoomLevel(), zoom);
    EXPECT_TRUE(std::isfinite(flat->currentCenter().x));
}

}  // namespace
