#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "CoreLocation/CLLocationManager.h"
#include "Foundation/NSRunLoop.h"
#include "ManualClock.h"
#include "TempDir.h"

namespace {

using testsupport::TempDir;

struct Recorder : CLLocationManagerDelegate {
    struct Fix {
        CLLocationCoordinate2D coordinate;
        double accuracy;
        bool hadOld;
        CFTimeInterval at;
    };
    std::vector<Fix> fixes;
    std::vector<double> headings;
    std::vector<NSError> errors;
    void locationManagerDidUpdateToLocation(CLLocationManager&,
                                            const std::shared_ptr<CLLocation>& l,
                                            const std::shared_ptr<CLLocation>& old) override {
        EXPECT_TRUE(NSRunLoop::isMainThread());
        fixes.push_back({l->coordinate(), l->horizontalAccuracy(), old != nullptr, Clock::now()});
    }
    void locationManagerDidUpdateHeading(CLLocationManager&,
                                         const std::shared_ptr<CLHeading>& h) override {
        headings.push_back(h->trueHeading());
    }
    void locationManagerDidFailWithError(CLLocationManager&, const NSError& e) override {
        errors.push_back(e);
    }
};

class LocationManagerTest : public testsupport::ManualClockTest {
  protected:
    void TearDown() override { CLLocationManager::setSource(nullptr); }
    void install(const char* text) {
        std::string error;
        auto source = CLLocationSource::parse(text, &error);
        ASSERT_NE(source, nullptr) << error;
        CLLocationManager::setSource(source);
    }
    std::shared_ptr<CLLocationManager> makeManager() {
        auto m = CLLocationManager::create();
        m->setDelegate(recorder);
        return m;
    }
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

TEST(LocationSource, FileLinesAndArguments) {
    std::string error;
    auto source = CLLocationSource::parse(
        "# journey\n0 fix 39.9 116.4\n\n1.5\theading 87.5 80 3  # turn\n4 fix -33.5 151.2 8 45\r\n",
        &error);
    ASSERT_NE(source, nullptr) << error;
    ASSERT_EQ(source->fixes().size(), 2u);
    EXPECT_EQ(source->fixes()[0].coordinate, (CLLocationCoordinate2D{39.9, 116.4}));
    EXPECT_EQ(source->fixes()[1].at, 4);
    EXPECT_EQ(source->fixes()[1].horizontalAccuracy, 8);
    EXPECT_EQ(source->fixes()[1].altitude, 45);
    ASSERT_EQ(source->headings().size(), 1u);
    EXPECT_EQ(source->headings()[0].trueHeading, 87.5);
    EXPECT_EQ(source->headings()[0].headingAccuracy, 3);

    const struct {
        const char* text;
        const char* error;
    } bad[] = {
        {"0 fix 39.9\n", "line 1: fix takes 2 to 4 numbers"},
        {"0 fix 39.9 116.4\n2 fix 1 2\n1 fix 1 2\n", "line 3: time goes backwards"},
        {"0 fix 91 116.4\n", "line 1: coordinate out of range"},
        {"0 fix nan 116.4\n", "line 1: bad number"},
        {"0 fix 39.9 116.4 -1\n", "line 1: negative accuracy"},
        {"-1 fix 39.9 116.4\n", "line 1: bad time"},
        {"0 heading 360\n", "line 1: heading out of range"},
        {"\n0 walk 1 2\n", "line 2: expected \"fix\" or \"heading\""},
        {"# nothing\n", "no fixes or headings"},
    };
    for (const auto& b : bad) {
        std::string why;
        EXPECT_EQ(CLLocationSource::parse(b.text, &why), nullptr) << b.text;
        EXPECT_EQ(why, b.error) << b.text;
    }

    auto fixed = CLLocationSource::fromArgument("39.90872,116.3975", &error);
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->fixes()[0].coordinate, (CLLocationCoordinate2D{39.90872, 116.3975}));
    EXPECT_EQ(CLLocationSource::fromArgument("100,116", &error), nullptr);
    EXPECT_EQ(error, "coordinate out of range: 100,116");

