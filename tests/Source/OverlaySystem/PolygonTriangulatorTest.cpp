#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "VMPolygonClipper.h"
#include "VMPolygonTriangulator.h"

namespace {

using P = Vector3<float>;

double signedArea(const P& a, const P& b, const P& c) {
    return ((double(b.x) - a.x) * (double(c.y) - a.y) - (double(b.y) - a.y) * (double(c.x) - a.x)) /
           2;
}

double polygonArea(const VMPointList& polygon) {
    double sum = 0;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        sum += double(polygon[j].x) * polygon[i].y - double(polygon[j].y) * polygon[i].x;
    }
    return std::fabs(sum / 2);
}

// A band wound about the origin: long runs of reflex vertices on its inner bank.
VMPointList spiral(double turns, double step) {
    VMPointList outer;
    VMPointList inner;
    for (double t = 0; t <= 2 * M_PI * turns; t += step) {
        const double r = 2 + 1.5 * t;
        outer.push_back({float(r * std::cos(t)), float(r * std::sin(t)), 0});
        inner.push_back({float((r - 2) * std::cos(t)), float((r - 2) * std::sin(t)), 0});
    }
    outer.insert(outer.end(), inner.rbegin(), inner.rend());
    return outer;
}

struct Shape {
    const char* name;
    VMPointList points;
};

TEST(Triangulation, CoversEachPolygonExactlyWithTrianglesInside) {
    const Shape shapes[] = {
        {"triangle", {{0, 0}, {4, 0}, {0, 3}}},
        {"square", {{0, 0}, {2, 0}, {2, 2}, {0, 2}}},
        {"L", {{0, 0}, {4, 0}, {4, 1}, {1, 1}, {1, 4}, {0, 4}}},
        {"spiral", spiral(2, 0.1)},
        {"long spiral", spiral(3, 0.01)},
        {"collinear runs",
         {{0, 0},
          {1, 0},
          {2, 0},
          {3, 0},
          {3, 1},
          {3, 2},
          {2, 2},
          {2, 3},
          {2, 4},
          {1, 4},
          {0, 4},
          {0, 3},
          {0, 2},
          {0, 1}}},
    };
    VMTriangulator::VMPolygonTriangulator triangulator;
    for (const Shape& shape : shapes) {
        for (const bool reversed : {false, true}) {
            SCOPED_TRACE(std::string(shape.name) + (reversed ? " reversed" : ""));
            VMPointList polygon = shape.points;
            if (reversed) std::reverse(polygon.begin(), polygon.end());
            const auto& indices = triangulator.triangulate(polygon);
            ASSERT_EQ(indices.size(), 3 * (polygon.size() - 2));
            double area = 0;
            for (std::size_t t = 0; t < indices.size(); t += 3) {
                ASSERT_LT(indices[t + 2], polygon.size());
                const P& a = polygon[indices[t]];
                const P& b = polygon[indices[t + 1]];
                const P& c = polygon[indices[t + 2]];
                const double s = signedArea(a, b, c);
                // Clockwise or flat, never folded back.
                EXPECT_LE(s, 1e-9);
                area += std::fabs(s);
                if (std::fabs(s) > 1e-9) {
                    const P centroid{(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, 0};
                    EXPECT_TRUE(pointInPolygon(polygon.data(), polygon.size(), centroid));
                }
            }
            EXPECT_NEAR(area, polygonArea(polygon), 1e-6 * polygonArea(polygon));
        }
    }
}

TEST(Triangulation, DegenerateAndHugePolygons) {
    VMTriangulator::VMPolygonTriangulator triangulator;
    EXPECT_TRUE(triangulator.triangulate({{0, 0}, {1, 1}}).empty());
    // Repeated and collinear points still give a full, finite index list.
    const VMPointList flat{{0, 0}, {1, 0}, {1, 0}, {2, 0}};
    const auto& flatIndices = triangulator.triangulate(flat);
    EXPECT_EQ(flatIndices.size(), 6u);
    for (const auto i : flatIndices) EXPECT_LT(i, flat.size());

    // Points at infinity or not numbers give the search index no size to divide: the list is
    // still full and in range.
    for (const float bad : {NAN, INFINITY}) {
        VMPointList star = spiral(2, 0.1);
        star[17].x = bad;
        star[90].y = bad;
        const auto& indices = triangulator.triangulate(star);
        EXPECT_EQ(indices.size(), 3 * (star.size() - 2));
        EXPECT_LT(*std::max_element(indices.begin(), indices.end()), star.size());
    }

    VMPointList circle;
    const int n = 70000;
    for (int i = 0; i < n; ++i) {
        const double a = 2 * M_PI * i / n;
        circle.push_back({float(1e5 * std::cos(a)), float(1e5 * std::sin(a)), 0});
    }
    const auto& indices = triangulator.triangulate(circle);
    ASSERT_EQ(indices.size(), 3u * (n - 2));
    double area = 0;
    std::uint32_t highest = 0;
    for (std::size_t t = 0; t < indices.size(); t += 3) {
        highest = std::max({highest, indices[t], indices[t + 1], indices[t + 2]});
        area += std::fabs(
            signedArea(circle[indices[t]], circle[indices[t + 1]], circle[indices[t + 2]]));
    }
    EXPECT_EQ(highest, std::uint32_t(n - 1));
    EXPECT_NEAR(area, polygonArea(circle), 1e-6 * polygonArea(circle));
}

// The order ears are cut in fixes the triangles: a comb's teeth, cut from two entries past each
// ear, whatever index keeps the search cheap.
TEST(Triangulation, SearchResumesTwoEntriesPastTheLastEar) {
    const VMPointList comb{{0, 0}, {6, 0}, {6, 3}, {5, 3}, {5, 1}, {4, 1}, {4, 3},
                           {3, 3}, {3, 1}, {2, 1}, {2, 3}, {1, 3}, {1, 1}, {0, 1}};
    VMTriangulator::VMPolygonTriangulator triangulator;
    EXPECT_EQ(triangulator.triangulate(comb),
              (std::vector<std::uint32_t>{0, 13, 12, 12, 11, 10, 8, 7, 6, 4, 3, 2,
                                          1, 0,  12, 12, 10, 9,  8, 6, 5, 4, 2, 1,
                                          1, 12, 9,  9,  8,  5,  5, 4, 1, 1, 9, 5}));
}

}  // namespace
