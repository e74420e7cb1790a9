#include <functional>
#include <utility>
#include <vector>

#include "AnimationProbes.h"
#include "Foundation/NSNotificationCenter.h"
#include "MapViewFixture.h"
#include "ScreenPixels.h"
#include "UIKit/UIButton.h"
#include "VMPinAnnotationView.h"
#include "VMPointAnnotation.h"
#include "VMResources.h"

namespace {

using Views = std::vector<std::shared_ptr<VMAnnotationView>>;
using States = std::vector<std::pair<long, long>>;

// Hears the map's annotation reports.
struct Listener : VMMapViewDelegate {
    std::vector<Views> added;
    States drags;
    int selects = 0, deselects = 0;
    void mapViewDidAddAnnotationViews(VMMapView&, const Views& views) override {
        added.push_back(views);
    }
    void mapViewAnnotationView(VMMapView&, const std::shared_ptr<VMAnnotationView>&, long now,
                               long old) override {
        drags.emplace_back(now, old);
    }
    void mapViewDidSelectAnnotationView(VMMapView&,
                                        const std::shared_ptr<VMAnnotationView>&) override {
        ++selects;
    }
    void mapViewDidDeselectAnnotationView(VMMapView&,
                                          const std::shared_ptr<VMAnnotationView>&) override {
        ++deselects;
    }
};

class AnnotationTest : public MapViewFixture {
  protected:
    void SetUp() override {
        openHostedView(CGRectMake(0, 0, 320, 568));
        if (!view) return;
        view->zoomToLevel(12);
        frames(1);
        view->setDelegate(listener);
    }
    CLLocationCoordinate2D at(CGPoint p) { return coordinateAt(p); }
    auto dequeuePin() {
        return view->dequeueReusableAnnotationViewWithIdentifier(
            VMMapView::kDefaultReuseIdentifier);
    }
    CGPoint pointOf(CLLocationCoordinate2D c) {
        return view->pointForMapPoint(mapPointForCoordinate(c));
    }
    std::shared_ptr<VMPinAnnotationView> pinOf(const std::shared_ptr<VMAnnotation>& a) {
        return std::dynamic_pointer_cast<VMPinAnnotationView>(view->viewForAnnotation(a));
    }
    CGPoint presented(const UIView& v) {
        return v.layer()->presentationValues(CACurrentMediaTime()).position;
    }

