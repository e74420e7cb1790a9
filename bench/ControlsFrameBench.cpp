// Composited frame time of a 640 x 1136 pixel map view with its on-map controls (compass, scale
// bar, heading cone and an open callout) against the bare map, in one run on whatever GL the
// machine has (Mesa's llvmpipe without a GPU): median and 95th percentile of both and their
// difference. Also a 60-step pinch with the scale bar on and off.

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
using benchsupport::millisecondsOf;

Times gBare, gControls, gPinchOff, gPinchOn;

// Every frame turns the camera a little, so the engine, the compass and the screen all change.
Times frames(VMMapView& view, HeadlessHost& host, int count) {
    std::vector<double> ms;
    double rotation = view.rotationDegree();
    for (int i = 0; i < count; ++i) {
        rotation += 0.5;
        view.rotateToDegree(rotation);
        ms.push_back(millisecondsOf([&] {
            view.baseMapView()->drawView();
            host.compose();
        }));
    }
    return benchsupport::percentiles(std::move(ms));
}

// A pinch: 60 zoom steps, each followed by a frame, as the gesture does.
Times pinch(VMMapView& view, HeadlessHost& host) {
    std::vector<double> ms;
    double zoom = 14;
    for (int i = 0; i < 60; ++i) {
        zoom += i < 30 ? 0.05 : -0.05;
        ms.push_back(millisecondsOf([&] {
            view.zoomToLevel(zoom);
            view.baseMapView()->drawView();
            host.compose();
        }));
    }
    return benchsupport::percentiles(std::move(ms));
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
        auto pin = UIView::create(CGRectMake(144, 245, 32, 39));
        auto callout = VAvaCalloutView::create();
        callout->setTitle("维修工单 4711");
        callout->setSubtitle("北京市东城区东长安街");
        const auto controls = [&](bool on) {
            view->setShowsCompass(on);
            view->setShowsScale(on);
            if (on) {
                view->addSubview(cone);
                view->addSubview(pin);
                callout->presentCalloutFromRect(pin->bounds(), pin, view, false);
            } else {
                cone->removeFromSuperview();
                pin->removeFromSuperview();
                callout->dismissCalloutAnimated(false);
            }
        };
        for (auto _ : state) {
            controls(false);
            gBare = frames(*view, host, 120);
            controls(true);
            // The callout shows from the next turn on.
            NSRunLoop::mainRunLoop()->runUntil([&] { return !callout->isHidden(); }, 1);
            gControls = frames(*view, host, 120);
            view->setShowsScale(false);
            gPinchOff = pinch(*view, host);
            view->setShowsScale(true);
            gPinchOn = pinch(*view, host);
        }
    }
    state.counters["bare_median_ms"] = gBare.median;
    state.counters["controls_median_ms"] = gControls.median;
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
            "60-step pinch, per step: scale bar off median %.3f ms, p95 %.3f ms; on median %.3f "
            "ms, p95 %.3f ms; difference median %+.3f ms\n",
            gPinchOff.median, gPinchOff.p95, gPinchOn.median, gPinchOn.p95,
            gPinchOn.median - gPinchOff.median);
    }
    return 0;
}
