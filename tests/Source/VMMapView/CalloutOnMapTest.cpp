#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "MapViewFixture.h"
#include "UIKit/UIButton.h"
#include "VMMapView.h"
#include "VMPinAnnotationView.h"
#include "VMPointAnnotation.h"
#include "host/HeadlessHost.h"

namespace {

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

class CalloutOnMapTest : public MapViewFixture {
  protected:
    void SetUp() override {
        view = makeMapView(CGRectMake(0, 0, 320, 568));
        if (!view) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
        host = std::make_unique<HeadlessHost>();
        host->window()->addSubview(view);
        show();
        view->zoomToLevel(12);
        frames(1);
        view->setDelegate(screen);
    }
    void TearDown() override { view.reset(); }
    CLLocationCoordinate2D at(CGPoint p) {
        return coordinateForMapPoint(view->mapPointForPoint(p));
    }
    // A tap, then time for the double tap to fail and the callout to come.
    void tap(CGPoint p) {
        host->tap(p);
        for (int i = 0; i < 40; ++i) frames(1);
    }
    std::unique_ptr<HeadlessHost> host;
    std::shared_ptr<Screen> screen = std::make_shared<Screen>();
};

TEST_F(CalloutOnMapTest, TappedPinShowsItsCalloutWhoseTapsAndAccessoryReachTheMap) {
    auto a = VMPointAnnotation::create(at({160, 300}));
    a->setTitle("维修工单 4711");
    auto b = VMPointAnnotation::create(at({80, 480}));
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
    EXPECT_NEAR(arrow.x, CGRectGetMidX(pinA->bounds()), 0.5);
    EXPECT_NEAR(arrow.y, 0, 0.5);

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
    auto edge = VMPointAnnotation::create(at({12, 300}));
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

}  // namespace
