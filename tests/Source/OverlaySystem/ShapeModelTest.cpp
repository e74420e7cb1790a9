#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "VMCircle.h"
#include "VMGeodesicPolyline.h"
#include "VMPolygon.h"
#include "VMPolyline.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kNoNumber = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinite = std::numeric_limits<double>::infinity();

TEST(MultiPoint, BoundsCoordinateAndCoordinateRanges) {
    const VMMapPoint two[] = {{0, 0}, {10, -5}};
    const auto line = VMPolyline::polylineWithPoints(two);
    EXPECT_EQ(line->boundingMapRect(), (VMMapRect{{0, -5}, {10, 5}}));

    const VMMapPoint one[] = {{7, 9}};
    EXPECT_EQ(VMPolygon::polygonWithPoints(one)->boundingMapRect(), (VMMapRect{{7, 9}, {0, 0}}));

    const auto empty = VMPolygon::polygonWithPoints({});
    EXPECT_EQ(empty->points(), nullptr);
    EXPECT_EQ(empty->boundingMapRect(), VMMapRect{});
    // Without points a shape has no place, not the world's north-west corner.
    EXPECT_FALSE(coordinateIsFinite(empty->coordinate()));

    const CLLocationCoordinate2D coords[] = {{10, 20}, {-10, 40}, {0, 30}};
    const auto polygon = VMPolygon::polygonWithCoordinates(coords);
    ASSERT_EQ(polygon->pointCount(), 3u);
    EXPECT_EQ(polygon->points()[1], mapPointForCoordinate(coords[1]));
    EXPECT_NEAR(polygon->coordinate().longitude, 30, 1e-5);

    CLLocationCoordinate2D out[3] = {{99, 99}, {99, 99}, {99, 99}};
    polygon->getCoordinates(out, 1, 3);
    polygon->getCoordinates(out, 3, 1);
    polygon->getCoordinates(out, 0, 0);
    EXPECT_EQ(out[0].latitude, 99);
    polygon->getCoordinates(out, 1, 2);
    EXPECT_NEAR(out[0].latitude, -10, 1e-5);
    EXPECT_NEAR(out[1].longitude, 30, 1e-5);
    EXPECT_EQ(out[2].latitude, 99);
}

// Distance of every sample from the centre of the circle through the arc's ends whose chord
// subtends the span.
void expectCircularArc(const std::vector<VMMapPoint>& arc, VMMapPoint a, VMMapPoint b, double span,
                       bool north) {
    const double h = std::hypot(b.x - a.x, b.y - a.y) / 2;
    const double radius = h / std::sin(span / 2);
    const double toCentre = std::sqrt(radius * radius - h * h);
    // The centre lies on the far side of the chord from the bulge.
    double nx = -(b.y - a.y) / (2 * h);
    double ny = (b.x - a.x) / (2 * h);
    if ((ny < 0) == north) {
        nx = -nx;
        ny = -ny;
    }
    const VMMapPoint centre{(a.x + b.x) / 2 + nx * toCentre, (a.y + b.y) / 2 + ny * toCentre};
    for (const VMMapPoint& p : arc) {
        EXPECT_NEAR(std::hypot(p.x - centre.x, p.y - centre.y), radius, 1e-9 * radius);
    }
}

