// A pan on the map view at 640 x 1136 pixels on whatever GL the machine has (Mesa's llvmpipe
// without a GPU). (1) Gesture to frame: from delivering one touch move to the frame that shows
// it (the move marks the map for drawing, the display link's next frame draws it), beside an
// idle frame of the same map, interleaved; prints the median and 95th percentile of both and
// their difference. (2) A pan as a touch screen delivers it, one move each refresh, 60 a second
// in real time, the run loop turning between moves and the screen composed after each turn that
// changed it, as the window host does: the map frames drawn per move (one is enough to show
// every move) and the full-screen buffers that steady frames allocate per frame (a presented
// frame that does not write over the image its layer had made a new one).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSRunLoop.h"
#include "MapFrameBench.h"
#include "QuartzCore/CADisplayLink.h"
#include "UIKit/UIScreen.h"
#include "VMMapView.h"
#include "host/HeadlessHost.h"
#include "vmap_core/MapEngineInternal.h"

namespace {

using benchsupport::millisecondsOf;
using benchsupport::Percentiles;
using benchsupport::percentiles;

// A map view in a headless window over held grids, with one finger's pan under way: the finger
// has travelled past the pan's threshold.
struct PanUnderWay {
    std::shared_ptr<VMMapView> view;
    std::unique_ptr<HeadlessHost> host;
    CGPoint finger{160, 284};
    double step = 2;

    // False, with the benchmark skipped, when there is no GL or the pan did not begin.
    bool begin(benchmark::State& state) {
        view = benchsupport::screenMapView(state, 4.5);
        if (!view) return false;
        host = std::make_unique<HeadlessHost>();
        host->window()->addSubview(view);
        view->layer()->setNeedsDisplay();
        view->layer()->displayIfNeeded();
        benchsupport::holdAllLevel4Grids(view->render()->mapEngine());
        view->baseMapView()->drawView();
        host->touchDown(0, finger);
        for (int i = 0; i < 3; ++i) {
            finger.x += 5;
            host->touchMove(0, finger);
        }
        if (view->panGestureRecognizer()->state() != UIGestureRecognizerStateChanged) {
            state.SkipWithError("the pan did not begin");
            return false;
        }
        return true;
    }
    // Back and forth, so that the map stays over the held grids.
    void move() {
        if (finger.x > 200 || finger.x < 120) step = -step;
        finger.x += step;
        host->touchMove(0, finger);
    }
    ~PanUnderWay() {
        if (host && host->fingersDown() > 0) host->touchUp(0, finger);
    }
};

void BM_GestureToFrame(benchmark::State& state) {
    const benchsupport::BenchHome home(state);
    if (!home) return;
    std::vector<double> idle, moved;
    {
        PanUnderWay pan;
        if (!pan.begin(state)) return;
        VMBaseMapView& map = *pan.view->baseMapView();
        for (auto _ : state) {
            idle.push_back(millisecondsOf([&] { map.drawView(); }));
            const auto drawn = map.framesDrawn();
            moved.push_back(millisecondsOf([&] {
                pan.move();
                map.drawView();
            }));
            if (map.framesDrawn() != drawn + 1) {
                state.SkipWithError("a move drew other than the one frame that shows it");
                break;
            }
        }
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

void BM_PanAt60Hz(benchmark::State& state) {
    const benchsupport::BenchHome home(state);
    if (!home) return;
    constexpr double kRefresh = CADisplayLink::kRefreshPeriod;
    constexpr int kMoves = 300;
    // Frames drawn and buffers made from the second move on, when the pan is steady.
    std::uint64_t frames = 0;
    int buffers = 0;
    {
        PanUnderWay pan;
        if (!pan.begin(state)) return;
        VMBaseMapView& map = *pan.view->baseMapView();
        const auto& layer = map.layer();
        // One turn of the main run loop and the screen composed when it changed, as the window
        // host does; counts the frames the turn drew and whether they wrote over the layer's
        // image or made a new one.
        bool counting = false;
        const auto turn = [&](double wait) {
            const std::weak_ptr<CGImage> shown = layer->contents();
            const auto drawn = map.framesDrawn();
            NSRunLoop::mainRunLoop()->runOnce(wait);
            if (map.framesDrawn() != drawn && counting) {
                frames += map.framesDrawn() - drawn;
                buffers += shown.lock() != layer->contents();
            }
            if (pan.host->needsCompose()) pan.host->compose();
        };
        // Moves land half a refresh after the display link's refreshes, so that every refresh
        // falls between two moves.
        const double deadline = Clock::now() + 1;
        const auto first = map.framesDrawn();
        while (map.framesDrawn() == first && Clock::now() < deadline) turn(kRefresh);
        if (map.framesDrawn() == first || !map.displayLink()) {
            state.SkipWithError("the display link did not draw");
            return;
        }
        const double start = map.displayLink()->timestamp() + 1.5 * kRefresh;
        const VMMapPoint under = pan.view->mapPointForPoint(pan.finger);
        for (auto _ : state) {
            for (int i = 0; i < kMoves; ++i) {
                const double due = start + i * kRefresh;
                for (double now = Clock::now(); now < due; now = Clock::now()) turn(due - now);
                pan.move();
                counting = i > 0;
            }
            // The last move's refresh.
            const double end = start + kMoves * kRefresh;
            for (double now = Clock::now(); now < end; now = Clock::now()) turn(end - now);
        }
        // The map followed the finger: what was under it at the start still is.
        const CGPoint shown = pan.view->pointForMapPoint(under);
        if (std::hypot(shown.x - pan.finger.x, shown.y - pan.finger.y) > 0.5)
            state.SkipWithError("the map did not follow the finger");
    }
    const double perMove = double(frames) / (kMoves - 1);
    const double perFrame = frames > 0 ? double(buffers) / double(frames) : 0;
    state.counters["frames_per_move"] = perMove;
    state.counters["buffers_per_frame"] = perFrame;
    std::printf(
        "pan at 60 moves a second (%d moves): %.3f map frames per move, %.3f full-screen buffers "
        "allocated per frame\n",
        kMoves, perMove, perFrame);
}

BENCHMARK(BM_PanAt60Hz)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
