#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "LogCapture.h"
#include "VMLineBuilder.h"

namespace {

using P = Vector3<float>;

float distance(const P& a, const P& b) { return std::hypot(a.x - b.x, a.y - b.y); }

double coveredArea(const Drawable& d) {
    double area = 0;
    for (std::size_t t = 0; t < d.indices.size(); t += 3) {
        const P& a = d.vertices[d.indices[t]].position;
        const P& b = d.vertices[d.indices[t + 1]].position;
        const P& c = d.vertices[d.indices[t + 2]].position;
        area += std::fabs((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x)) / 2;
    }
    return area;
}

void expectSound(const Drawable& d) {
    ASSERT_EQ(d.indices.size() % 3, 0u);
    for (const auto i : d.indices) ASSERT_LT(i, d.vertices.size());
    for (const Vertex& v : d.vertices) {
        ASSERT_TRUE(std::isfinite(v.position.x) && std::isfinite(v.position.y));
    }
}

TEST(LineBuilder, EveryPieceOfAStraightLineIsDrawnOnce) {
    VMLineBuilder builder;
    const VMPointList line{{0, 0}, {3, 0}, {7, 0}, {12, 0}};
    builder.build(&line, false, kVMLineJoinRound, kVMLineCapNone, {}, 2);
    const Drawable& d = builder.drawable();
    expectSound(d);
    // Collinear points add no join geometry: one strip of a quad per segment.
    EXPECT_EQ(d.vertices.size(), 8u);
    EXPECT_EQ(d.indices.size(), 18u);
    EXPECT_NEAR(coveredArea(d), 12 * 2, 1e-4);
    // The texture coordinate runs along the line, a unit per four widths.
    EXPECT_FLOAT_EQ(d.vertices.back().v - d.vertices.front().v, 12.0f / 8);
}

bool covered(const Drawable& d, float x, float y) {
    for (std::size_t t = 0; t < d.indices.size(); t += 3) {
        const P& a = d.vertices[d.indices[t]].position;
        const P& b = d.vertices[d.indices[t + 1]].position;
        const P& c = d.vertices[d.indices[t + 2]].position;
        const auto side = [x, y](const P& p, const P& q) {
            return (q.x - p.x) * (y - p.y) - (q.y - p.y) * (x - p.x);
        };
        const float s1 = side(a, b);
        const float s2 = side(b, c);
        const float s3 = side(c, a);
        if ((s1 >= 0 && s2 >= 0 && s3 >= 0) || (s1 <= 0 && s2 <= 0 && s3 <= 0)) return true;
    }
    return false;
}

float distanceToLine(const VMPointList& line, float x, float y) {
    float best = INFINITY;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        const P& a = line[i];
        const P& b = line[i + 1];
        const float dx = b.x - a.x;
        const float dy = b.y - a.y;
        const float t =
            std::clamp(((x - a.x) * dx + (y - a.y) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
        best = std::min(best, std::hypot(x - a.x - t * dx, y - a.y - t * dy));
    }
    return best;
}

TEST(LineBuilder, JoinsLeaveNoHoles) {
    const VMPointList shapes[] = {
        {{0, 0}, {10, 0}, {10, 10}},                 // left turn
        {{0, 0}, {10, 0}, {10, -10}},                // right turn
        {{0, 0}, {10, 0}, {2, 3}},                   // acute
        {{0, 0}, {10, 0}, {16, 6}, {30, 7}},         // gentle
        {{0, 0}, {10, 0}, {10.4f, 0.3f}, {10, 10}},  // a short jog at a corner
    };
    VMLineBuilder builder;
    for (int join = 0; join < 3; ++join) {
        for (const VMPointList& line : shapes) {
            builder.build(&line, false, join, kVMLineCapNone, {}, 4);
            for (float y = -12; y <= 12; y += 0.25f) {
                for (float x = -2; x <= 32; x += 0.25f) {
                    // Inside the band, away from the open ends; bevels and miters may cut outer
                    // corners short, so only the middle of the band counts for them.
                    const float band = join == kVMLineJoinRound ? 1.8f : 0.3f;
                    if (distanceToLine(line, x, y) > band || x < 0.5f) continue;
                    if (std::hypot(x - line.back().x, y - line.back().y) < 2.2f) continue;
                    EXPECT_TRUE(covered(builder.drawable(), x, y))
                        << "join " << join << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(LineBuilder, SharpTurnsFallBackToBevel) {
    const VMPointList spike{{0, 0}, {100, 0}, {0, 1}};
    VMLineBuilder builder;
    builder.build(&spike, false, kVMLineJoinMiter, kVMLineCapNone, {}, 2);
    const Drawable& d = builder.drawable();
    expectSound(d);
    ASSERT_EQ(d.vertices.size(), 10u);
    EXPECT_LE(distance(d.vertices[6].position, {100, 0}), 1);
}

TEST(LineBuilder, LoopedSquareHasFourJoinsAndNoCaps) {
    const VMPointList square{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    VMLineBuilder builder;
    builder.build(&square, true, kVMLineJoinBevel, kVMLineCapRound, {}, 2);
    // A strip of five quads (the first side is split to close the ring) and a bevel at each
    // corner.
    EXPECT_EQ(builder.drawable().vertices.size(), 4u + 4 * 3);
    EXPECT_EQ(builder.drawable().indices.size(), 5u * 6 + 4 * 3);
    EXPECT_NEAR(coveredArea(builder.drawable()), 12 * 12 - 8 * 8 - 4 * 0.5, 1e-3);
    expectSound(builder.drawable());
}

TEST(LineBuilder, Caps) {
    const VMPointList line{{0, 0}, {10, 0}};
    VMLineBuilder builder;

    builder.build(&line, false, kVMLineJoinBevel, kVMLineCapSquare, {}, 2);
    ASSERT_EQ(builder.drawable().vertices.size(), 12u);
    float minX = 0;
    float maxX = 0;
    for (const Vertex& v : builder.drawable().vertices) {
        minX = std::min(minX, v.position.x);
        maxX = std::max(maxX, v.position.x);
    }
    EXPECT_EQ(minX, -1);
    EXPECT_EQ(maxX, 11);

    builder.build(&line, false, kVMLineJoinBevel, kVMLineCapArrow, {}, 1);
    ASSERT_EQ(builder.drawable().vertices.size(), 8u);
    EXPECT_NEAR(builder.drawable().vertices[7].position.x, 10 + 1.7320508, 1e-5);
    EXPECT_EQ(builder.drawable().vertices[4].position, (P{10, 1}));
    EXPECT_EQ(builder.drawable().vertices[5].position, (P{10, -1}));

    builder.build(&line, false, kVMLineJoinBevel, kVMLineCapRound, {}, 2);
    const Drawable& d = builder.drawable();
    ASSERT_EQ(d.vertices.size(), 4u + 2 * 182);
    EXPECT_EQ(d.indices.size(), 6u + 2 * 3 * 180);
    for (std::size_t i = 5; i < 4 + 182; ++i) {
        EXPECT_NEAR(distance(d.vertices[i].position, {0, 0}), 1, 1e-5);
        EXPECT_LE(d.vertices[i].position.x, 1e-5);
    }
    for (std::size_t i = 4 + 182 + 1; i < d.vertices.size(); ++i) {
        EXPECT_NEAR(distance(d.vertices[i].position, {10, 0}), 1, 1e-5);
        EXPECT_GE(d.vertices[i].position.x, 10 - 1e-5);
    }
    // Half discs: the caps add the area of one disc.
    EXPECT_NEAR(coveredArea(d), 20 + M_PI, 0.01);
}

TEST(LineBuilder, DegenerateInput) {
    VMLineBuilder builder;
    const VMPointList line{{0, 0}, {10, 0}};
    {
        testsupport::LogCapture log;
        builder.build(&line, false, 0, 0, {}, 0);
        builder.build(&line, false, 0, 0, {}, -1);
        EXPECT_TRUE(log.lines().empty());
        EXPECT_TRUE(builder.drawable().vertices.empty());
        builder.build(nullptr, false, 0, 0, {}, 2);
        EXPECT_TRUE(log.contains("Initialize error: points is NULL!"));
        const VMPointList one{{1, 1}};
        builder.build(&one, false, 0, 0, {}, 2);
        EXPECT_TRUE(log.contains("Initialize error: points can not be less than 2!"));
        EXPECT_TRUE(builder.drawable().vertices.empty());
    }
    // Repeated points and reversals give finite geometry; caps follow the segments that have
    // a direction, and a line of one repeated point draws nothing.
    const VMPointList repeated{{0, 0}, {0, 0}, {10, 0}, {10, 0}, {0, 0}, {0, 0}};
    for (int join = 0; join < 3; ++join) {
        builder.build(&repeated, false, join, kVMLineCapRound, {}, 2);
        expectSound(builder.drawable());
        builder.build(&repeated, true, join, kVMLineCapNone, {}, 2);
        expectSound(builder.drawable());
    }
    const VMPointList still{{5, 5}, {5, 5}, {5, 5}};
    builder.build(&still, false, kVMLineJoinRound, kVMLineCapRound, {}, 2);
    expectSound(builder.drawable());
    EXPECT_EQ(coveredArea(builder.drawable()), 0);
}

// Points that are not finite are left out: the rest draws as if they were never there.
TEST(LineBuilder, PointsThatAreNotFiniteAreLeftOut) {
    const float inf = INFINITY;
    const VMPointList broken{{0, 0}, {NAN, 5}, {10, 0}, {inf, 0}, {10, 10}, {-inf, NAN}};
    const VMPointList clean{{0, 0}, {10, 0}, {10, 10}};
    VMLineBuilder builder;
    for (const bool looped : {false, true}) {
        SCOPED_TRACE(looped);
        builder.build(&clean, looped, kVMLineJoinRound, kVMLineCapRound, {}, 2);
        const double area = coveredArea(builder.drawable());
        builder.build(&broken, looped, kVMLineJoinRound, kVMLineCapRound, {}, 2);
        expectSound(builder.drawable());
        EXPECT_DOUBLE_EQ(coveredArea(builder.drawable()), area);
        builder.buildStriped(&clean, looped, 2);
        const double striped = coveredArea(builder.drawable());
        builder.buildStriped(&broken, looped, 2);
        expectSound(builder.drawable());
        EXPECT_DOUBLE_EQ(coveredArea(builder.drawable()), striped);
    }
    const VMPointList lone{{NAN, NAN}, {1, 1}, {inf, 2}};
    builder.build(&lone, false, 0, 0, {}, 2);
    EXPECT_TRUE(builder.drawable().vertices.empty());
}

TEST(LineBuilder, LongLinesIndexPastSixteenBits) {
    VMPointList zigzag;
    for (int i = 0; i < 2000; ++i) zigzag.push_back({float(i * 10), float(i % 2 ? 10 : 0)});
    VMLineBuilder builder;
    builder.build(&zigzag, false, kVMLineJoinRound, kVMLineCapRound, {}, 4);
    const Drawable& d = builder.drawable();
    ASSERT_GT(d.vertices.size(), 65536u);
    expectSound(d);
    EXPECT_EQ(*std::max_element(d.indices.begin(), d.indices.end()), d.vertices.size() - 1);
}

// With a tolerance the rim takes as few steps as keep it within the tolerance of its circle.
TEST(LineBuilder, RoundStepsFollowTheWidth) {
    const VMPointList corner{{0, 0}, {20, 0}, {20, 20}};
    VMLineBuilder builder;
    builder.setArcTolerance(0.25f);
    for (const float width : {6.0f, 40.0f}) {
        builder.build(&corner, false, kVMLineJoinRound, kVMLineCapRound, {}, width);
        const Drawable& d = builder.drawable();
        expectSound(d);
        const float r = width / 2;
        const int perHalfTurn = int(std::ceil(M_PI / (2 * std::acos(1 - 0.25 / r))));
        // Two caps and a right-angle join, against 180, 180 and 90 steps of a degree.
        EXPECT_LE(d.indices.size() / 3, 2u + 4 + 2 * perHalfTurn + (perHalfTurn + 1) / 2 + 2);
        for (int k = 0; k < 360; ++k) {
            const float a = float((k + 0.5) * M_PI / 180);
            for (const P& c : corner) {
                const float x = c.x + (r - 0.26f) * std::cos(a);
                const float y = c.y + (r - 0.26f) * std::sin(a);
                EXPECT_TRUE(covered(d, x, y)) << width << " at " << x << "," << y;
            }
        }
    }
}

TEST(LineBuilder, SegmentColours) {
    const VMPointList corner{{0, 0}, {10, 0}, {10, 10}};
    const Vector4<float> colors[] = {{1, 0, 0, 1}, {0, 1, 0, 1}};
    VMLineBuilder builder;
    builder.build(&corner, false, kVMLineJoinBevel, kVMLineCapNone, colors, 2);
    const Drawable& d = builder.drawable();
    EXPECT_EQ(d.vertices[0].color, colors[0]);
    EXPECT_EQ(d.vertices[4].color, colors[1]);
    EXPECT_EQ(d.vertices[6].color, colors[0]);
    EXPECT_EQ(d.vertices[7].color, colors[1]);
    builder.build(&corner, false, kVMLineJoinBevel, kVMLineCapNone, std::span(colors, 1), 2);
    EXPECT_EQ(builder.drawable().vertices[4].color, colors[0]);
}

}  // namespace