    TempDir dir;
    const std::string path = dir / "route.txt";
    std::ofstream(path) << "0 fix 1 2\n";
    auto fromFile = CLLocationSource::fromArgument(path, &error);
    ASSERT_NE(fromFile, nullptr) << error;
    EXPECT_EQ(fromFile->fixes()[0].coordinate, (CLLocationCoordinate2D{1, 2}));
    EXPECT_EQ(CLLocationSource::fromArgument(dir / "missing", &error), nullptr);
    EXPECT_EQ(error, "cannot read " + dir / "missing");
    std::ofstream(path) << "0 fix 1 2\nx\n";
    EXPECT_EQ(CLLocationSource::fromFile(path, &error), nullptr);
    EXPECT_EQ(error, path + ": line 2: bad time");
}

TEST_F(LocationManagerTest, NoSourceFailsAGoneManagerHearsNothingAndATimelinePlaysOnTheMainLoop) {
    EXPECT_FALSE(CLLocationManager::headingAvailable());
    auto blind = makeManager();
    blind->startUpdatingLocation();
    blind->startUpdatingHeading();
    loop->runUntilIdle();
    ASSERT_EQ(recorder->errors.size(), 1u);
    EXPECT_EQ(recorder->errors[0].domain, kCLErrorDomain);
    EXPECT_EQ(recorder->errors[0].code, kCLErrorLocationUnknown);
    EXPECT_TRUE(recorder->headings.empty());

    CLLocationManager::setSource(CLLocationSource::fixed({5, 6}));
    EXPECT_FALSE(CLLocationManager::headingAvailable());
    auto gone = makeManager();
    gone->startUpdatingLocation();
    gone.reset();
    loop->runUntilIdle();
    EXPECT_TRUE(recorder->fixes.empty());
    blind.reset();

    install("0 fix 1 1\n1 heading 10\n2 fix 2 2 20\n3 heading 20\n5 fix 3 3\n");
    EXPECT_TRUE(CLLocationManager::headingAvailable());
    auto manager = makeManager();
    const CFTimeInterval start = Clock::now();
    manager->startUpdatingLocation();
    manager->startUpdatingHeading();
    // Nothing is reported inside the start call itself.
    EXPECT_TRUE(recorder->fixes.empty());
    loop->runUntilIdle();
    ASSERT_EQ(recorder->fixes.size(), 1u);
    EXPECT_EQ(recorder->fixes[0].coordinate, (CLLocationCoordinate2D{1, 1}));
    EXPECT_FALSE(recorder->fixes[0].hadOld);
    EXPECT_TRUE(recorder->headings.empty());

    advance(1.0);
    EXPECT_EQ(recorder->headings, std::vector<double>{10});
    advance(1.0);
    ASSERT_EQ(recorder->fixes.size(), 2u);
    EXPECT_EQ(recorder->fixes[1].accuracy, 20);
    EXPECT_TRUE(recorder->fixes[1].hadOld);
    EXPECT_DOUBLE_EQ(recorder->fixes[1].at, start + 2.0);
    EXPECT_EQ(manager->location()->coordinate(), (CLLocationCoordinate2D{2, 2}));

    manager->stopUpdatingHeading();
    manager->stopUpdatingLocation();
    advance(10);
    EXPECT_EQ(recorder->fixes.size(), 2u);
    EXPECT_EQ(recorder->headings.size(), 1u);

    // A manager started later begins with the position of the moment, not the first one.
    auto late = makeManager();
    late->startUpdatingLocation();
    late->startUpdatingHeading();
    loop->runUntilIdle();
    ASSERT_EQ(recorder->fixes.size(), 3u);
    EXPECT_EQ(recorder->fixes[2].coordinate, (CLLocationCoordinate2D{3, 3}));
    EXPECT_EQ(recorder->headings.back(), 20);
}

TEST_F(LocationManagerTest, FiltersDropSmallMovesAndTurns) {
    // 0.0001 degrees of latitude is about 11 m.
    install(
        "0 fix 10 10\n0 heading 10\n1 fix 10.0001 10\n1 heading 10.5\n2 fix 10.001 10\n"
        "2 heading 359\n");
    auto manager = makeManager();
    manager->setDistanceFilter(50);
    manager->setHeadingFilter(5);
    manager->startUpdatingLocation();
    manager->startUpdatingHeading();
    advance(0);
    advance(1);
    advance(1);
    ASSERT_EQ(recorder->fixes.size(), 2u);
    EXPECT_EQ(recorder->fixes[1].coordinate.latitude, 10.001);
    // 10 to 359 is an 11 degree turn across north.
    EXPECT_EQ(recorder->headings, (std::vector<double>{10, 359}));
}

}  // namespace
