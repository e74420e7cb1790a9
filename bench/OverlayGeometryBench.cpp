// Overlay geometry against references on the same input: ear-clipping triangulation of stars,
// river-like bands, spirals and building outlines against the GLU tessellator, both checked to
// cover the polygon exactly; window clipping against Clipper with equal areas; and line strip
// building per input point with the vertices and triangles it makes.
#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <polyclipping/clipper.hpp>
#include <random>
#include <string>
#include <vector>

#include "VMLineBuilder.h"
#include "VMPolygonClipper.h"
#include "VMPolygonTriangulator.h"

namespace {

// A star-shaped polygon: random radii about a centre, so that about half its vertices are reflex.
VMPointList starPolygon(int n, float cx, float cy, float radius) {
    std::mt19937 random(n);
    std::uniform_real_distribution<float> spread(0.5f, 1.0f);
    VMPointList polygon;
    for (int i = 0; i < n; ++i) {
        const double a = 2 * M_PI * i / n;
        const float r = radius * spread(random);
        polygon.push_back({cx + float(r * std::cos(a)), cy + float(r * std::sin(a)), 0});
    }
    return polygon;
}

// A river-like band: a meandering centre line, its left bank out and its right bank back.
VMPointList riverBand(int n) {
    VMPointList polygon(static_cast<std::size_t>(n));
    const int half = n / 2;
    for (int i = 0; i < half; ++i) {
        const double t = double(i) / std::max(half - 1, 1);
        const float x = float(t * 10000);
        const float y = float(800 * std::sin(t * 12) + 200 * std::sin(t * 47));
        const float width = float(60 + 40 * std::sin(t * 5));
        polygon[std::size_t(i)] = {x, y - width, 0};
        polygon[std::size_t(n - 1 - i)] = {x, y + width, 0};
    }
    if (n % 2) polygon[std::size_t(half)] = {10000 + 60, float(800 * std::sin(12.0)), 0};
    return polygon;
}

// A spiral band winding three times: every ear is thin and most vertices are reflex inside.
VMPointList spiral(int n) {
    VMPointList polygon(static_cast<std::size_t>(n));
    const int half = n / 2;
    for (int i = 0; i < half; ++i) {
        const double a = 6 * M_PI * i / std::max(half - 1, 1);
        const double r = 100 + 60 * a;
        polygon[std::size_t(i)] = {float((r + 40) * std::cos(a)), float((r + 40) * std::sin(a)), 0};
        polygon[std::size_t(n - 1 - i)] = {float(r * std::cos(a)), float(r * std::sin(a)), 0};
    }
    if (n % 2) {
        const double a = 6 * M_PI, r = 100 + 60 * a + 20;
        polygon[std::size_t(half)] = {float(r * std::cos(a)), float(r * std::sin(a)), 0};
    }
    return polygon;
}

// A building-like outline: a rectilinear comb of wings, square corners only.
VMPointList buildingOutline(int n) {
    const int wings = std::max(1, (n - 2) / 4);
    VMPointList polygon;
    for (int w = 0; w < wings; ++w) {
        const float x = float(w * 30);
        const float depth = float(40 + (w * 37) % 50);
        polygon.push_back({x, 0, 0});
        polygon.push_back({x, depth, 0});
        polygon.push_back({x + 20, depth, 0});
        polygon.push_back({x + 20, 10, 0});
    }
    polygon.push_back({float(wings * 30 - 10), -30, 0});
    polygon.push_back({0, -30, 0});
    std::reverse(polygon.begin(), polygon.end());
    polygon.resize(std::min(polygon.size(), std::size_t(std::max(n, 6))));
    return polygon;
}

constexpr const char* kShapeNames[] = {"star", "river", "spiral", "buildings"};

VMPointList shape(int which, int n) {
    switch (which) {
        case 1:
            return riverBand(n);
        case 2:
            return spiral(n);
        case 3:
            return buildingOutline(n);
        default:
            return starPolygon(n, 0, 0, 1000);
    }
}

double area(const VMPointList& polygon) {
    double sum = 0;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        sum += double(polygon[j].x) * polygon[i].y - double(polygon[j].y) * polygon[i].x;
    }
    return sum / 2;
}

