#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <string>

#include "CoreLocation/CLLocationManager.h"
#include "CoreLocation/CLLocationSource.h"
#include "Foundation/NSPathUtilities.h"
#include "ManualClock.h"
#include "MapDataAtExit.h"
#include "TempDir.h"
#include "UIKit/UIApplication.h"
#include "VMMapView.h"
#include "host/HeadlessHost.h"

// A 320 × 480 map view in a home of its own, under the manual clock.
// The engine's colours where the map has no data and on land.
inline const CGColor kMapBackground{243 / 255.0, 241 / 255.0, 236 / 255.0, 1};
inline const CGColor kMapLand{224 / 255.0, 232 / 255.0, 208 / 255.0, 1};

// Points and coordinates within a tolerance of each other, each way.
template <typename Point>
::testing::AssertionResult pointNear(Point a, Point b, double tolerance) {
    if (std::abs(a.x - b.x) <= tolerance && std::abs(a.y - b.y) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << a.x << ", " << a.y << ") is off (" << b.x << ", " << b.y << ")";
}
inline ::testing::AssertionResult coordinateNear(CLLocationCoordinate2D a, CLLocationCoordinate2D b,
                                                 double tolerance) {
    return pointNear(CGPoint{a.latitude, a.longitude}, CGPoint{b.latitude, b.longitude}, tolerance);
}

// An annotation that cannot be moved, holding whatever coordinate it was given, as a caller's
// own model object does.
class Landmark : public VMShape {
  public:
    static std::shared_ptr<Landmark> create(CLLocationCoordinate2D c) {
        auto l = std::shared_ptr<Landmark>(new Landmark());
        l->c_ = c;
        return l;
    }
    CLLocationCoordinate2D coordinate() const override { return c_; }

  private:
    Landmark() = default;
    CLLocationCoordinate2D c_;
};

class MapViewFixture : public testsupport::ManualClockTest {
  protected:
    void TearDown() override {
        host.reset();
        view.reset();
        CLLocationManager::setSource(nullptr);
    }
    // Null when EGL cannot make an OpenGL ES 1.1 context on this machine: the test skips then.
    std::shared_ptr<VMMapView> makeMapView(CGRect frame = CGRectMake(0, 0, 320, 480)) {
        NSSetHomeDirectory(home.path());
        UIApplication::sharedApplication()->reset();
        return VMMapView::create(frame);
    }
    // Makes `view`, or skips the test and leaves it null.
    void openView(CGRect frame = CGRectMake(0, 0, 320, 480)) {
        view = makeMapView(frame);
        if (!view) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
    }
    // `view` in a headless window, shown.
    void openHostedView(CGRect frame = CGRectMake(0, 0, 320, 480)) {
        openView(frame);
        if (!view) return;
        host = std::make_unique<HeadlessHost>();
        host->window()->addSubview(view);
        show();
    }
    // Drawn once and laid out, the view's projection becomes trustworthy at the next frame.
    void show() { show(*view); }
    void show(VMMapView& map) {
        map.layer()->setNeedsDisplay();
        map.layer()->displayIfNeeded();
        map.baseMapView()->layoutIfNeeded();
        frames(2);
        ASSERT_EQ(map.projectionState(), 2);
    }
    void frames(int n) {
        for (int i = 0; i < n; ++i) advance(CADisplayLink::kRefreshPeriod);
    }
    // Positions from a location file of the given lines, until the test ends.
    void useLocationFile(const std::string& lines) {
        std::ofstream(home / "locations.txt") << lines;
        std::string error;
        auto source = CLLocationSource::fromFile(home / "locations.txt", &error);
        ASSERT_NE(source, nullptr) << error;
        CLLocationManager::setSource(source);
    }
    CLLocationCoordinate2D coordinateAt(CGPoint p) {
        return coordinateForMapPoint(view->mapPointForPoint(p));
    }

    testsupport::TempDir home;
    std::shared_ptr<VMMapView> view;
    std::unique_ptr<HeadlessHost> host;
};
