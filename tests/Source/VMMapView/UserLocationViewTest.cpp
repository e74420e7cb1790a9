#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <string>

#include "CoreLocation/CLLocationManager.h"
#include "CoreLocation/CLLocationSource.h"
#include "MapViewFixture.h"
#include "ScreenPixels.h"
#include "VMMapView.h"
#include "VMUserLocationView.h"
#include "host/HeadlessHost.h"

namespace {

using namespace testsupport;

const CGColor kDot{24 / 255.0, 137 / 255.0, 234 / 255.0, 1};

class UserLocationViewTest : public MapViewFixture {
  protected:
    void SetUp() override {
        std::ofstream(home / "walk.txt") << "0.5 fix 39.90872 116.39750 10\n"
                                            "5 heading 90\n";
        std::string error;
        auto source = CLLocationSource::fromFile(home / "walk.txt", &error);
        ASSERT_NE(source, nullptr) << error;
        CLLocationManager::setSource(source);
        view = makeMapView();
        if (!view) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
        host = std::make_unique<HeadlessHost>();
        host->window()->addSubview(view);
        show();
    }
    void TearDown() override {
        view.reset();
        CLLocationManager::setSource(nullptr);
    }
    std::unique_ptr<HeadlessHost> host;
};

TEST_F(UserLocationViewTest, TheDotPulsesOnTheFixAndHeadingTrackingShowsTheCone) {
    view->setShowsUserLocation(true);
    for (int i = 0; i < 100 && !view->viewForAnnotation(view->userLocation()); ++i) advance(0.05);
    const auto marker = std::dynamic_pointer_cast<VMUserLocationView>(
        view->viewForAnnotation(view->userLocation()));
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(marker->bounds().size, (CGSize{25, 25}));
    const auto at = [&] {
        return view->convertCoordinateToPointToView(view->userLocation()->coordinate(), nullptr);
    };
    CGPoint p = at();
    auto image = host->compose();
    EXPECT_TRUE(colourNear(screenPixel(image, p.x + 8, p.y), kWhite, 0.03));
    advance(1.5);
    image = host->compose();
    EXPECT_TRUE(colourNear(screenPixel(image, p.x, p.y), kDot, 0.03));
    EXPECT_TRUE(colourNear(screenPixel(image, p.x + 8, p.y), kDot, 0.03));
    advance(1.5);
    image = host->compose();
    EXPECT_TRUE(colourNear(screenPixel(image, p.x + 8, p.y), kWhite, 0.03));

    EXPECT_EQ(view->angleIndicator(), nullptr);
    view->setUserTrackingMode(2);
    ASSERT_EQ(view->userTrackingMode(), 2);
    advance(2.5);
    frames(20);
    ASSERT_NE(view->angleIndicator(), nullptr);
    EXPECT_EQ(view->angleIndicator()->superview(), marker);
    EXPECT_EQ(marker->subviews().front(), view->angleIndicator());
    p = at();
    image = host->compose();
    const auto tinted = [](CGColor c) { return c.b > c.r + 0.1; };
    const auto around = [&](CGFloat dx, CGFloat dy) {
        return screenPixel(image, p.x + dx, p.y + dy);
    };
    EXPECT_TRUE(tinted(around(0, -40)));
    EXPECT_FALSE(tinted(around(0, 40)));
    EXPECT_FALSE(tinted(around(-40 * std::sin(M_PI / 3), -40 * std::cos(M_PI / 3))));

    view->setUserTrackingMode(1);
    EXPECT_EQ(view->angleIndicator(), nullptr);
    EXPECT_EQ(marker->subviews().size(), 0u);
}

}  // namespace
