// A whole-screen snapshot of a map view (640 x 1136 pixels, with views on the annotation
// floor) beside one plain frame of the same view, on whatever GL the machine has (Mesa's
// llvmpipe without a GPU). Both are measured in one run, alternating, each after the camera
// turned and drawing one map frame, and the medians and their ratio printed: a snapshot should
// cost at most 1.4 frames.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "Foundation/NSPathUtilities.h"
#include "MapFrameBench.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIScreen.h"
#include "VMMapView.h"
#include "VMMapViewSnapshot.h"
#include "vmap_core/MapEngineInternal.h"

namespace {

using benchsupport::millisecondsOf;

double median(std::vector<double> ms) { return benchsupport::percentiles(std::move(ms)).median; }

void BM_MapViewSnapshot(benchmark::State& state) {
    const benchsupport::BenchHome home(state);
    if (!home) return;
    std::vector<double> frames, snapshots;
    {
        auto view = benchsupport::screenMapView(state, 4.5);
        if (!view) return;
        benchsupport::holdAllLevel4Grids(view->render()->mapEngine());
        for (int i = 0; i < 30; ++i) {
            auto pin = UIView::create(CGRectMake(20 + (i % 6) * 50, 40 + (i / 6) * 100, 20, 30));
            pin->setBackgroundColor(UIColor::redColor());
            view->annotationFloor()->addSubview(pin);
        }
        const CGRect whole = view->bounds();
        benchsupport::Camera camera(*view, benchsupport::CameraMotion::turning);
        const auto& map = *view->baseMapView();
        for (auto _ : state) {
            camera.move();
            auto drawn = map.framesDrawn();
            frames.push_back(millisecondsOf([&] { view->baseMapView()->drawView(); }));
            bool once = map.framesDrawn() == drawn + 1;
            camera.move();
            drawn = map.framesDrawn();
            snapshots.push_back(millisecondsOf([&] {
                if (!takeSnapshotInRect(*view, whole)) state.SkipWithError("no snapshot");
            }));
            once = once && map.framesDrawn() == drawn + 1;
            if (!once) {
                state.SkipWithError("a frame or snapshot drew other than one map frame");
                break;
            }
        }
    }
    const double frame = median(frames);
    const double snapshot = median(snapshots);
    state.counters["frame_median_ms"] = frame;
    state.counters["snapshot_median_ms"] = snapshot;
    state.counters["frames_per_snapshot"] = frame > 0 ? snapshot / frame : 0;
    std::printf(
        "640x1136: plain frame median %.3f ms, snapshot with annotations median %.3f ms, "
        "ratio %.2f frames (%zu each)\n",
        frame, snapshot, frame > 0 ? snapshot / frame : 0, frames.size());
}

BENCHMARK(BM_MapViewSnapshot)->Iterations(100)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
