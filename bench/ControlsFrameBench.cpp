// Composited frame time of a 640 x 1136 pixel map view with its on-map controls (compass, scale
// bar, heading cone and an open callout) against the bare map, frame by frame in turn on
// whatever GL the machine has (Mesa's llvmpipe without a GPU), the camera turning: median and
// 95th percentile of both and their difference. Also a pinch's steps with the scale bar on and
// off in turn. A frame is the camera's move, the map's frame and the composed screen; the
// controls are set up once and only shown or hidden between frames, as they stay on screen.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSRunLoop.h"
#include "MapFrameBench.h"
#include "UIKit/UIScreen.h"
#include "VAvaCalloutView.h"
#include "VMAngleIndicator.h"
#include "VMMapView.h"
#include "host/HeadlessHost.h"

namespace {

using Times = benchsupport::Percentiles;

Times gBare, gControls, gPinchOff, gPinchOn;

using benchsupport::Camera;
using benchsupport::CameraMotion;

// The two sides' frames in turn, `show` putting each side's controls on screen first.
// False when a frame drew other than one map frame.
bool bareAndWith(VMMapView& view, HeadlessHost& host, CameraMotion motion, int rounds,
                 const std::function<void(bool)>& show, Times& bare, Times& with) {
    Camera camera(view, motion);
    bool once = true;
    const auto frame = [&] {
        once = benchsupport::drawOneFrame(view, &camera) && once;
        host.compose();
    };
    const auto ms = benchsupport::interleave<2>(rounds, {frame, frame},
                                                [&](std::size_t side) { show(side == 1); });
    bare = benchsupport::percentiles(ms[0]);
    with = benchsupport::percentiles(ms[1]);
    return once;
}

void BM_ControlsFrame(benchmark::State& state) {
    const benchsupport::BenchHome home(state);
    if (!home) return;
    {
        HeadlessHost host;
        auto view = benchsupport::screenMapView(state, 14);
        if (!view) return;
        host.window()->addSubview(view);

        auto cone = VMAngleIndicator::initWithRadius(68);
        cone->setAngle(75);
        cone->setCenter({160, 284});
        view->addSubview(cone);
        auto pin = UIView::create(CGRectMake(144, 245, 32, 39));
        view->addSubview(pin);
        auto callout = VAvaCalloutView::create();
        callout->setTitle("维修工单 4711");
        callout->setSubtitle("北京市东城区东长安街");
        callout->presentCalloutFromRect(pin->bounds(), pin, view, false);
        // The callout shows from the next turn on.
        if (!NSRunLoop::mainRunLoop()->runUntil([&] { return !callout->isHidden(); }, 1)) {
            state.SkipWithError("the callout did not show");
            return;
        }
        view->setShowsScale(true);
        // The scale bar is hidden and shown by itself: showing it through the map view would
        // draw its legend again, which a scale bar that stays on does only when the zoom changes.
        const auto controls = [&](bool on) {
            view->setShowsCompass(on);
            view->scaleView()->setHidden(!on);
            cone->setHidden(!on);
            pin->setHidden(!on);
            callout->setHidden(!on);
        };
        for (auto _ : state) {
            bool once =
                bareAndWith(*view, host, CameraMotion::turning, 120, controls, gBare, gControls);
            controls(true);
            once = bareAndWith(
                       *view, host, CameraMotion::zooming, 60,
                       [&](bool on) { view->scaleView()->setHidden(!on); }, gPinchOff, gPinchOn) &&
                   once;
            if (!once) {
                state.SkipWithError("a camera move drew other than one frame");
                break;
            }
        }
    }
    state.counters["bare_median_ms"] = gBare.median;
    state.counters["controls_median_ms"] = gControls.median;
    state.counters["added_ms"] = gControls.median - gBare.median;
    state.counters["pinch_scale_added_ms"] = gPinchOn.median - gPinchOff.median;
}

BENCHMARK(BM_ControlsFrame)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gBare.median > 0) {
        std::printf(
            "composited frame at 640x1136: bare map median %.3f ms, p95 %.3f ms; with compass, "
            "scale bar, heading cone and callout median %.3f ms, p95 %.3f ms; difference median "
            "%+.3f ms, p95 %+.3f ms\n",
            gBare.median, gBare.p95, gControls.median, gControls.p95,
            gControls.median - gBare.median, gControls.p95 - gBare.p95);
        std::printf(
            "pinch, per step: scale bar off median %.3f ms, p95 %.3f ms; on median %.3f "
            "ms, p95 %.3f ms; difference median %+.3f ms\n",
            gPinchOff.median, gPinchOff.p95, gPinchOn.median, gPinchOn.p95,
            gPinchOn.median - gPinchOff.median);
    }
    return 0;
}
