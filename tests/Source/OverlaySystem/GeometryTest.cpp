#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "CoreGraphics/CGGeometry.h"
#include "NSValueVMGeometryExtensions.h"
#include "VMGeometry.h"

namespace {

TEST(MapPoints, MapPointsBackToCoordinatesDropFractions) {
    const CLLocationCoordinate2D center = coordinateForMapPoint({134217728, 134217728});
    EXPECT_NEAR(center.latitude, 0, 1e-12);
    EXPECT_NEAR(center.longitude, 0, 1e-12);
    const CLLocationCoordinate2D corner = coordinateForMapPoint({0, 0});
    EXPECT_NEAR(corner.latitude, 85.0511287798, 1e-9);
    EXPECT_NEAR(corner.longitude, -180, 1e-12);

    EXPECT_EQ(coordinateForMapPoint({0.9, 0.9}), coordinateForMapPoint({0, 0}));
    EXPECT_EQ(coordinateForMapPoint({-0.5, 7.99}), coordinateForMapPoint({0, 7}));

    // A whole map point survives the round trip.
    const VMMapPoint p{221016352, 101710209};
    EXPECT_EQ(mapPointForCoordinate(coordinateForMapPoint(p)), p);
}

// The engine refuses a coordinate that is not finite; it then has no map point at all, not the
// world's north-west corner, which the camera would take for a place.
TEST(MapPoints, CoordinatesThatAreNotFiniteHaveNone) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const CLLocationCoordinate2D bad[] = {
        {std::nan(""), 116}, {39, std::nan("")}, {kInf, 116}, {39, -kInf}, {-kInf, kInf}};
    for (const CLLocationCoordinate2D& c : bad) {
        SCOPED_TRACE(std::to_string(c.latitude) + ", " + std::to_string(c.longitude));
        EXPECT_FALSE(coordinateIsFinite(c));
        const VMMapPoint p = mapPointForCoordinate(c);
        EXPECT_TRUE(std::isnan(p.x));
        EXPECT_TRUE(std::isnan(p.y));
    }
    EXPECT_TRUE(coordinateIsFinite({-90, 180}));
    EXPECT_EQ(mapPointForCoordinate({90, -180}), (VMMapPoint{0, 0}));
}

TEST(Regions, RectanglesAreCentredOnTheCentresMapPoint) {
    const CLLocationCoordinate2D c{39.9, 116.4};
    const VMMapPoint cp = mapPointForCoordinate(c);
    EXPECT_EQ(mapRectForRegion({c, {0, 0}}), (VMMapRect{cp, {0, 0}}));

    // A tall region: the corners are not symmetric about the centre in Mercator, and the
    // rectangle is laid out around the centre anyway.
    const VMCoordinateRegion tall{{30, 10}, {40, 1}};
    const VMMapRect r = mapRectForRegion(tall);
    const VMMapPoint north = mapPointForCoordinate({50, 9.5});
    const VMMapPoint south = mapPointForCoordinate({10, 10.5});
    EXPECT_EQ(r.size.height, south.y - north.y);
    EXPECT_DOUBLE_EQ(r.origin.y + r.size.height / 2, mapPointForCoordinate(tall.center).y);
    EXPECT_NE(r.origin.y, north.y);
    // So a round trip through a region need not keep the height of a tall rectangle.
    const VMMapRect tallRect{{100000000, 60000000}, {1000000, 30000000}};
    EXPECT_NE(mapRectForRegion(regionForMapRect(tallRect)).size.height, tallRect.size.height);
}

TEST(Rects, ContainmentIsHalfOpen) {
    const VMMapRect r{{10, 20}, {30, 40}};
    EXPECT_TRUE(mapRectContainsPoint(r, {10, 20}));
    EXPECT_TRUE(mapRectContainsPoint(r, {39.999, 59.999}));
    EXPECT_FALSE(mapRectContainsPoint(r, {40, 30}));
    EXPECT_FALSE(mapRectContainsPoint(r, {20, 60}));
    EXPECT_FALSE(mapRectContainsPoint(r, {9.999, 30}));
    // A negative size covers the mirrored area.
    EXPECT_TRUE(mapRectContainsPoint({{40, 60}, {-30, -40}}, {10, 20}));
    EXPECT_FALSE(mapRectContainsPoint({{10, 20}, {0, 40}}, {10, 30}));
}

struct IntersectionCase {
    const char* name;
    VMMapRect a;
    VMMapRect b;
    bool meet;
};