    std::shared_ptr<Listener> listener = std::make_shared<Listener>();
};

TEST_F(AnnotationTest, PinStaysOnItsCoordinateInTheComposedScreen) {
    const auto pin = VMPointAnnotation::create(at({160, 284}));
    view->addAnnotation(pin);
    const auto pinView = pinOf(pin);
    ASSERT_NE(pinView, nullptr);
    EXPECT_TRUE(pointNear(pinView->center(), pointOf(pin->coordinate()), 1e-6));
    // The head of the picture, 27 points above its centre, is red.
    const auto head = [&] {
        const CGPoint c = pointOf(pin->coordinate());
        return testsupport::screenPixel(host->compose(), c.x, c.y - 27);
    };
    EXPECT_GT(head().r, 0.7);
    EXPECT_LT(head().g, 0.4);

    // Moved by the camera, the pin follows at once; the map's frame waits for the next refresh.
    const auto drawn = view->baseMapView()->framesDrawn();
    view->setCenterCoordinate(at({100, 200}));
    EXPECT_EQ(view->baseMapView()->framesDrawn(), drawn);
    frames(1);
    EXPECT_EQ(view->baseMapView()->framesDrawn(), drawn + 1);
    EXPECT_TRUE(pointNear(pinView->center(), pointOf(pin->coordinate()), 1e-6));
    EXPECT_NEAR(pinView->center().x, 220, 0.5);
    EXPECT_GT(head().r, 0.7);
    view->setZoomLevel(13);
    frames(1);
    EXPECT_TRUE(pointNear(pinView->center(), pointOf(pin->coordinate()), 1e-6));
    EXPECT_GT(head().r, 0.7);

    pin->setCoordinate(at({40, 60}));
    EXPECT_TRUE(pointNear(pinView->center(), CGPoint{40, 60}, 1e-3));
}

// Where a pin's lowest ink lies on the composed screen, in points: the pixels that the pin changes,
// within its picture's reach of `near`, their lowest row's middle and bottom edge.
std::optional<CGPoint> pinTipOnScreen(HeadlessHost& host, UIView& pin, CGPoint near) {
    constexpr int kScale = 2, kReachX = 24 * kScale, kReachY = 50 * kScale;
    const int cx = static_cast<int>(near.x * kScale), cy = static_cast<int>(near.y * kScale);
    pin.setHidden(true);
    std::vector<CGColor> without;
    const CGImageRef bare = host.compose();
    for (int y = cy - kReachY; y <= cy + kReachY; ++y)
        for (int x = cx - kReachX; x <= cx + kReachX; ++x) without.push_back(bare->pixelAt(x, y));
    pin.setHidden(false);
    const CGImageRef shown = host.compose();
    std::optional<CGPoint> tip;
    size_t i = 0;
    for (int y = cy - kReachY; y <= cy + kReachY; ++y) {
        int inked = 0, sumX = 0;
        for (int x = cx - kReachX; x <= cx + kReachX; ++x, ++i) {
            if (testsupport::coloursClose(shown->pixelAt(x, y), without[i])) continue;
            ++inked;
            sumX += x;
        }
        if (inked) tip = CGPoint{(sumX / double(inked) + 0.5) / kScale, double(y + 1) / kScale};
    }
    return tip;
}

// The stock pin's needle ends on the coordinate's point, whatever the zoom and the turn.
TEST_F(AnnotationTest, StockPinsTipStandsOnItsCoordinate) {
    const CLLocationCoordinate2D site = at({160, 284});
    const auto a = VMPointAnnotation::create(site);
    view->addAnnotation(a);
    const struct { double zoom, rotation; } cameras[] = {{4, 0}, {11, 0}, {17, 0}, {14, 35}};
    for (const auto& camera : cameras) {
        SCOPED_TRACE(testing::Message()
                     << "zoom " << camera.zoom << ", turned " << camera.rotation);
        view->setCenterCoordinate(site);
        view->setZoomLevel(camera.zoom);
        view->setRotationDegree(camera.rotation);
        // Off the centre, where the turn moves it.
        view->setCenterCoordinate(at({220, 204}));
        frames(1);
        const CGPoint point = view->convertCoordinateToPointToView(site, nullptr);
        ASSERT_TRUE(pointNear(point, CGPoint{100, 364}, 1));
        const auto pin = pinOf(a);
        ASSERT_NE(pin, nullptr);
        const auto tip = pinTipOnScreen(*host, *pin, point);
        ASSERT_TRUE(tip);
        EXPECT_TRUE(pointNear(*tip, point, 1.5));
    }
}

TEST_F(AnnotationTest, OnlyAnnotationsNearTheScreenHaveViewsAndTheyAreReused) {
    // 1600 × 1848 points around the screen hold views; 1700 points off they are only listed.
    const auto far = VMPointAnnotation::create(at({160, 284 + 2000}));
    view->addAnnotation(far);
    view->addAnnotation(far);
    EXPECT_EQ(view->annotations().size(), 1u);
    EXPECT_EQ(view->viewForAnnotation(far), nullptr);
    EXPECT_TRUE(listener->added.empty());

    view->addAnnotations({VMPointAnnotation::create(at({10, 10})),
                          VMPointAnnotation::create(at({-1000, 0})),
                          VMPointAnnotation::create(at({0, 3000}))});
    ASSERT_EQ(listener->added.size(), 1u);
    EXPECT_EQ(listener->added[0].size(), 1u);
    view->addAnnotations({VMPointAnnotation::create(at({-1000, -1000})),
                          VMPointAnnotation::create(at({2000, 0})),
                          VMPointAnnotation::create(at({0, -1200}))});
    ASSERT_EQ(listener->added.size(), 2u);
    EXPECT_TRUE(listener->added[1].empty());

    // Panned near, the far one gets its view in the reuse pass, without a callback.
    view->setCenterCoordinate(far->coordinate());
    EXPECT_NE(view->viewForAnnotation(far), nullptr);
    EXPECT_EQ(listener->added.size(), 2u);

    // The floor holds no more views than the grown bounds hold annotations.
    const CLLocationCoordinate2D home = view->centerCoordinate();
    const auto countInside = [&] {
        std::size_t n = 0;
        for (const auto& a : view->annotations()) {
            const CGPoint p = pointOf(a->coordinate());
            if (p.x >= -640 && p.x <= 960 && p.y >= -640 && p.y <= 1208) ++n;
        }
        return n;
    };
    for (double dx : {320.0 * 3, 0.0}) {
        view->setCenterCoordinate(at({160 + dx, 284}));
        EXPECT_EQ(view->annotationFloor()->subviews().size(), countInside());
    }
    // Turned, the map still gives views to exactly those.
    view->setRotationDegree(30);
    view->setCenterCoordinate(at({160 + 320 * 2, 284 + 600}));
    EXPECT_EQ(view->annotationFloor()->subviews().size(), countInside());
    view->setRotationDegree(0);
    view->setCenterCoordinate(home);
    const auto& pool = view->recycler()->reuseIdentifiersToRecycledViews();
    ASSERT_EQ(pool.count(VMMapView::kDefaultReuseIdentifier), 1u);
    const auto pooled = pool.at(VMMapView::kDefaultReuseIdentifier);
    ASSERT_GE(pooled.size(), 2u);
    for (const auto& v : pooled)
        EXPECT_EQ(std::static_pointer_cast<VMAnnotationView>(v)->annotation(), nullptr);
    EXPECT_EQ(dequeuePin(), pooled.back());
    EXPECT_EQ(dequeuePin(), pooled[pooled.size() - 2]);
    EXPECT_EQ(view->dequeueReusableAnnotationViewWithIdentifier("never used"), nullptr);

    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationDidReceiveMemoryWarningNotification);
    EXPECT_EQ(dequeuePin(), nullptr);
}

