// Overlay geometry against references on the same input in one run: ear-clipping triangulation
// against the GLU tessellator, window clipping against Clipper, and line strip building in
// vertices per second. The ratios (ours over the reference's time) are printed at the end.
#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <polyclipping/clipper.hpp>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "VMLineBuilder.h"
#include "VMPolygonClipper.h"
#include "VMPolygonTriangulator.h"

namespace {

using Clock = std::chrono::steady_clock;

// Mean seconds per iteration by (case, size).
std::map<std::pair<std::string, int>, double> gSeconds;

void record(const std::string& name, int size, Clock::time_point start, benchmark::State& state) {
    gSeconds[{name, size}] =
        std::chrono::duration<double>(Clock::now() - start).count() / double(state.iterations());
}

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

// A regular polygon: every vertex convex, the case where the order ears are cut in matters most.
VMPointList convexPolygon(int n, float radius) {
    VMPointList polygon;
    for (int i = 0; i < n; ++i) {
        const double a = 2 * M_PI * i / n;
        polygon.push_back({float(radius * std::cos(a)), float(radius * std::sin(a)), 0});
    }
    return polygon;
}

// A band winding three times round a spiral: out along one edge, back along the other.
VMPointList spiralBand(int n, float radius) {
    const int half = std::max(n / 2, 3);
    const double turns = 3, width = radius / 10;
    VMPointList polygon;
    for (int i = 0; i < half; ++i) {
        const double t = double(i) / (half - 1);
        const double a = 2 * M_PI * turns * t, r = width + (radius - 2 * width) * t;
        polygon.push_back({float(r * std::cos(a)), float(r * std::sin(a)), 0});
    }
    for (int i = half - 1; i >= 0; --i) {
        const double t = double(i) / (half - 1);
        const double a = 2 * M_PI * turns * t, r = 2 * width + (radius - 2 * width) * t;
        polygon.push_back({float(r * std::cos(a)), float(r * std::sin(a)), 0});
    }
    return polygon;
}

// Shapes of the triangulation cases, by benchmark argument.
VMPointList triangulationInput(int shape, int n) {
    if (shape == 1) return convexPolygon(n, 1000);
    if (shape == 2) return spiralBand(n, 1000);
    return starPolygon(n, 0, 0, 1000);
}

const char* const kShapeNames[] = {"star", "convex", "spiral"};

double area(const VMPointList& polygon) {
    double sum = 0;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        sum += double(polygon[j].x) * polygon[i].y - double(polygon[j].y) * polygon[i].x;
    }
    return sum / 2;
}

void BM_Triangulate(benchmark::State& state) {
    const int n = int(state.range(0));
    const int shape = int(state.range(1));
    const VMPointList polygon = triangulationInput(shape, n);
    VMTriangulator::VMPolygonTriangulator triangulator;
    const auto start = Clock::now();
    for (auto _ : state) benchmark::DoNotOptimize(triangulator.triangulate(polygon).data());
    record(shape == 0 ? "triangulate" : std::string("triangulate ") + kShapeNames[shape], n, start,
           state);
}

struct GluCollector {
    std::vector<unsigned> indices;
};

void BM_TriangulateGLU(benchmark::State& state) {
    const int n = int(state.range(0));
    const VMPointList polygon = starPolygon(n, 0, 0, 1000);
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
    const auto start = Clock::now();
    for (auto _ : state) {
        collector.indices.clear();
        gluTessBeginPolygon(tess, &collector);
        gluTessBeginContour(tess);
        for (int i = 0; i < n; ++i) {
            gluTessVertex(tess, &coordinates[3 * i], reinterpret_cast<void*>(std::uintptr_t(i)));
        }
        gluTessEndContour(tess);
        gluTessEndPolygon(tess);
        benchmark::DoNotOptimize(collector.indices.data());
    }
    record("triangulate GLU", n, start, state);
    gluDeleteTess(tess);
}

const std::array<Vector3<float>, 4> kWindow{
    Vector3<float>{0, 0, 0}, {800, 0, 0}, {800, 600, 0}, {0, 600, 0}};

