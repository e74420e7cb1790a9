#include <functional>
#include <numbers>
#include <vector>

#include "MapKitTestSupport.h"
#include "MapViewFixture.h"
#include "ScreenPixels.h"
#include "UIKit/UIButton.h"
#include "VMMediaTimingFunction.h"
#include "VMPointAnnotation.h"
#include "vmap_core/MapEngineInternal.h"

namespace {

constexpr double kFrame = CADisplayLink::kRefreshPeriod;

struct GestureLog : VMMapViewDelegate {
    std::vector<std::string> events;
    std::vector<CLLocationCoordinate2D> taps, presses;
    void mapViewRegionWillChangeAnimated(VMMapView&, bool a) override {
        events.push_back(a ? "will YES" : "will NO");
    }
    void mapViewRegionDidChangeAnimated(VMMapView&, bool a) override {
        events.push_back(a ? "did YES" : "did NO");
    }
    void mapViewDidSingleTappedAtCoordinate(VMMapView&, CLLocationCoordinate2D c) override {
        taps.push_back(c);
    }
    void mapViewDidLongPressedAtCoordinate(VMMapView&, CLLocationCoordinate2D c) override {
        presses.push_back(c);
    }
};

using Events = std::vector<std::string>;

class GestureTest : public MapViewFixture {
  protected:
    void SetUp() override {
        openHostedView(CGRectMake(0, 0, 320, 568));
        if (!view) return;
        view->zoomToLevel(12);
        view->setDelegate(log);
    }

    // Fingers from their points by `step` per frame for n frames.
    void move(std::vector<std::pair<int, CGPoint>>& fingers, CGPoint step, int n) {
        for (int i = 0; i < n; ++i) {
            advance(kFrame);
            std::vector<Host::Finger> changes;
            for (auto& [id, p] : fingers) {
                p = {p.x + step.x, p.y + step.y};
                changes.push_back({id, UITouchPhaseMoved, p});
            }
            host->post(changes);
        }
    }
    // One finger at a steady speed: down, n moves of `step` a frame, up one frame later.
    CGPoint stroke(CGPoint p, CGPoint step, int n) {
        std::vector<std::pair<int, CGPoint>> f{{0, p}};
        host->touchDown(0, p);
        move(f, step, n);
        advance(kFrame);
        const CGPoint end{f[0].second.x + step.x, f[0].second.y + step.y};
        host->touchUp(0, end);
        return end;
    }
    void tapAt(CGPoint p, int fingers = 1) {
        std::vector<Host::Finger> down, up;
        for (int i = 0; i < fingers; ++i) {
            down.push_back({i, UITouchPhaseBegan, {p.x + 30 * i, p.y}});
            up.push_back({i, UITouchPhaseEnded, {p.x + 30 * i, p.y}});
        }
        host->post(down);
        advance(0.05);
        host->post(up);
    }
    // Two fingers turned about their midpoint by `degrees` (clockwise on screen) and spread to
    // `scale` times their distance, in n frames.
    void twist(CGPoint a, CGPoint b, double degrees, double scale, int n) {
        const CGPoint m{(a.x + b.x) / 2, (a.y + b.y) / 2};
        const double r = std::hypot(b.x - a.x, b.y - a.y) / 2;
        const double a0 = std::atan2(b.y - a.y, b.x - a.x);
        for (int i = 1; i <= n; ++i) {
            advance(kFrame);
            const double f = static_cast<double>(i) / n;
            const double angle = a0 + degrees * std::numbers::pi / 180 * f;
            const double radius = r * (1 + (scale - 1) * f);
            const CGPoint d{radius * std::cos(angle), radius * std::sin(angle)};
            host->post({{0, UITouchPhaseMoved, {m.x - d.x, m.y - d.y}},
                        {1, UITouchPhaseMoved, {m.x + d.x, m.y + d.y}}});
        }
    }
    void twoDown(CGPoint a, CGPoint b) {
        host->post({{0, UITouchPhaseBegan, a}, {1, UITouchPhaseBegan, b}});
    }
    void doubleTap(CGPoint p) {
        tapAt(p);
        advance(0.1);
        tapAt(p);
    }
    // Two fingers pulled 100 points down, still touching.
    void pull() {
        std::vector<std::pair<int, CGPoint>> f{{0, {120, 200}}, {1, {200, 200}}};
        twoDown(f[0].second, f[1].second);
        move(f, {0, 5}, 20);
    }
    void twoUp() {
        advance(0.3);
        host->post({{0, UITouchPhaseEnded, {0, 0}}, {1, UITouchPhaseEnded, {0, 0}}});
        loop->runUntilIdle();
    }
    // The first column of the presented frame's row where the held grid begins, in pixels.
    int gridEdge(int row) {
        const auto& frame = view->baseMapView()->layer()->contents();
        for (int x = 0; x < frame->width(); ++x)
            if (testsupport::coloursClose(frame->pixelAt(x, row), kMapLand, 0.02)) return x;
        return -1;
    }
    CGPoint shown(VMMapPoint p) { return view->pointForMapPoint(p); }

