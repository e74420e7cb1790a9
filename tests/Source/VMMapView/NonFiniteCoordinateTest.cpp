#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "MapViewFixture.h"
#include "VMMapStatus.h"
#include "VMPointAnnotation.h"

namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
const CLLocationCoordinate2D kOrdersCentre{39.908, 116.397};
constexpr double kOrderZoom = 14;
constexpr double kOrderTurn = 30;

using Annotations = std::vector<std::shared_ptr<VMAnnotation>>;

// Counts the camera's region reports.
struct RegionListener : VMMapViewDelegate {
    int willChange = 0;
    void mapViewRegionWillChangeAnimated(VMMapView&, bool) override { ++willChange; }
};

class NonFiniteCoordinateTest : public MapViewFixture {
  protected:
    void SetUp() override {
        openHostedView();
        if (!view) return;
        view->setDelegate(listener);
        placeCamera();
    }
    // Beijing at zoom 14, turned, as a map screen showing an order's neighbourhood.
    void placeCamera() {
        view->setCenterCoordinate(kOrdersCentre);
        view->zoomToLevel(kOrderZoom);
        view->setRotationDegree(kOrderTurn);
        frames(2);
        listener->willChange = 0;
    }
    ::testing::AssertionResult cameraUnmoved() {
        const CLLocationCoordinate2D c = view->centerCoordinate();
        if (!coordinateNear(c, kOrdersCentre, 1e-5))
            return ::testing::AssertionFailure()
                   << "the centre moved to " << c.latitude << ", " << c.longitude;
        if (std::abs(view->zoomLevel() - kOrderZoom) > 1e-6)
            return ::testing::AssertionFailure() << "the zoom moved to " << view->zoomLevel();
        if (std::abs(view->rotationDegree() - kOrderTurn) > 1e-6)
            return ::testing::AssertionFailure() << "the map turned to " << view->rotationDegree();
        return ::testing::AssertionSuccess();
    }

    std::shared_ptr<RegionListener> listener = std::make_shared<RegionListener>();
};

struct CameraEntryCase {
    const char* name;
    // What the log says about the refusal.
    const char* logged;
    std::function<void(VMMapView&, double bad)> call;
};

// Every way a coordinate (or a rect made from one) reaches the camera, with each value that is
// not finite: the map stays where it was, no region change is announced, and the log says why.
TEST_F(NonFiniteCoordinateTest, TheCameraRefusesThemAndStaysWhereItWas) {
    const std::vector<CameraEntryCase> cases{
        {"centre, latitude", "setCenterCoordinate: refused",
         [](VMMapView& v, double bad) {
             v.setCenterCoordinate({bad, 116.4});
         }},
        {"centre, longitude, animated", "setCenterCoordinate: refused",
         [](VMMapView& v, double bad) {
             v.setCenterCoordinate({39.9, bad}, true);
         }},
        {"region centre, animated", "setRegion: refused",
         [](VMMapView& v, double bad) {
             v.setRegion({{bad, 116.4}, {0.1, 0.1}}, true);
         }},
        {"region span", "setRegion: refused",
         [](VMMapView& v, double bad) {
             v.setRegion({{39.9, 116.4}, {0.1, bad}});
         }},
        {"visible map rect origin", "setVisibleMapRect: refused",
         [](VMMapView& v, double bad) {
             v.setVisibleMapRect({{bad, 1e8}, {1e4, 1e4}});
         }},
        {"visible map rect size, animated", "setVisibleMapRect: refused",
         [](VMMapView& v, double bad) {
             v.setVisibleMapRect({{1e8, 1e8}, {bad, 1e4}}, {}, true);
         }},
        {"map status", "setMapStatus: refused",
         [](VMMapView& v, double bad) {
             v.setMapStatus(VMMapStatus{{bad, bad}, 10, 0, 0, {0.5, 0.5}}, true);
         }},
        {"showing one annotation", "showAnnotations: left out 1",
         [](VMMapView& v, double bad) {
             v.showAnnotations({Landmark::create({bad, 116.4})}, false);
         }},
        {"showing annotations, animated", "showAnnotations: left out 2",
         [](VMMapView& v, double bad) {
             v.showAnnotations(
                 {Landmark::create({bad, 116.4}), nullptr, VMPointAnnotation::create({39.9, bad})},
                 true);
         }},
        {"selecting an annotation", "setCenterCoordinate: refused",
         [](VMMapView& v, double bad) {
             const auto order = Landmark::create({bad, bad});
             v.addAnnotation(order);
             v.selectAnnotation(order, true);
             EXPECT_EQ(v.selectedAnnotation(), nullptr);
             v.removeAnnotation(order);
         }},
    };
    for (const CameraEntryCase& c : cases) {
        for (const double bad : {kNotANumber, kInfinity, -kInfinity}) {
            SCOPED_TRACE(std::string(c.name) + " with " + std::to_string(bad));
            testsupport::LogCapture log;
            c.call(*view, bad);
            // Long enough for an animated move to show.
            frames(12);
            EXPECT_TRUE(cameraUnmoved());
            EXPECT_EQ(listener->willChange, 0);
            EXPECT_TRUE(log.contains(c.logged));
            placeCamera();
        }
    }
}

