// Gesture to frame: from delivering one touch move of a pan on the map view to the presented
// frame that shows it (the map view draws at once when the pan moves its camera), beside an idle
// frame of the same map, interleaved in one run at 640 x 1136 pixels on whatever GL the machine
// has (Mesa's llvmpipe without a GPU). Prints the median and 95th percentile of both and their
// difference.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "Foundation/NSPathUtilities.h"
#include "MapFrameBench.h"
#include "UIKit/UIScreen.h"
#include "VMMapView.h"
#include "host/HeadlessHost.h"
#include "vmap_core/MapEngineInternal.h"

namespace {

using Millis = std::chrono::duration<double, std::milli>;

using benchsupport::Percentiles;
using benchsupport::percentiles;

void BM_GestureToFrame(benchmark::State& state) {
    const benchsupport::BenchHome home(state);
    if (!home) return;
    UIScreen::mainScreen()->setScale(2);
    std::vector<double> idle, moved;
    {
        auto view = VMMapView::create(CGRectMake(0, 0, 320, 568));
        if (!view) {
            state.SkipWithError("no OpenGL ES 1.1 context on this machine");
            return;
        }
        auto host = std::make_unique<HeadlessHost>();
        host->window()->addSubview(view);
        view->zoomToLevel(4.5);
        view->layer()->setNeedsDisplay();
        view->layer()->displayIfNeeded();
        view->baseMapView()->layoutIfNeeded();
        view->baseMapView()->drawView();
        view->baseMapView()->drawView();
        benchsupport::holdAllLevel4Grids(view->render()->mapEngine());
        // A pan under way: the finger has travelled past the pan's threshold.
        CGPoint finger{160, 284};
        host->touchDown(0, finger);
        for (int i = 0; i < 3; ++i) {
            finger.x += 5;
            host->touchMove(0, finger);
        }
        const auto& pan = view->panGestureRecognizer();
        if (pan->state() != UIGestureRecognizerStateChanged) {
            state.SkipWithError("the pan did not begin");
            return;
        }
        double step = 2;
        for (auto _ : state) {
            auto start = std::chrono::steady_clock::now();
            view->baseMapView()->drawView();
            idle.push_back(Millis(std::chrono::steady_clock::now() - start).count());

            // Back and forth, so that the map stays over the held grids.
            if (finger.x > 200 || finger.x < 120) step = -step;
            finger.x += step;
            start = std::chrono::steady_clock::now();
            host->touchMove(0, finger);
            moved.push_back(Millis(std::chrono::steady_clock::now() - start).count());
        }
        host->touchUp(0, finger);
    }
    if (idle.empty()) return;
    const Percentiles a = percentiles(idle), b = percentiles(moved);
    state.counters["idle_median_ms"] = a.median;
    state.counters["idle_p95_ms"] = a.p95;
    state.counters["move_median_ms"] = b.median;
    state.counters["move_p95_ms"] = b.p95;
    std::printf(
        "gesture to frame at 640x1136 (%zu moves): idle frame median %.3f ms, p95 %.3f ms; "
        "pan move to frame median %.3f ms, p95 %.3f ms; the gesture adds %.3f ms (median), "
        "%.3f ms (p95)\n",
        moved.size(), a.median, a.p95, b.median, b.p95, b.median - a.median, b.p95 - a.p95);
}

BENCHMARK(BM_GestureToFrame)->Iterations(600)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