// The kit's test is the platform's: every case is put to both, in both orders.
TEST(Rects, IntersectionAgreesWithThePlatform) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const VMMapRect square{{0, 0}, {10, 10}};
    const IntersectionCase cases[] = {
        {"overlap", square, {{5, 5}, {10, 10}}, true},
        {"inside", square, {{2, 2}, {1, 1}}, true},
        {"negative size inside", square, {{12, 12}, {-4, -4}}, true},
        {"touching edges", square, {{10, 0}, {5, 5}}, false},
        {"touching corners", square, {{10, 10}, {5, 5}}, false},
        {"apart", square, {{20, 20}, {5, 5}}, false},
        {"horizontal line across", square, {{-5, 5}, {20, 0}}, true},
        {"vertical line across", square, {{5, -5}, {0, 20}}, true},
        {"horizontal line inside", square, {{2, 5}, {3, 0}}, true},
        {"line on the minimum edge", square, {{-5, 0}, {20, 0}}, true},
        {"line on the maximum edge", square, {{-5, 10}, {20, 0}}, false},
        {"line ending at the edge", square, {{-5, 5}, {5, 0}}, false},
        {"line beside", square, {{11, 5}, {5, 0}}, false},
        {"point inside", square, {{3, 3}, {0, 0}}, true},
        {"point on the far corner", square, {{10, 10}, {0, 0}}, false},
        {"crossing lines", {{0, 5}, {10, 0}}, {{5, 0}, {0, 10}}, true},
        {"overlapping collinear lines", {{0, 5}, {10, 0}}, {{5, 5}, {10, 0}}, true},
        {"parallel lines", {{0, 5}, {10, 0}}, {{0, 6}, {10, 0}}, false},
        {"the same point", {{3, 3}, {0, 0}}, {{3, 3}, {0, 0}}, true},
        {"null rectangle", square, {{kInf, kInf}, {0, 0}}, false},
    };
    for (const IntersectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CGRect a = CGRectMake(c.a.origin.x, c.a.origin.y, c.a.size.width, c.a.size.height);
        const CGRect b = CGRectMake(c.b.origin.x, c.b.origin.y, c.b.size.width, c.b.size.height);
        EXPECT_EQ(mapRectIntersectsRect(c.a, c.b), c.meet);
        EXPECT_EQ(mapRectIntersectsRect(c.b, c.a), c.meet);
        EXPECT_EQ(CGRectIntersectsRect(a, b), c.meet);
        EXPECT_EQ(CGRectIntersectsRect(b, a), c.meet);
    }
}

TEST(Distances, MetresAgainstMapPoints) {
    EXPECT_DOUBLE_EQ(metersPerMapPointAtLatitude(0), 0.14929106831550598);
    EXPECT_NEAR(metersPerMapPointAtLatitude(60), 0.074645534157753, 1e-15);
    const double atPole = mapPointsPerMeterAtLatitude(90);
    EXPECT_TRUE(std::isfinite(atPole));
    EXPECT_GT(atPole, 1e16);

    // Along the equator 1000 map points are 149.29 m.
    EXPECT_NEAR(metersBetweenMapPoints({134217728, 134217728}, {134218728, 134217728}),
                149.29106831550598, 1e-6);
    // At 60 degrees the scale halves, measured at the mean latitude of the two points.
    const VMMapPoint p = mapPointForCoordinate({60, 10});
    const VMMapPoint q{p.x + 3000, p.y + 4000};
    const double mean = (coordinateForMapPoint(p).latitude + coordinateForMapPoint(q).latitude) / 2;
    EXPECT_DOUBLE_EQ(metersBetweenMapPoints(p, q), 5000 * metersPerMapPointAtLatitude(mean));
    EXPECT_NEAR(metersBetweenMapPoints(p, q), 5000 * 0.0746455, 0.05);
}

TEST(GeometryValues, RoundTripKeepsEveryDouble) {
    constexpr double kMax = std::numeric_limits<double>::max();
    constexpr double kTiny = std::numeric_limits<double>::denorm_min();
    const VMMapRect rects[] = {
        {{0, 0}, {0, 0}},
        {{221016352, 101710209}, {400000.25, 200000.5}},
        {{-kMax, kMax}, {-kTiny, kTiny}},
        {{-0.0, 268435455}, {-1, -2}},
    };
    for (const VMMapRect& r : rects) {
        EXPECT_EQ(VMMapRectValue(valueWithVMMapRect(r)), r);
        EXPECT_EQ(VMMapPointValue(valueWithVMMapPoint(r.origin)), r.origin);
        EXPECT_EQ(VMMapSizeValue(valueWithVMMapSize(r.size)), r.size);
    }
    EXPECT_EQ(valueWithVMMapPoint({1, 2}).objCType(), "{?=dd}");
    EXPECT_EQ(valueWithVMMapRect({{1, 2}, {3, 4}}).objCType(), "{?={?=dd}{?=dd}}");
}

}  // namespace