// "Show all" over orders of which one has no position fits the others, as if it were not there.
TEST_F(NonFiniteCoordinateTest, ShowingAllFitsOnlyTheAnnotationsWithAPlace) {
    const Annotations placed{VMPointAnnotation::create({39.90, 116.39}),
                             VMPointAnnotation::create({39.95, 116.45})};
    view->showAnnotations(placed, false);
    frames(2);
    const VMMapRect fitted = view->visibleMapRect();
    const double zoom = view->zoomLevel();
    placeCamera();

    for (const double bad : {kNotANumber, kInfinity}) {
        SCOPED_TRACE(bad);
        Annotations all = placed;
        all.insert(all.begin() + 1, Landmark::create({bad, 116.4}));
        view->showAnnotations(all, false);
        frames(2);
        EXPECT_NEAR(view->zoomLevel(), zoom, 1e-6);
        EXPECT_TRUE(pointNear(view->visibleMapRect().origin, fitted.origin, 1));
        placeCamera();

        // With one placed annotation left, the map centres on it as for that one alone.
        view->showAnnotations({all[0], all[1]}, false);
        frames(2);
        EXPECT_TRUE(coordinateNear(view->centerCoordinate(), {39.90, 116.39}, 1e-5));
        EXPECT_NEAR(view->zoomLevel(), kOrderZoom, 1e-6);
        placeCamera();
    }
}

// An order without a position stays in the map's list but gets no pin; a pin whose order loses
// its position leaves the map, selected or not, and comes back once it has one again.
TEST_F(NonFiniteCoordinateTest, AnnotationsWithoutAPlaceAreListedButNotPlaced) {
    view->setRotationDegree(0);
    frames(1);
    const VMMapRect world{{0, 0}, {268435456, 268435456}};
    for (const double bad : {kNotANumber, kInfinity, -kInfinity}) {
        SCOPED_TRACE(bad);
        testsupport::LogCapture log;
        const auto lost = Landmark::create({bad, 116.4});
        const auto also = Landmark::create({39.9, bad});
        view->addAnnotation(lost);
        view->addAnnotations({also});
        EXPECT_TRUE(log.contains("addAnnotation: the annotation's coordinate is not finite"));
        EXPECT_TRUE(log.contains("addAnnotations: the annotation's coordinate is not finite"));
        EXPECT_EQ(view->annotations(), (Annotations{lost, also}));
        EXPECT_EQ(view->viewForAnnotation(lost), nullptr);
        EXPECT_EQ(view->viewForAnnotation(also), nullptr);
        EXPECT_TRUE(view->annotationsInMapRect(world).empty());
        // A region change's reuse pass places nothing for them either.
        view->setCenterCoordinate(coordinateAt({170, 250}));
        EXPECT_EQ(view->annotationFloor()->subviews().size(), 0u);
        view->removeAnnotations({lost, also});
        EXPECT_TRUE(view->annotations().empty());
        placeCamera();
        view->setRotationDegree(0);
        frames(1);
    }

    for (const bool selected : {false, true}) {
        SCOPED_TRACE(selected ? "selected" : "not selected");
        const CLLocationCoordinate2D here = coordinateAt({100, 120});
        const auto pin = VMPointAnnotation::create(here);
        view->addAnnotation(pin);
        const auto shown = view->viewForAnnotation(pin);
        ASSERT_NE(shown, nullptr);
        if (selected) view->selectAnnotation(pin, false);
        pin->setCoordinate({kNotANumber, here.longitude});
        EXPECT_EQ(view->viewForAnnotation(pin), nullptr);
        EXPECT_EQ(shown->superview(), nullptr);
        EXPECT_EQ(view->selectedAnnotation(), nullptr);
        EXPECT_EQ(view->annotations(), Annotations{pin});

        pin->setCoordinate(here);
        view->setCenterCoordinate(view->centerCoordinate());
        const auto back = view->viewForAnnotation(pin);
        ASSERT_NE(back, nullptr);
        const CGPoint offset = back->centerOffset();
        EXPECT_TRUE(pointNear(CGPoint{back->center().x - offset.x, back->center().y - offset.y},
                              view->pointForMapPoint(mapPointForCoordinate(here)), 0.5));
        view->removeAnnotation(pin);
    }
}

}  // namespace
