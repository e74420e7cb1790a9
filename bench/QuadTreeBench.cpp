// The annotation quad tree beside Boost.Geometry's R-tree, bulk-loaded by its packing
// constructor, on the same 1,000,000 points, uniform and clustered: building, and tile-sized
// box queries at zooms 10 to 16 with the hit counts checked equal.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "VMHeatMapNode.h"
#include "VMQuadTree.h"

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;

namespace {

using Point = bg::model::point<double, 2, bg::cs::cartesian>;
using Box = bg::model::box<Point>;
using Entry = std::pair<Point, size_t>;

constexpr int kPoints = 1000000;
constexpr int kQuickPoints = 20000;
constexpr int kQueries = 2000;

std::vector<VMMapPoint> makePoints(bool clustered) {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> world(0, 268435455);
    std::normal_distribution<double> spread(0, 300000);
    std::vector<VMMapPoint> points;
    const int count = std::getenv("BRISFOLD_BENCH_QUICK") ? kQuickPoints : kPoints;
    points.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        if (clustered) {
            const double cx = 100000000 + (i % 16) * 4000000;
            points.push_back({std::clamp(cx + spread(random), 0.0, 268435455.0),
                              std::clamp(130000000 + spread(random), 0.0, 268435455.0)});
        } else {
            points.push_back({world(random), world(random)});
        }
    }
    return points;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool quickRun() { return std::getenv("BRISFOLD_BENCH_QUICK") != nullptr; }

struct QuadTreeFixture {
    std::vector<VMMapPoint> points;
    std::vector<VMAnnotationRef> nodes;
    std::vector<Entry> entries;
};

// Nodes filed by their exact map point, as the tree files them.
QuadTreeFixture quadTreeFixture(bool clustered) {
    QuadTreeFixture f;
    f.points = makePoints(clustered);
    f.nodes.reserve(f.points.size());
    for (const auto& p : f.points)
        f.nodes.push_back(VMHeatMapNode::create(coordinateForMapPoint(p), 1));
    f.entries.reserve(f.points.size());
    for (size_t i = 0; i < f.nodes.size(); ++i) {
        const VMMapPoint p = mapPointForCoordinate(f.nodes[i]->coordinate());
        f.entries.push_back({Point(p.x, p.y), i});
    }
    return f;
}

using RTree = bgi::rtree<Entry, bgi::quadratic<16>>;

// Build: ours by adding every node, the R-tree by its packing constructor.
void BM_QuadTreeBuild(benchmark::State& state) {
    const auto f = quadTreeFixture(state.range(0) == 1);
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const auto tree = VMQuadTree::create();
        tree->addAnnotations(f.nodes);
        const double ours = seconds(start);
        start = std::chrono::steady_clock::now();
        const RTree rtree(f.entries.begin(), f.entries.end());
        const double anchor = seconds(start);
        if (tree->count() != rtree.size()) state.SkipWithError("trees hold different counts");
        state.SetIterationTime(ours);
        state.counters["ours_ms"] = ours * 1000;
        state.counters["anchor_ms"] = anchor * 1000;
    }
}

// Tile-sized box queries at one zoom, the two sides interleaved query by query.
void BM_QuadTreeQuery(benchmark::State& state) {
    const bool clustered = state.range(0) == 1;
    const int z = int(state.range(1));
    // Built once per distribution and kept for every zoom's queries.
    struct Built {
        QuadTreeFixture f;
        std::shared_ptr<VMQuadTree> tree;
        std::unique_ptr<RTree> rtree;
    };
    static std::map<bool, Built> built;
    if (!built.count(clustered)) {
        Built b{quadTreeFixture(clustered), VMQuadTree::create(), nullptr};
        b.tree->addAnnotations(b.f.nodes);
        b.rtree = std::make_unique<RTree>(b.f.entries.begin(), b.f.entries.end());
        built.emplace(clustered, std::move(b));
    }
    const auto& f = built.at(clustered).f;
    const auto& tree = built.at(clustered).tree;
    const RTree& rtree = *built.at(clustered).rtree;
    std::mt19937 random(9 + z);
    const double side = 256.0 * std::pow(2.0, 20 - z);
    std::vector<VMMapRect> boxes;
    const int queries = quickRun() ? 50 : kQueries;
    for (int q = 0; q < queries; ++q) {
        const VMMapPoint& at = f.points[random() % f.points.size()];
        boxes.push_back({{at.x - side / 2, at.y - side / 2}, {side, side}});
    }
    for (auto _ : state) {
        double ours = 0, anchor = 0;
        size_t oursFound = 0, anchorFound = 0;
        std::vector<Entry> found;
        for (const auto& box : boxes) {
            auto start = std::chrono::steady_clock::now();
            oursFound += tree->annotationsInBoundingBox(box).size();
            ours += seconds(start);
            start = std::chrono::steady_clock::now();
            found.clear();
            // Half-open like the tree: the maximum edges are out.
            const Box query(Point(box.origin.x, box.origin.y),
                            Point(std::nextafter(box.origin.x + box.size.width, 0),
                                  std::nextafter(box.origin.y + box.size.height, 0)));
            rtree.query(bgi::covered_by(query), std::back_inserter(found));
            anchorFound += found.size();
            anchor += seconds(start);
        }
        if (oursFound != anchorFound) state.SkipWithError("hit counts differ from the R-tree's");
        state.SetIterationTime(ours);
        state.counters["ours_us"] = ours * 1e6 / double(boxes.size());
        state.counters["anchor_us"] = anchor * 1e6 / double(boxes.size());
        state.counters["hits"] = double(oursFound);
    }
}

}  // namespace

BENCHMARK(BM_QuadTreeBuild)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuadTreeQuery)
    ->ArgsProduct({{0, 1}, {10, 11, 12, 13, 14, 15, 16}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