TEST_F(AnnotationTest, TheSelectedAnnotationKeepsItsViewUntilItIsRemoved) {
    const auto a = VMPointAnnotation::create(at({160, 284}));
    view->addAnnotation(a);
    view->selectAnnotation(a, false);
    const auto selected = view->viewForAnnotation(a);
    ASSERT_NE(selected, nullptr);
    EXPECT_TRUE(selected->isSelected());
    EXPECT_EQ(listener->selects, 1);
    EXPECT_EQ(view->annotationFloor()->selectedAnnotationView(), selected);

    view->setCenterCoordinate(at({160 + 320 * 10, 284}));
    EXPECT_EQ(view->viewForAnnotation(a), selected);

    view->removeAnnotation(a);
    EXPECT_EQ(view->selectedAnnotation(), nullptr);
    EXPECT_EQ(listener->deselects, 1);
    EXPECT_EQ(selected->superview(), nullptr);
    EXPECT_EQ(selected->annotation(), nullptr);
    EXPECT_EQ(dequeuePin(), nullptr);
    // Let go of, the annotation no longer moves the view.
    a->setCoordinate(at({0, 0}));
    EXPECT_EQ(selected->superview(), nullptr);
}

// Applications clear a map with its own list; the list handed in is the one that changes.
TEST_F(AnnotationTest, ClearingTheMapWithItsOwnListRemovesEveryAnnotation) {
    const auto viewsOnFloor = [&] {
        std::size_t n = 0;
        for (const auto& sub : view->annotationFloor()->subviews())
            n += std::dynamic_pointer_cast<VMAnnotationView>(sub) != nullptr;
        return n;
    };
    std::vector<std::shared_ptr<VMAnnotation>> batch;
    for (int i = 0; i < 1000; ++i)
        batch.push_back(VMPointAnnotation::create(at({double(i % 40) * 8, double(i / 40) * 20})));
    for (int round = 0; round < 2; ++round) {
        view->addAnnotations(batch);
        view->addAnnotations(view->annotations());
        ASSERT_EQ(view->annotations().size(), 1000u);
        EXPECT_EQ(viewsOnFloor(), 1000u);
        view->removeAnnotations(view->annotations());
        EXPECT_TRUE(view->annotations().empty());
        EXPECT_EQ(viewsOnFloor(), 0u);
    }
}