bool insidePolygon(const VMPointList& polygon, double x, double y) {
    bool inside = false;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const auto &a = polygon[i], &b = polygon[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x)
            inside = !inside;
    }
    return inside;
}

// Empty when the triangles cover the polygon exactly: their areas sum to its area and every
// triangle lies inside it (its centroid inside, none folded).
std::string coverageFault(const VMPointList& polygon, const std::vector<std::uint32_t>& indices) {
    if (indices.size() % 3) return "a partial triangle";
    double sum = 0;
    for (std::size_t t = 0; t < indices.size(); t += 3) {
        const auto &a = polygon[indices[t]], &b = polygon[indices[t + 1]],
                   &c = polygon[indices[t + 2]];
        const double twice =
            (double(b.x) - a.x) * (double(c.y) - a.y) - (double(b.y) - a.y) * (double(c.x) - a.x);
        sum += std::fabs(twice) / 2;
        if (std::fabs(twice) > 1e-9 &&
            !insidePolygon(polygon, (double(a.x) + b.x + c.x) / 3, (double(a.y) + b.y + c.y) / 3))
            return "a triangle outside the polygon";
    }
    const double expected = std::fabs(area(polygon));
    if (std::fabs(sum - expected) > 1e-4 * expected) return "triangles' area differs";
    return {};
}

void BM_Triangulate(benchmark::State& state) {
    const int n = int(state.range(1));
    const VMPointList polygon = shape(int(state.range(0)), n);
    VMTriangulator::VMPolygonTriangulator triangulator;
    const auto fault = coverageFault(polygon, triangulator.triangulate(polygon));
    if (!fault.empty()) state.SkipWithError(fault.c_str());
    for (auto _ : state) benchmark::DoNotOptimize(triangulator.triangulate(polygon).data());
}

struct GluCollector {
    std::vector<unsigned> indices;
};

void BM_TriangulateGLU(benchmark::State& state) {
    const int n = int(state.range(1));
    const VMPointList polygon = shape(int(state.range(0)), n);
    std::vector<GLdouble> coordinates;
    for (const auto& p : polygon) coordinates.insert(coordinates.end(), {p.x, p.y, 0});
    GLUtesselator* tess = gluNewTess();
    using Callback = void (*)();
    gluTessCallback(tess, GLU_TESS_BEGIN, reinterpret_cast<Callback>(+[](GLenum) {}));
    gluTessCallback(tess, GLU_TESS_END, reinterpret_cast<Callback>(+[] {}));
    // An edge-flag callback makes the tessellator emit plain triangles, like ours.
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG, reinterpret_cast<Callback>(+[](GLboolean) {}));
    gluTessCallback(tess, GLU_TESS_VERTEX_DATA,
                    reinterpret_cast<Callback>(+[](void* vertex, void* data) {
                        static_cast<GluCollector*>(data)->indices.push_back(
                            unsigned(reinterpret_cast<std::uintptr_t>(vertex)));
                    }));
    GluCollector collector;
    const auto tessellate = [&] {
        collector.indices.clear();
        gluTessBeginPolygon(tess, &collector);
        gluTessBeginContour(tess);
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            gluTessVertex(tess, &coordinates[3 * i], reinterpret_cast<void*>(std::uintptr_t(i)));
        }
        gluTessEndContour(tess);
        gluTessEndPolygon(tess);
    };
    tessellate();
    const auto fault = coverageFault(polygon, {collector.indices.begin(), collector.indices.end()});
    if (!fault.empty()) state.SkipWithError(fault.c_str());
    for (auto _ : state) {
        tessellate();
        benchmark::DoNotOptimize(collector.indices.data());
    }
    gluDeleteTess(tess);
}

