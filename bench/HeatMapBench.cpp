// Heat-map tile time: 100,000 clustered nodes, radius 12 and 40, scale 1 and 2, tiles at the
// clusters' hearts at zoom 14. Prints the median and 95th percentile per configuration.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "UIKit/UIScreen.h"
#include "VMHeatMapTileOverlay.h"

namespace {

constexpr double kCentre = 134217728;
constexpr int kNodes = 100000;

VMHeatMapData clusteredNodes() {
    std::mt19937 random(11);
    std::normal_distribution<double> spread(0, 20000);
    auto nodes = std::make_shared<std::vector<std::shared_ptr<VMHeatMapNode>>>();
    for (int i = 0; i < kNodes; ++i) {
        const double cx = kCentre + (i % 10) * 60000, cy = kCentre + (i % 7) * 60000;
        nodes->push_back(VMHeatMapNode::create(
            coordinateForMapPoint({cx + spread(random), cy + spread(random)}), 1 + i % 3));
    }
    return nodes;
}

struct Timing {
    double median = 0;
    double p95 = 0;
};

Timing timeTiles(VMHeatMapTileOverlay& overlay, int rounds) {
    std::vector<double> ms;
    for (int round = 0; round < rounds; ++round) {
        const VMTileOverlayPath path{int64_t(kCentre / 16384) + round % 4,
                                     int64_t(kCentre / 16384) + round / 4 % 4, 14, 2};
        const auto start = std::chrono::steady_clock::now();
        overlay.loadTileAtPath(
            path, [](std::optional<NSData> data, NSErrorOpt) { benchmark::DoNotOptimize(data); });
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 95 / 100]};
}

void BM_HeatMapTile(benchmark::State& state) {
    const int radius = int(state.range(0));
    const bool retina = state.range(1) == 2;
    UIScreen::mainScreen()->setScale(2);
    const auto overlay = VMHeatMapTileOverlay::create();
    overlay->setData(clusteredNodes());
    overlay->setRadius(radius);
    overlay->setAllowRetinaAdapting(retina);
    Timing timing;
    for (auto _ : state) timing = timeTiles(*overlay, 60);
    state.counters["median_ms"] = timing.median;
    state.counters["p95_ms"] = timing.p95;
    std::printf("radius %2d scale %d: median %.2f ms, p95 %.2f ms\n", radius, retina ? 2 : 1,
                timing.median, timing.p95);
}

}  // namespace

BENCHMARK(BM_HeatMapTile)
    ->Args({12, 1})
    ->Args({40, 1})
    ->Args({12, 2})
    ->Args({40, 2})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