    std::shared_ptr<GestureLog> log = std::make_shared<GestureLog>();
};

TEST_F(GestureTest, DragMovesTheGridEdgeTwoPixelsPerPointAfterThePanBegan) {
    view->zoomToLevel(4);
    view->scrollToCenterPoint({13 << 24, 13 << 23}, false, 0, 0, false, nullptr);
    ASSERT_TRUE(testsupport::holdGrid(view->render()->mapEngine(), 0, "1320"));
    frames(1);
    const int row = 550;
    const int before = gridEdge(row);
    ASSERT_GT(before, 0);
    ASSERT_LT(before, 400);

    std::vector<std::pair<int, CGPoint>> f{{0, {100, 300}}};
    host->touchDown(0, f[0].second);
    move(f, {4, 0}, 3);  // 12 points: the pan has begun, the map not moved yet
    EXPECT_EQ(log->events, Events{"will NO"});
    frames(1);
    EXPECT_EQ(gridEdge(row), before);
    move(f, {4, 0}, 10);
    frames(1);
    EXPECT_EQ(gridEdge(row), before + 2 * 40);
    advance(0.3);  // at rest before lifting: no fling
    host->touchUp(0, f[0].second);
    EXPECT_EQ(log->events, (Events{"will NO", "did NO"}));
    EXPECT_EQ(view->userTrackingMode(), 0);
}

// However many moves a refresh brings (a touch screen's one, a fast mouse's several), a pan
// draws one frame a refresh, and the map follows the finger.
TEST_F(GestureTest, APanDrawsOneFramePerRefresh) {
    for (const int movesPerRefresh : {1, 3}) {
        SCOPED_TRACE(movesPerRefresh);
        std::vector<std::pair<int, CGPoint>> f{{0, {100, 300}}};
        host->touchDown(0, f[0].second);
        move(f, {4, 0}, 5);
        frames(1);
        const VMMapPoint under = view->mapPointForPoint(f[0].second);
        const auto drawn = view->baseMapView()->framesDrawn();
        constexpr int kRefreshes = 30;
        for (int i = 0; i < kRefreshes; ++i) {
            advance(kFrame);
            for (int k = 0; k < movesPerRefresh; ++k) {
                f[0].second.x += 1;
                host->post({{0, UITouchPhaseMoved, f[0].second}});
            }
        }
        frames(1);
        EXPECT_EQ(view->baseMapView()->framesDrawn() - drawn, kRefreshes + 1u);
        EXPECT_NEAR(shown(under).x, f[0].second.x, 0.5);
        advance(0.3);
        host->touchUp(0, f[0].second);
        loop->runUntilIdle();
    }
}

TEST_F(GestureTest, ReleasedPansFlingByTheirSpeed) {
    // 240 points per second: 36 points further in 0.25 s on the ease-out curve.
    CGPoint end = stroke({60, 300}, {4, 0}, 20);
    const VMMapPoint under = view->mapPointForPoint(end);
    auto curve = VMMediaTimingFunction::functionWithType(8);
    for (int k = 1; k <= 16; ++k) {
        frames(1);
        const double run = 36 * curve->interpolateBySlice((k - 1) * kFrame / 0.25, 0, 1);
        EXPECT_TRUE(pointNear(shown(under), CGPoint{end.x + run, end.y}, 0.36)) << "frame " << k;
    }
    frames(2);
    EXPECT_EQ(log->events, (Events{"will NO", "did NO"}));

    // 200 points per second: the map stops with the finger.
    log->events.clear();
    end = stroke({60, 300}, {200 * kFrame, 0}, 20);
    EXPECT_EQ(log->events, (Events{"will NO", "did NO"}));
    EXPECT_TRUE(view->baseMapView()->animationWrapper().empty());

    // 5000 points per second runs for 0.7 s.
    end = stroke({20, 300}, {5000 * kFrame, 0}, 3);
    const auto& running = view->baseMapView()->animationWrapper();
    ASSERT_EQ(running.count(kVMAnimationKeyPathMapPivot), 1u);
    EXPECT_DOUBLE_EQ(running.at(kVMAnimationKeyPathMapPivot)->duration, 0.7f);
    frames(50);

    // On a map turned a quarter, a rightward fling runs along the map's y axis.
    view->rotateToDegree(90);
    stroke({60, 300}, {6, 0}, 10);
    const VMMapPoint released = view->currentCenter();
    frames(30);
    EXPECT_NEAR(view->currentCenter().x, released.x, 1);
    EXPECT_GT(std::abs(view->currentCenter().y - released.y), 100);
}

TEST_F(GestureTest, TapsZoomInAboutTheFingerAndOutWithTwo) {
    const CGPoint p{100, 200};
    const VMMapPoint under = view->mapPointForPoint(p);
    doubleTap(p);
    const auto& running = view->baseMapView()->animationWrapper();
    ASSERT_EQ(running.count(kVMAnimationKeyPathZoomer), 1u);
    EXPECT_EQ(running.at(kVMAnimationKeyPathZoomer)->duration, VMMapView::kDefaultCameraDuration);
    frames(25);
    EXPECT_DOUBLE_EQ(view->zoomLevel(), 13);
    EXPECT_TRUE(pointNear(shown(under), p, 1));
    EXPECT_EQ(log->events, (Events{"will YES", "did YES"}));
    advance(0.5);
    EXPECT_TRUE(log->taps.empty());

    log->events.clear();
    tapAt(p, 2);
    frames(25);
    EXPECT_DOUBLE_EQ(view->zoomLevel(), 12);
    EXPECT_EQ(log->events, (Events{"will NO", "did NO"}));

    log->events.clear();
    view->zoomToLevel(19);
    doubleTap(p);
    frames(25);
    EXPECT_DOUBLE_EQ(view->zoomLevel(), 19);
    EXPECT_TRUE(log->events.empty());
}

TEST_F(GestureTest, PinchZoomsTwistRotatesAndAPullTilts) {
    // Spread to twice the distance the pinch began at: one level in.
    twoDown({110, 300}, {210, 300});
    twist({110, 300}, {210, 300}, 0, 1.1, 1);  // begins at 110 points apart
    twist({105, 300}, {215, 300}, 0, 2, 10);
    EXPECT_NEAR(view->zoomLevel(), 13, 0.01);
    twoUp();
    EXPECT_EQ(log->events, (Events{"will NO", "did NO"}));

    // Twisting while spreading does both; 30 degrees clockwise from where the turn began.
    view->zoomToLevel(12);
    twoDown({110, 300}, {210, 300});
    twist({110, 300}, {210, 300}, 6, 1.1, 1);
    const CGPoint m{160, 300};
    const double a = 6 * std::numbers::pi / 180;
    const CGPoint d{55 * std::cos(a), 55 * std::sin(a)};
    twist({m.x - d.x, m.y - d.y}, {m.x + d.x, m.y + d.y}, 30, 2, 15);
    EXPECT_NEAR(view->zoomLevel(), 13, 0.01);
    EXPECT_NEAR(view->rotationDegree(), 330, 0.01);
    twoUp();

    // Two fingers 100 points down tilt as far as the camera goes.
    for (bool sky : {true, false}) {
        view->setSkyModelEnable(sky);
        view->rotateCameraHeaderToDegree(0);
        pull();
        EXPECT_DOUBLE_EQ(view->cameraDegree(), sky ? 65 : 40);
        twoUp();
    }
}

// Tilted past 40 degrees, a pin dragged into view shows while the finger is still down.
TEST_F(GestureTest, InSkyModePinsComeIntoViewDuringThePan) {
    view->setSkyModelEnable(true);
    view->rotateCameraHeaderToDegree(60);
    frames(1);
    ASSERT_TRUE(view->baseMapView()->isInSkyMode());
    const auto pin =
        VMPointAnnotation::create(coordinateForMapPoint(view->mapPointForPoint({160, 568 + 150})));
    view->addAnnotation(pin);
    ASSERT_EQ(view->viewForAnnotation(pin), nullptr);
    std::vector<std::pair<int, CGPoint>> f{{0, {160, 500}}};
    host->touchDown(0, f[0].second);
    move(f, {0, -20}, 20);
    EXPECT_NE(view->viewForAnnotation(pin), nullptr);
    advance(kFrame);
    host->touchUp(0, f[0].second);
}

TEST_F(GestureTest, LongPressAndSingleTapReportTheCoordinateUnderTheFinger) {
    const CGPoint p{80, 420};
    const CLLocationCoordinate2D under = coordinateForMapPoint(view->mapPointForPoint(p));
    host->touchDown(0, p);
    advance(0.6);
    host->touchUp(0, p);
    loop->runUntilIdle();
    ASSERT_EQ(log->presses.size(), 1u);
    EXPECT_TRUE(coordinateNear(log->presses[0], under, 1e-9));

    tapAt(p);
    advance(0.2);
    EXPECT_TRUE(log->taps.empty());  // still a possible double tap
    advance(0.3);
    ASSERT_EQ(log->taps.size(), 1u);
    EXPECT_TRUE(coordinateNear(log->taps[0], under, 1e-9));
    EXPECT_EQ(log->presses.size(), 1u);

    // A button on the map keeps its tap.
    auto button = UIButton::create(CGRectMake(200, 100, 80, 40));
    view->addSubview(button);
    int pressed = 0;
    button->addTarget(
        {}, [&](const auto&, UIEvent*) { ++pressed; }, UIControlEventTouchUpInside);
    tapAt({240, 120});
    advance(0.5);
    EXPECT_EQ(pressed, 1);
    EXPECT_EQ(log->taps.size(), 1u);
}

TEST_F(GestureTest, EachSwitchKeepsItsGesturesFromBeginning) {
    struct Case {
        const char* name;
        std::function<void(VMMapView&)> off;
        std::function<void()> gesture;
    };
    const std::vector<Case> cases = {
        {"zoom", [](VMMapView& v) { v.setZoomEnabled(false); },
         [&] {
             doubleTap({100, 200});
             advance(0.5);
             tapAt({100, 200}, 2);
             twoDown({110, 300}, {210, 300});
             twist({110, 300}, {210, 300}, 0, 2, 10);
             twoUp();
         }},
        {"scroll", [](VMMapView& v) { v.setScrollEnabled(false); },
         [&] {
             stroke({60, 300}, {6, 0}, 10);
         }},
        {"rotate", [](VMMapView& v) { v.setRotateEnabled(false); },
         [&] {
             twoDown({110, 300}, {210, 300});
             twist({110, 300}, {210, 300}, 40, 1, 10);
             twoUp();
         }},
        {"camera", [](VMMapView& v) { v.setRotateCameraEnabled(false); },
         [&] {
             pull();
             twoUp();
         }},
    };
    for (const auto& c : cases) {
        view->setZoomEnabled(true);
        view->setScrollEnabled(true);
        view->setRotateEnabled(true);
        view->setRotateCameraEnabled(true);
        c.off(*view);
        const VMMapStatus before = view->getMapStatus();
        log->events.clear();
        c.gesture();
        frames(30);
        loop->runUntilIdle();
        EXPECT_TRUE(log->events.empty()) << c.name;
        EXPECT_DOUBLE_EQ(view->zoomLevel(), before.zoomLevel) << c.name;
        EXPECT_DOUBLE_EQ(view->rotationDegree(), before.rotationDegree) << c.name;
        EXPECT_DOUBLE_EQ(view->cameraDegree(), before.cameraDegree) << c.name;
        EXPECT_NEAR(view->centerCoordinate().latitude, before.centerCoordinate.latitude, 1e-9)
            << c.name;
    }
}

}  // namespace