const std::array<Vector3<float>, 4> kWindow{
    Vector3<float>{0, 0, 0}, {800, 0, 0}, {800, 600, 0}, {0, 600, 0}};

// Centred on the window's corner, so every polygon crosses two window edges many times.
VMPointList clipSubject(int n) { return starPolygon(n, 800, 600, 700); }

// Clipper works on integers: the same points in thousandths.
ClipperLib::Path clipperPath(const VMPointList& points) {
    ClipperLib::Path path;
    for (const auto& p : points) {
        path.emplace_back(ClipperLib::cInt(std::lround(p.x * 1000)),
                          ClipperLib::cInt(std::lround(p.y * 1000)));
    }
    return path;
}

double clipperArea(int n) {
    ClipperLib::Clipper clipper;
    clipper.AddPath(clipperPath(clipSubject(n)), ClipperLib::ptSubject, true);
    clipper.AddPath(clipperPath({kWindow.begin(), kWindow.end()}), ClipperLib::ptClip, true);
    ClipperLib::Paths solution;
    clipper.Execute(ClipperLib::ctIntersection, solution);
    double sum = 0;
    for (const auto& path : solution) sum += std::fabs(ClipperLib::Area(path));
    return sum / 1e6;
}

void BM_Clip(benchmark::State& state) {
    const int n = int(state.range(0));
    const VMPointList polygon = clipSubject(n);
    VMPolygonClipper clipper;
    clipper.setWindow(kWindow);
    VMPolygonList result;
    // Both sides must agree on what they compute, or the timings mean nothing.
    clipper.clipPolygon(polygon, result, 0);
    double clipped = 0;
    for (const auto& piece : result) clipped += std::fabs(area(piece));
    if (std::fabs(clipped - clipperArea(n)) > 1e-4 * clipped)
        state.SkipWithError("clipped area differs from Clipper's");
    for (auto _ : state) {
        clipper.clipPolygon(polygon, result, 0);
        benchmark::DoNotOptimize(result.data());
    }
}

void BM_ClipClipper(benchmark::State& state) {
    const int n = int(state.range(0));
    const ClipperLib::Path subject = clipperPath(clipSubject(n));
    const ClipperLib::Path window = clipperPath({kWindow.begin(), kWindow.end()});
    ClipperLib::Paths solution;
    for (auto _ : state) {
        ClipperLib::Clipper clipper;
        clipper.AddPath(subject, ClipperLib::ptSubject, true);
        clipper.AddPath(window, ClipperLib::ptClip, true);
        clipper.Execute(ClipperLib::ctIntersection, solution);
        benchmark::DoNotOptimize(solution.data());
    }
}

void BM_BuildLineStrip(benchmark::State& state) {
    // A random walk of 100,000 points with round joins; the dash only sets texture coordinates.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> step(-20, 20);
    VMPointList line{{0, 0, 0}};
    for (int i = 1; i < 100000; ++i) {
        line.push_back({line.back().x + step(random), line.back().y + step(random), 0});
    }
    VMLineBuilder builder;
    const Vector4<float> color{1, 0, 0, 1};
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        builder.build(&line, false, kVMLineJoinRound, kVMLineCapRound, std::span(&color, 1), 6);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    // Time per input point, and the work made: fewer vertices for the same picture is better.
    state.counters["ours_ns_per_point"] =
        seconds * 1e9 / double(state.iterations()) / double(line.size());
    state.counters["work_vertices"] = double(builder.drawable().vertices.size());
    state.counters["work_triangles"] = double(builder.drawable().indices.size() / 3);
}

BENCHMARK(BM_Triangulate)
    ->ArgsProduct({{0, 1, 2, 3}, {10, 100, 1000, 10000}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TriangulateGLU)
    ->ArgsProduct({{0, 1, 2, 3}, {10, 100, 1000, 10000}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Clip)->RangeMultiplier(10)->Range(10, 10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ClipClipper)->RangeMultiplier(10)->Range(10, 10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuildLineStrip)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
