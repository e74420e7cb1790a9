// The annotation quad tree beside Boost.Geometry's R-tree on the same 1,000,000 points, uniform
// and clustered: building, and tile-sized box queries at zooms 10 to 16 with equal result
// counts. Prints both rates and their ratio.

#include <benchmark/benchmark.h>

#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>
#include <chrono>
#include <cstdio>
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
constexpr int kQueries = 2000;

std::vector<VMMapPoint> makePoints(bool clustered) {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> world(0, 268435455);
    std::normal_distribution<double> spread(0, 300000);
    std::vector<VMMapPoint> points;
    points.reserve(kPoints);
    for (int i = 0; i < kPoints; ++i) {
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

void compare(bool clustered) {
    const auto points = makePoints(clustered);
    // Nodes filed by their exact map point, as the tree files them.
    std::vector<VMAnnotationRef> nodes;
    nodes.reserve(points.size());
    for (const auto& p : points)
        nodes.push_back(VMHeatMapNode::create(coordinateForMapPoint(p), 1));
    std::vector<Entry> entries;
    entries.reserve(points.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        const VMMapPoint p = mapPointForCoordinate(nodes[i]->coordinate());
        entries.push_back({Point(p.x, p.y), i});
    }

    auto start = std::chrono::steady_clock::now();
    const auto tree = VMQuadTree::create();
    tree->addAnnotations(nodes);
    const double oursBuild = seconds(start);
    start = std::chrono::steady_clock::now();
    bgi::rtree<Entry, bgi::quadratic<16>> rtree;
    for (const auto& e : entries) rtree.insert(e);
    const double theirsBuild = seconds(start);
    std::printf("%-9s build: ours %.2f s, R-tree %.2f s, ratio %.2fx\n",
                clustered ? "clustered" : "uniform", oursBuild, theirsBuild,
                oursBuild / theirsBuild);

    std::mt19937 random(9);
    for (int z = 10; z <= 16; ++z) {
        const double side = 256.0 * std::pow(2.0, 20 - z);
        std::vector<VMMapRect> boxes;
        for (int q = 0; q < kQueries; ++q) {
            const VMMapPoint& at = points[random() % points.size()];
            boxes.push_back({{at.x - side / 2, at.y - side / 2}, {side, side}});
        }
        size_t oursFound = 0, theirsFound = 0;
        start = std::chrono::steady_clock::now();
        for (const auto& box : boxes) oursFound += tree->annotationsInBoundingBox(box).size();
        const double ours = seconds(start);
        start = std::chrono::steady_clock::now();
        std::vector<Entry> found;
        for (const auto& box : boxes) {
            found.clear();
            // Half-open like the tree: the maximum edges are out.
            const Box query(Point(box.origin.x, box.origin.y),
                            Point(std::nextafter(box.origin.x + box.size.width, 0),
                                  std::nextafter(box.origin.y + box.size.height, 0)));
            rtree.query(bgi::covered_by(query), std::back_inserter(found));
            theirsFound += found.size();
        }
        const double theirs = seconds(start);
        std::printf(
            "%-9s zoom %d: ours %8.0f queries/s, R-tree %8.0f queries/s, ratio %.2fx, "
            "found %zu / %zu\n",
            clustered ? "clustered" : "uniform", z, kQueries / ours, kQueries / theirs,
            ours / theirs, oursFound, theirsFound);
    }
}

void BM_QuadTreeAgainstRTree(benchmark::State& state) {
    for (auto _ : state) compare(state.range(0) == 1);
}

}  // namespace

BENCHMARK(BM_QuadTreeAgainstRTree)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_MAIN();