TEST(GeodesicPolyline, DensifiesLongSpansIntoArcs) {
    const VMMapPoint a = mapPointForCoordinate({30, 0});
    const VMMapPoint b = mapPointForCoordinate({40, 30});
    const VMMapPoint pair[] = {a, b};
    const std::vector<VMMapPoint> arc = VMGeodesicPolyline::geodesicLinesForMapPoints(pair);
    ASSERT_EQ(arc.size(), 101u);
    EXPECT_EQ(arc.front(), a);
    // The last sample is taken a hair before the end: t accumulated in floats.
    const double chord = std::hypot(b.x - a.x, b.y - a.y);
    const double shortfall = std::hypot(arc.back().x - b.x, arc.back().y - b.y);
    EXPECT_GT(shortfall, 0);
    EXPECT_LT(shortfall, 1e-5 * chord);
    expectCircularArc(arc, a, b, 30 * kPi / 180, true);
    // It bows northwards, to smaller y.
    EXPECT_LT(arc[50].y, (a.y + b.y) / 2 - 0.05 * chord);

    const VMMapPoint south[] = {mapPointForCoordinate({-30, 0}), mapPointForCoordinate({-40, 30})};
    const auto southArc = VMGeodesicPolyline::geodesicLinesForMapPoints(south);
    expectCircularArc(southArc, south[0], south[1], 30 * kPi / 180, false);

    // 200 degrees apart counts as 20.
    const VMMapPoint wide[] = {mapPointForCoordinate({20, -100}), mapPointForCoordinate({20, 100})};
    expectCircularArc(VMGeodesicPolyline::geodesicLinesForMapPoints(wide), wide[0], wide[1],
                      20 * kPi / 180, true);

    // Under 0.01 rad the pair stays as it is.
    const VMMapPoint close[] = {mapPointForCoordinate({10, 10}), mapPointForCoordinate({20, 10.5})};
    const auto kept = VMGeodesicPolyline::geodesicLinesForMapPoints(close);
    EXPECT_EQ(kept, (std::vector<VMMapPoint>{close[0], close[1]}));

    const VMMapPoint three[] = {a, b, mapPointForCoordinate({30, 60})};
    const auto line = VMGeodesicPolyline::polylineWithPoints(three);
    ASSERT_TRUE(line);
    ASSERT_EQ(line->pointCount(), 202u);
    EXPECT_EQ(line->points()[101], b);
    EXPECT_NEAR(line->points()[100].x, b.x, 1e-5 * chord);

    const CLLocationCoordinate2D one[] = {{1, 1}};
    EXPECT_FALSE(VMGeodesicPolyline::polylineWithCoordinates(one));
    EXPECT_FALSE(VMGeodesicPolyline::polylineWithPoints({}));
    const VMMapPoint broken[] = {{NAN, 0}, a, b};
    EXPECT_EQ(VMGeodesicPolyline::geodesicLinesForMapPoints(broken).size(), 101u);
}

TEST(Circle, OutlineAndBounds) {
    const CLLocationCoordinate2D centre{40, 116};
    const auto circle = VMCircle::circleWithCenterCoordinate(centre, 1000);
    const VMMapPoint c = mapPointForCoordinate(centre);
    const double r = 1000 * mapPointsPerMeterAtLatitude(40);
    EXPECT_EQ(circle->boundingMapRect(), (VMMapRect{{c.x - r, c.y - r}, {2 * r, 2 * r}}));
    ASSERT_EQ(circle->pointsCount(), 360u);
    // Point 0 lies south of the centre (y grows southwards), point 90 east.
    EXPECT_EQ(circle->mapPoints()[0].x, c.x);
    EXPECT_EQ(circle->mapPoints()[0].y, c.y + r);
    EXPECT_NEAR(circle->mapPoints()[90].x, c.x + r, 1e-6);
    for (std::size_t i = 0; i < 360; ++i) {
        const VMMapPoint& p = circle->mapPoints()[i];
        EXPECT_NEAR(std::hypot(p.x - c.x, p.y - c.y), r, 1e-6);
    }

    circle->setRadius(0);
    EXPECT_EQ(circle->boundingMapRect(), (VMMapRect{c, {0, 0}}));
    for (std::size_t i = 0; i < 360; ++i) EXPECT_EQ(circle->mapPoints()[i], c);
    // Nonsense radii draw as none rather than inverting the bounds.
    for (const double bad : {-5.0, double(NAN)}) {
        circle->setRadius(bad);
        EXPECT_EQ(circle->boundingMapRect(), (VMMapRect{c, {0, 0}}));
    }
    const VMMapPoint* before = circle->mapPoints();
    circle->setCoordinate({0, 0});
    EXPECT_NE(circle->mapPoints(), before);
    EXPECT_EQ(circle->mapPoints()[0], mapPointForCoordinate({0, 0}));

    // Outline and count stored as given, the bounds left alone; a count never passes the points.
    const VMMapRect bounds = circle->boundingMapRect();
    const VMMapPoint triangle[] = {{1, 2}, {3, 4}, {5, 6}};
    circle->setMapPoints(triangle);
    EXPECT_EQ(circle->pointsCount(), 3u);
    EXPECT_EQ(circle->mapPoints()[2], (VMMapPoint{5, 6}));
    circle->setPointsCount(2);
    EXPECT_EQ(circle->pointsCount(), 2u);
    circle->setPointsCount(360);
    EXPECT_EQ(circle->pointsCount(), 3u);
    EXPECT_EQ(circle->boundingMapRect(), bounds);
    circle->setRadius(10);
    EXPECT_EQ(circle->pointsCount(), 360u);

    const VMMapRect wide{{134217728, 134217728}, {2000, 1000}};
    const auto fitted = VMCircle::circleWithMapRect(wide);
    EXPECT_NEAR(fitted->radius(),
                metersBetweenMapPoints(wide.origin, {wide.origin.x + 2000, wide.origin.y}) / 2,
                1e-9);
    EXPECT_NEAR(fitted->coordinate().longitude, coordinateForMapPoint({134218728, 0}).longitude,
                1e-9);
}

