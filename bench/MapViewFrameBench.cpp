// Frame time of a map view filling a 640 x 1136 pixel screen, on whatever GL the machine has
// (Mesa's llvmpipe on a machine without a GPU): one frame is the camera step, the engine's
// frame with its held grids, and the read-back into the layer. Prints the median and the 95th
// percentile in milliseconds per frame.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Foundation/NSPathUtilities.h"
#include "MapFrameBench.h"
#include "UIKit/UIScreen.h"
#include "VMMapView.h"
#include "vmap_core/MapEngineInternal.h"

namespace {

void BM_MapViewFrame(benchmark::State& state) {
    const benchsupport::BenchHome home(state);
    if (!home) return;
    std::vector<double> ms;
    {
        auto view = benchsupport::screenMapView(state, 4.5);
        if (!view) return;
        benchsupport::holdAllLevel4Grids(view->render()->mapEngine());
        // A turning camera, so that every frame has new work.
        benchsupport::Camera camera(*view, benchsupport::CameraMotion::turning);
        for (auto _ : state) {
            bool once = true;
            ms.push_back(benchsupport::millisecondsOf(
                [&] { once = benchsupport::drawOneFrame(*view, &camera); }));
            if (!once) {
                state.SkipWithError("a camera move drew other than one frame");
                break;
            }
        }
    }
    if (ms.empty()) return;
    const auto [median, p95] = benchsupport::percentiles(ms);
    state.counters["median_ms"] = median;
    state.counters["p95_ms"] = p95;
    std::printf(
        "map view frame at 640x1136: median %.3f ms, 95th percentile %.3f ms (%zu frames)\n",
        median, p95, ms.size());
}

BENCHMARK(BM_MapViewFrame)->Iterations(300)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