// The usual clearing loop walks the list it was handed while each removal shortens the map's.
TEST_F(AnnotationTest, RemovingOneByOneWhileWalkingTheListEmptiesTheMap) {
    for (int i = 0; i < 20; ++i)
        view->addAnnotation(VMPointAnnotation::create(at({16.0 * i, 30.0 + 20 * i})));
    ASSERT_EQ(view->annotationFloor()->subviews().size(), 20u);
    const auto listed = view->annotations();
    for (auto& a : view->annotations()) view->removeAnnotation(a);
    EXPECT_TRUE(view->annotations().empty());
    EXPECT_TRUE(view->annotationFloor()->subviews().empty());
    // The copy handed out earlier is the caller's and stays as it was.
    EXPECT_EQ(listed.size(), 20u);
}

TEST_F(AnnotationTest, PinsAndTheirAnimations) {
    const auto a = VMPointAnnotation::create(at({160, 284}));
    auto pin = VMPinAnnotationView::initWithAnnotation(a, "pin");
    EXPECT_FALSE(pin->pointInside({4, 20}, nullptr));
    EXPECT_TRUE(pin->pointInside({24, 20}, nullptr));

    // Dropped from the floor's top: half way down at half time, its shadow shown till it lands.
    pin->setAnimatesDrop(true);
    pin->setCenter({160, 284});
    view->annotationFloor()->addSubview(pin);
    EXPECT_TRUE(pin->layer()->animationForKey("dropAnimation"));
    advance(0.15);
    EXPECT_TRUE(pointNear(presented(*pin), CGPoint{160, 142}, 0.01));
    EXPECT_EQ(pin->subviews().size(), 1u);
    advance(0.2);
    EXPECT_TRUE(pointNear(presented(*pin), CGPoint{160, 284}, 1e-6));
    EXPECT_TRUE(pin->subviews().empty());

    // Outside the floor it does not drop.
    auto outside = VMPinAnnotationView::initWithAnnotation(nullptr, "pin");
    outside->setAnimatesDrop(true);
    outside->setCenter({160, 700});
    view->annotationFloor()->addSubview(outside);
    EXPECT_FALSE(outside->layer()->animationForKey("dropAnimation"));
    EXPECT_TRUE(outside->subviews().empty());

    // Lifted, 40 points up in its lifted picture, the shadow up and to the right.
    pin->setDragState(VMAnnotationViewDragStateStarting, false);
    EXPECT_EQ(pin->dragState(), VMAnnotationViewDragStateDragging);
    EXPECT_EQ(pin->center(), CGPointMake(160, 244));
    EXPECT_EQ(pin->image(), VMResources::sharedResources()->imageNamed("redPin_lift"));
    ASSERT_EQ(pin->subviews().size(), 1u);
    EXPECT_EQ(pin->subviews()[0]->center(), CGPointMake(24 + 43, 40 - 43));

    // The bounce of a drop after a move: 40 points up at 0.2 s, back at 0.4 s.
    pin->setDragState(VMAnnotationViewDragStateEnding, true);
    advance(0.2);
    EXPECT_TRUE(pointNear(presented(*pin), CGPoint{160, 204}, 1e-3));
    EXPECT_EQ(pin->dragState(), VMAnnotationViewDragStateDragging);
    advance(0.21);
    EXPECT_TRUE(pointNear(presented(*pin), CGPoint{160, 244}, 1e-3));
    EXPECT_EQ(pin->dragState(), VMAnnotationViewDragStateNone);
    EXPECT_EQ(pin->image(), VMResources::sharedResources()->imageNamed("redPin"));
    EXPECT_TRUE(pin->subviews().empty());
}

class AnnotationDragTest : public AnnotationTest {
  protected:
    // A press held past the lift, moved by dx over eight frames unless dx is 0, released.
    void press(CGPoint p, double dx) {
        host->touchDown(0, p);
        advance(0.5);
        advance(0.25);
        for (int i = 1; i <= 8 && dx != 0; ++i) {
            advance(CADisplayLink::kRefreshPeriod);
            host->touchMove(0, {p.x + dx * i / 8, p.y});
        }
        advance(CADisplayLink::kRefreshPeriod);
        host->touchUp(0, {p.x + dx, p.y});
    }
};