// Centred on the window's corner, so every polygon crosses two window edges many times.
VMPointList clipSubject(int n) { return starPolygon(n, 800, 600, 700); }

void BM_Clip(benchmark::State& state) {
    const int n = int(state.range(0));
    const VMPointList polygon = clipSubject(n);
    VMPolygonClipper clipper;
    clipper.setWindow(kWindow);
    VMPolygonList result;
    const auto start = Clock::now();
    for (auto _ : state) {
        clipper.clipPolygon(polygon, result, 0);
        benchmark::DoNotOptimize(result.data());
    }
    record("clip", n, start, state);
}

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

void BM_ClipClipper(benchmark::State& state) {
    const int n = int(state.range(0));
    const ClipperLib::Path subject = clipperPath(clipSubject(n));
    const ClipperLib::Path window = clipperPath({kWindow.begin(), kWindow.end()});
    ClipperLib::Paths solution;
    const auto start = Clock::now();
    for (auto _ : state) {
        ClipperLib::Clipper clipper;
        clipper.AddPath(subject, ClipperLib::ptSubject, true);
        clipper.AddPath(window, ClipperLib::ptClip, true);
        clipper.Execute(ClipperLib::ctIntersection, solution);
        benchmark::DoNotOptimize(solution.data());
    }
    record("clip Clipper", n, start, state);
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
    std::size_t vertices = 0;
    for (auto _ : state) {
        builder.build(&line, false, kVMLineJoinRound, kVMLineCapRound, std::span(&color, 1), 6);
        vertices += builder.drawable().vertices.size();
    }
    state.counters["vertices/s"] =
        benchmark::Counter(double(vertices), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_Triangulate)
    ->ArgsProduct({{10, 100, 1000, 10000}, {0, 1, 2}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TriangulateGLU)->RangeMultiplier(10)->Range(10, 10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Clip)->RangeMultiplier(10)->Range(10, 10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ClipClipper)->RangeMultiplier(10)->Range(10, 10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuildLineStrip)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [ours, reference] :
         {std::pair{"triangulate", "triangulate GLU"}, std::pair{"clip", "clip Clipper"}}) {
        for (const int n : {10, 100, 1000, 10000}) {
            const auto a = gSeconds.find({ours, n});
            const auto b = gSeconds.find({reference, n});
            if (a == gSeconds.end() || b == gSeconds.end()) continue;
            std::printf("%-12s n=%-6d ours %10.2f us  %-16s %10.2f us  ratio %.2f\n", ours, n,
                        a->second * 1e6, reference, b->second * 1e6, a->second / b->second);
        }
    }
    // Both sides must agree on what they compute, or the timings mean nothing.
    for (const int n : {10, 100, 1000, 10000}) {
        for (const int shape : {0, 1, 2}) {
            const VMPointList polygon = triangulationInput(shape, n);
            VMTriangulator::VMPolygonTriangulator triangulator;
            const auto& indices = triangulator.triangulate(polygon);
            double triangles = 0;
            for (std::size_t t = 0; t < indices.size(); t += 3) {
                const auto& a = polygon[indices[t]];
                const auto& b = polygon[indices[t + 1]];
                const auto& c = polygon[indices[t + 2]];
                triangles += std::fabs((double(b.x) - a.x) * (double(c.y) - a.y) -
                                       (double(b.y) - a.y) * (double(c.x) - a.x)) /
                             2;
            }
            std::printf("n=%-6d %-7s triangles/polygon area %.6f\n", n, kShapeNames[shape],
                        triangles / std::fabs(area(polygon)));
        }
        VMPolygonClipper clipper;
        clipper.setWindow(kWindow);
        VMPolygonList clipped;
        clipper.clipPolygon(clipSubject(n), clipped, 0);
        double ours = 0;
        for (const auto& polygon : clipped) ours += std::fabs(area(polygon));
        std::printf("n=%-6d clipped area ours/Clipper %.6f\n", n, ours / clipperArea(n));
    }
    return 0;
}
