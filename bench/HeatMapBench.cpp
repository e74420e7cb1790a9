// Heat maps: setData followed by setRadius at 10,000 to 1,000,000 nodes, timed against the
// budget (1 s at a million, 100 ms at 100,000, proportionally below); and tile time with
// thousands of nodes in each timed tile, radius 12 and 40, scale 1 and 2.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <random>
#include <vector>

#include "UIKit/UIScreen.h"
#include "VMHeatMapTileOverlay.h"

namespace {

constexpr double kCentre = 134217728;
constexpr double kTileSide = 16384;  // map points of a zoom-14 tile
constexpr int kClusters = 10;

// Clusters four tiles apart, each centred in a zoom-14 tile so that the tile holds thousands.
VMHeatMapData clusteredHeatNodes(int count) {
    std::mt19937 random(11);
    std::normal_distribution<double> spread(0, 4000);
    auto nodes = std::make_shared<std::vector<std::shared_ptr<VMHeatMapNode>>>();
    nodes->reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        const double c = kCentre + kTileSide / 2 + (i % kClusters) * 4 * kTileSide;
        nodes->push_back(VMHeatMapNode::create(
            coordinateForMapPoint({c + spread(random), c + spread(random)}), 1 + i % 3));
    }
    return nodes;
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Budget: 100 ms per 100,000 nodes.
void BM_HeatMapSetData(benchmark::State& state) {
    const int count = int(state.range(0));
    UIScreen::mainScreen()->setScale(2);
    const auto data = clusteredHeatNodes(count);
    for (auto _ : state) {
        const auto overlay = VMHeatMapTileOverlay::create();
        const auto start = std::chrono::steady_clock::now();
        overlay->setData(data);
        overlay->setRadius(20);
        const double ms = millisecondsSince(start);
        state.SetIterationTime(ms / 1000);
        state.counters["ours_ms"] = ms;
        state.counters["anchor_ms"] = count / 1000.0;
    }
}

void BM_HeatMapTile(benchmark::State& state) {
    const int radius = int(state.range(0));
    const bool retina = state.range(1) == 2;
    const int count = int(state.range(2));
    UIScreen::mainScreen()->setScale(2);
    const auto overlay = VMHeatMapTileOverlay::create();
    overlay->setData(clusteredHeatNodes(count));
    overlay->setRadius(radius);
    overlay->setAllowRetinaAdapting(retina);
    std::vector<double> ms;
    size_t inTiles = 0;
    double tileBytes = 0;
    for (auto _ : state) {
        const int c = int(ms.size()) % kClusters;
        const VMTileOverlayPath path{int64_t(kCentre / kTileSide) + 4 * c,
                                     int64_t(kCentre / kTileSide) + 4 * c, 14, 2};
        const double margin = -double(radius) * 64;  // the radius in zoom-14 map points
        inTiles += overlay
                       ->heatMapnodesInMapRect(
                           mapRectInset(overlay->mapRectWithTilePath(path), margin, margin))
                       .size();
        const auto start = std::chrono::steady_clock::now();
        std::optional<NSData> tile;
        overlay->loadTileAtPath(
            path, [&](std::optional<NSData> data, NSErrorOpt) { tile = std::move(data); });
        ms.push_back(millisecondsSince(start));
        if (tile) tileBytes = std::accumulate(tile->begin(), tile->end(), tileBytes);
        state.SetIterationTime(ms.back() / 1000);
    }
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p95_ms"] = ms[ms.size() * 95 / 100];
    state.counters["tile_byte_sum"] = tileBytes;
    state.counters["nodes_per_tile_with_margin"] = double(inTiles) / double(ms.size());
}

}  // namespace

BENCHMARK(BM_HeatMapSetData)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeatMapTile)
    ->Args({12, 1, 100000})
    ->Args({40, 1, 100000})
    ->Args({12, 2, 100000})
    ->Args({40, 2, 100000})
    ->Args({12, 1, 1000})
    ->Iterations(60)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