// One finger, one grip: while a pin is dragged, a long press on another does not begin.
TEST_F(AnnotationDragTest, LongPressDragsAPin) {
    const auto a = VMPointAnnotation::create(at({160, 284}));
    const auto b = VMPointAnnotation::create(at({60, 100}));
    view->addAnnotations({a, b});
    const auto pin = pinOf(a), other = pinOf(b);
    pin->setDraggable(true);
    other->setDraggable(true);
    const auto otherBegins = [&] {
        return other->gestureRecognizerShouldBegin(other->longPressGestureGecognizer());
    };
    EXPECT_TRUE(otherBegins());
    // The stem, below the head, is well inside the part that takes touches.
    press({160, 276}, 80);
    EXPECT_EQ(listener->drags, (States{{1, 0}, {2, 1}}));
    EXPECT_FALSE(otherBegins());
    advance(0.45);
    EXPECT_EQ(listener->drags, (States{{1, 0}, {2, 1}, {4, 2}, {0, 4}}));
    EXPECT_TRUE(otherBegins());
    const CGPoint c = pin->center();
    EXPECT_NEAR(c.x, 240, 1e-6);
    const CLLocationCoordinate2D under = at(c);
    EXPECT_TRUE(coordinateNear(a->coordinate(), under, 1e-7));
}

TEST_F(AnnotationDragTest, PressReleasedUnmovedPutsEverythingBack) {
    const auto a = VMPointAnnotation::create(at({160, 284}));
    view->addAnnotation(a);
    const auto pin = pinOf(a);
    pin->setDraggable(true);
    // A view that stands off its point keeps standing off it, and its annotation stays put.
    pin->setCenterOffset({0, -10});
    view->selectAnnotation(a, false);
    const CLLocationCoordinate2D before = a->coordinate();
    press({160, 264}, 0);
    advance(0.25);
    EXPECT_EQ(listener->drags, (States{{1, 0}, {2, 1}, {3, 2}, {0, 3}}));
    EXPECT_TRUE(pointNear(pin->center(), CGPoint{160, 274}, 1e-6));
    EXPECT_TRUE(coordinateNear(a->coordinate(), before, 1e-7));
    EXPECT_TRUE(pin->isSelected());

    // Without a settable coordinate there is nothing to drag.
    const auto fixed = Landmark::create(at({160, 100}));
    view->addAnnotation(fixed);
    pinOf(fixed)->setDraggable(true);
    listener->drags.clear();
    press({160, 92}, 80);
    advance(0.5);
    EXPECT_TRUE(listener->drags.empty());
}

// Pins that show a callout with an accessory button; logs what the map reports.
struct Screen : VMMapViewDelegate {
    std::vector<std::string> log;
    std::shared_ptr<VMAnnotationView> mapViewViewForAnnotation(
        VMMapView&, const std::shared_ptr<VMAnnotation>& a) override {
        auto pin = VMPinAnnotationView::initWithAnnotation(a, "order");
        pin->setCanShowCallout(true);
        pin->setRightCalloutAccessoryView(UIButton::create(CGRectMake(0, 0, 30, 30)));
        return pin;
    }
    bool respondsToDidAnnotationViewCalloutTapped() const override { return true; }
    void mapViewDidAnnotationViewCalloutTapped(VMMapView&,
                                               const std::shared_ptr<VMAnnotationView>&) override {
        log.push_back("callout tapped");
    }
    void mapViewAnnotationView(VMMapView&, const std::shared_ptr<VMAnnotationView>&,
                               const std::shared_ptr<UIControl>&) override {
        log.push_back("accessory tapped");
    }
};

class CalloutOnMapTest : public AnnotationTest {
  protected:
    void SetUp() override {
        AnnotationTest::SetUp();
        if (view) view->setDelegate(screen);
    }
    // A tap, then time for the double tap to fail and the callout to come.
    void tap(CGPoint p) {
        host->tap(p);
        frames(40);
    }
    std::shared_ptr<Screen> screen = std::make_shared<Screen>();
};