// A route with a fix that had no position: the fix is left out and the line joins the others,
// instead of running to the world's north-west corner and back.
TEST(MultiPoint, CoordinatesThatAreNotFiniteAreLeftOut) {
    const CLLocationCoordinate2D a{39.90, 116.39}, b{39.95, 116.45}, c{39.93, 116.50};
    const CLLocationCoordinate2D good[] = {a, b, c};
    const auto reference = VMPolyline::polylineWithCoordinates(good);
    const std::vector<VMMapPoint> points(reference->points(), reference->points() + 3);
    const auto check = [&](const char* name, auto make) {
        for (const double bad : {kNoNumber, kInfinite, -kInfinite}) {
            SCOPED_TRACE(std::string(name) + " with " + std::to_string(bad));
            testsupport::LogCapture log;
            const CLLocationCoordinate2D given[] = {{bad, 116.4}, a, b, {39.9, bad}, c, {bad, bad}};
            const auto shape = make(given);
            ASSERT_EQ(shape->pointCount(), 3u);
            EXPECT_EQ(std::vector<VMMapPoint>(shape->points(), shape->points() + 3), points);
            EXPECT_EQ(shape->boundingMapRect(), reference->boundingMapRect());
            EXPECT_EQ(shape->coordinate(), reference->coordinate());
            EXPECT_TRUE(log.contains("VMMultiPoint: left out 3 coordinates that are not finite"));

            const CLLocationCoordinate2D none[] = {{bad, bad}, {bad, 0}};
            const auto nothing = make(none);
            EXPECT_EQ(nothing->pointCount(), 0u);
            EXPECT_EQ(nothing->boundingMapRect(), VMMapRect{});
            EXPECT_FALSE(coordinateIsFinite(nothing->coordinate()));
        }
    };
    check("polyline", [](std::span<const CLLocationCoordinate2D> coordinates) {
        return VMPolyline::polylineWithCoordinates(coordinates);
    });
    check("polygon", [](std::span<const CLLocationCoordinate2D> coordinates) {
        return VMPolygon::polygonWithCoordinates(coordinates);
    });
}

// A circle round an order with no position has no outline to draw or fit, until it gets one.
TEST(Circle, ACentreThatIsNotFiniteHasNoPlace) {
    for (const double bad : {kNoNumber, kInfinite, -kInfinite}) {
        SCOPED_TRACE(bad);
        const auto circle = VMCircle::circleWithCenterCoordinate({bad, 116}, 500);
        EXPECT_EQ(circle->pointsCount(), 0u);
        EXPECT_EQ(circle->boundingMapRect(), VMMapRect{});
        EXPECT_FALSE(coordinateIsFinite(circle->coordinate()));

        circle->setCoordinate({40, 116});
        EXPECT_EQ(circle->pointsCount(), 360u);
        EXPECT_NEAR(circle->boundingMapRect().size.width, 1000 * mapPointsPerMeterAtLatitude(40),
                    1e-6);
        circle->setCoordinate({40, bad});
        EXPECT_EQ(circle->pointsCount(), 0u);
        EXPECT_EQ(circle->boundingMapRect(), VMMapRect{});
    }
}

}  // namespace