TEST_F(CalloutOnMapTest, TappedPinShowsItsCalloutWhoseTapsAndAccessoryReachTheMap) {
    auto a = VMPointAnnotation::create(coordinateAt({160, 300}));
    a->setTitle("维修工单 4711");
    auto b = VMPointAnnotation::create(coordinateAt({80, 480}));
    b->setTitle("维修工单 4712");
    view->addAnnotations({a, b});
    const auto pinA = view->viewForAnnotation(a);
    ASSERT_NE(pinA, nullptr);
    tap(pinA->convertPointToView({24, 20}, nullptr));
    EXPECT_EQ(view->selectedAnnotation(), a);
    ASSERT_NE(pinA->tip(), nullptr);
    EXPECT_EQ(pinA->tip()->superview(), pinA);
    EXPECT_FALSE(pinA->tip()->isHidden());
    EXPECT_EQ(view->annotationFloor()->subviews().back(), pinA);
    // The arrow's tip at the pin's top centre.
    const auto tip = pinA->tip();
    const CGPoint arrow =
        tip->backgroundView()->convertPointToView(tip->backgroundView()->arrowPoint(), pinA.get());
    EXPECT_TRUE(pointNear(arrow, CGPoint{CGRectGetMidX(pinA->bounds()), 0}, 0.5));

    // The box lies outside the pin's bounds, yet its taps are the pin's.
    const CGPoint box = tip->convertPointToView({20, 22}, nullptr);
    ASSERT_FALSE(CGRectContainsPoint(pinA->convertRectToView(pinA->bounds(), nullptr), box));
    tap(box);
    EXPECT_EQ(screen->log, std::vector<std::string>{"callout tapped"});
    EXPECT_EQ(view->selectedAnnotation(), a);
    tap(pinA->rightCalloutAccessoryView()->convertPointToView({15, 15}, nullptr));
    EXPECT_EQ(screen->log, (std::vector<std::string>{"callout tapped", "accessory tapped"}));

    // Another pin: the first callout goes at once.
    const auto pinB = view->viewForAnnotation(b);
    ASSERT_NE(pinB, nullptr);
    tap(pinB->convertPointToView({24, 20}, nullptr));
    EXPECT_EQ(view->selectedAnnotation(), b);
    EXPECT_FALSE(pinA->isSelected());
    EXPECT_EQ(tip->superview(), nullptr);
    ASSERT_NE(pinB->tip(), nullptr);
    EXPECT_EQ(pinB->tip()->superview(), pinB);
}

TEST_F(CalloutOnMapTest, CalloutThatDoesNotFitScrollsTheMapAndShowsAThirdOfASecondLater) {
    auto edge = VMPointAnnotation::create(coordinateAt({12, 300}));
    edge->setTitle("维修工单 4713 东城区");
    view->addAnnotation(edge);
    view->selectAnnotation(edge, true);
    const auto pin = view->viewForAnnotation(edge);
    ASSERT_NE(pin, nullptr);
    ASSERT_NE(pin->tip(), nullptr);
    EXPECT_TRUE(pin->tip()->isHidden());
    frames(19);  // 0.317 s
    EXPECT_TRUE(pin->tip()->isHidden());
    frames(3);
    EXPECT_FALSE(pin->tip()->isHidden());
    frames(30);
    const auto floor = view->annotationFloor();
    const CGRect inside = CGRectInset(floor->bounds(), 10 - 0.5, 10 - 0.5);
    const CGRect box = pin->tip()->convertRectToView(pin->tip()->bounds(), floor.get());
    EXPECT_TRUE(CGRectContainsRect(inside, box))
        << box.origin.x << ", " << box.origin.y << " " << box.size.width;
}

// Pins that show a callout; where the watched pin's view stood when the region changed.
struct PinWatcher : VMMapViewDelegate {
    std::shared_ptr<VMAnnotation> watched;
    std::vector<CGPoint> atRegionChange;
    std::shared_ptr<VMAnnotationView> mapViewViewForAnnotation(
        VMMapView&, const std::shared_ptr<VMAnnotation>& a) override {
        auto pin = VMPinAnnotationView::initWithAnnotation(a, "order");
        pin->setCanShowCallout(true);
        return pin;
    }
    void mapViewRegionDidChangeAnimated(VMMapView& map, bool) override {
        if (const auto v = map.viewForAnnotation(watched)) atRegionChange.push_back(v->center());
    }
};

class PinCameraTest : public MapViewFixture {
  protected:
    struct Setter {
        const char* name;
        std::function<void(VMMapView&)> set;
    };

    void SetUp() override {
        openHostedView();
        if (!view) return;
        view->zoomToLevel(14);
        frames(1);
        view->setDelegate(watcher);
        home = view->centerCoordinate();
        near = coordinateAt({120, 200});
    }
    CGPoint pointOf(CLLocationCoordinate2D c) {
        return view->pointForMapPoint(mapPointForCoordinate(c));
    }
    // The watched pin's view, beside another pin's.
    std::shared_ptr<VMAnnotationView> addPins() {
        pin = VMPointAnnotation::create(coordinateAt({200, 150}));
        other = VMPointAnnotation::create(coordinateAt({90, 330}));
        view->addAnnotations({pin, other});
        watcher->watched = pin;
        return view->viewForAnnotation(pin);
    }
    // The camera as the test began, drawn.
    void goHome() {
        view->setCameraDegree(0);
        view->setRotationDegree(0);
        view->setZoomLevel(14);
        view->setCenterCoordinate(home);
        frames(1);
    }
    // Every setter that changes the camera without animation, each to somewhere else.
    std::vector<Setter> cameraSetters() {
        return {
            {"setCenterCoordinate", [&](VMMapView& m) { m.setCenterCoordinate(near); }},
            {"setZoomLevel", [](VMMapView& m) { m.setZoomLevel(15.5); }},
            {"setZoomLevel at a pivot",
             [](VMMapView& m) {
                 m.setZoomLevel(13, CGPoint{60, 400});
             }},
            {"setRotationDegree", [](VMMapView& m) { m.setRotationDegree(40); }},
            {"setCameraDegree", [](VMMapView& m) { m.setCameraDegree(30); }},
            {"setRegion",
             [&](VMMapView& m) {
                 m.setRegion({near, {0.01, 0.01}});
             }},
            {"setVisibleMapRect",
             [&](VMMapView& m) {
                 m.setVisibleMapRect(m.mapRectForRect(CGRectMake(100, 100, 160, 240)),
                                     {20, 0, 0, 0});
             }},
            {"setMapStatus",
             [&](VMMapView& m) {
                 m.setMapStatus(VMMapStatus{near, 14.5, 20, 10, {0.5, 0.5}}, false, 0);
             }},
            {"showAnnotations",
             [&](VMMapView& m) {
                 m.showAnnotations({pin, other}, false);
             }},
        };
    }

    std::shared_ptr<PinWatcher> watcher = std::make_shared<PinWatcher>();
    CLLocationCoordinate2D home{}, near{};
    std::shared_ptr<VMPointAnnotation> pin, other;
};

TEST_F(PinCameraTest, APinCentredAndSelectedAtOnceSitsInTheMiddleWithItsCalloutBesideIt) {
    const auto pin = VMPointAnnotation::create(coordinateAt({100, 30}));
    pin->setTitle("维修工单 4714");
    view->addAnnotation(pin);
    const auto pinView = view->viewForAnnotation(pin);
    ASSERT_NE(pinView, nullptr);

    view->setCenterCoordinate(pin->coordinate());
    view->selectAnnotation(pin, false);
    EXPECT_TRUE(pointNear(pinView->center(), CGPoint{160, 240}, 0.5));
    const auto tip = pinView->tip();
    ASSERT_NE(tip, nullptr);
    const CGPoint arrow =
        tip->backgroundView()->convertPointToView(tip->backgroundView()->arrowPoint(), view.get());
    EXPECT_TRUE(pointNear(arrow, CGPoint{160, CGRectGetMinY(pinView->frame())}, 0.5));

    // Nothing is left for the callout to scroll into sight: it shows at once, and stays.
    frames(2);
    EXPECT_FALSE(tip->isHidden());
    frames(60);
    EXPECT_TRUE(pointNear(pinView->center(), CGPoint{160, 240}, 0.5));
    EXPECT_TRUE(pointNear(pointOf(pin->coordinate()), CGPoint{160, 240}, 0.5));
}

TEST_F(PinCameraTest, EachCameraSetterPlacesThePinViewsAtOnceAndDrawsAtTheNextRefresh) {
    const auto pinView = addPins();
    ASSERT_NE(pinView, nullptr);
    for (const auto& [name, set] : cameraSetters()) {
        SCOPED_TRACE(name);
        goHome();
        const CGPoint before = pinView->center();
        watcher->atRegionChange.clear();
        const auto drawn = view->baseMapView()->framesDrawn();

        set(*view);
        EXPECT_EQ(view->baseMapView()->framesDrawn(), drawn);
        const CGPoint placed = pinView->center();
        EXPECT_TRUE(pointNear(placed, pointOf(pin->coordinate()), 1e-6));
        EXPECT_FALSE(pointNear(placed, before, 5));
        ASSERT_EQ(watcher->atRegionChange.size(), 1u);
        EXPECT_TRUE(pointNear(watcher->atRegionChange[0], pointOf(pin->coordinate()), 1e-6));

        // The map's own picture follows at the next refresh, in one frame, where the pin is.
        frames(1);
        EXPECT_EQ(view->baseMapView()->framesDrawn(), drawn + 1);
        EXPECT_TRUE(pointNear(pinView->center(), placed, 1e-6));
        EXPECT_TRUE(pointNear(pointOf(pin->coordinate()), placed, 1e-6));
    }
}

// The setter places the views for its camera and the frame after it, drawing that camera, leaves
// them be: a camera change of several steps (zoom, then centre) places them once too.
TEST_F(PinCameraTest, EachCameraSetterAndItsFramePlaceThePinViewsOnce) {
    const auto pinView = addPins();
    ASSERT_NE(pinView, nullptr);
    for (const auto& [name, set] : cameraSetters()) {
        SCOPED_TRACE(name);
        goHome();
        const testsupport::ModelWrites placed(*pinView->layer(), "position");
        set(*view);
        EXPECT_EQ(placed.count(), 1);
        frames(1);
        EXPECT_EQ(placed.count(), 1);
        EXPECT_TRUE(pointNear(pinView->center(), pointOf(pin->coordinate()), 1e-6));
    }
}

// Placed once for a camera, a view still follows its annotation, a frame set by hand, and every
// camera an animation's frames reach.
TEST_F(PinCameraTest, APinViewPlacedForTheCameraFollowsItsCoordinateItsFrameAndAnAnimation) {
    const auto pinView = addPins();
    ASSERT_NE(pinView, nullptr);
    view->setCenterCoordinate(coordinateAt({120, 200}));
    pin->setCoordinate(coordinateAt({150, 260}));
    EXPECT_TRUE(pointNear(pinView->center(), CGPoint{150, 260}, 0.5));
    frames(1);
    EXPECT_TRUE(pointNear(pinView->center(), pointOf(pin->coordinate()), 1e-6));
    EXPECT_TRUE(pointNear(pinView->center(), CGPoint{150, 260}, 0.5));

    // A frame set by hand moves the view off its point; the next camera's frame puts it back.
    view->setCenterCoordinate(coordinateAt({150, 250}));
    pinView->setFrame(CGRectMake(0, 0, 40, 50));
    frames(1);
    EXPECT_TRUE(pointNear(pinView->center(), pointOf(pin->coordinate()), 1e-6));
    EXPECT_TRUE(pointNear(pinView->center(), CGPoint{160, 250}, 0.5));

    view->setCenterCoordinate(coordinateAt({60, 100}), true);
    const testsupport::ModelWrites placed(*pinView->layer(), "position");
    int moving = 0;
    for (int i = 0; i < 60; ++i) {
        const CGPoint before = pinView->center();
        const int writes = placed.count();
        frames(1);
        EXPECT_TRUE(pointNear(pinView->center(), pointOf(pin->coordinate()), 1e-6)) << i;
        EXPECT_LE(placed.count() - writes, 1) << i;
        if (!pointNear(pinView->center(), before, 1e-9)) ++moving;
    }
    EXPECT_GT(moving, 5);
    EXPECT_TRUE(pointNear(pinView->center(), CGPoint{160 + 100, 250 + 140}, 0.5));
}

}  // namespace
