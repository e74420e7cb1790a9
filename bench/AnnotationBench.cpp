// What annotations cost the user, each beside the empty map, the two maps taking frames in turn
// in one window (the one not measured hidden): (1) the composited frame at 640 x 1136 pixels
// with 1,000 default pins on screen while the map turns, median and 95th percentile; (2) one pan
// step and its frame, reuse pass and positions included, with 10,000 annotations listed over a
// hundred screens. Both sides draw one map frame each time, as the display link does after a
// camera change. Prints both sides and their ratio. Then (3) each camera setter without animation
// with 1,000 pins on screen, alone and with its frame.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <vector>

#include "Foundation/NSPathUtilities.h"
#include "MapFrameBench.h"
#include "UIKit/UIScreen.h"
#include "VMMapView.h"
#include "VMPointAnnotation.h"
#include "host/HeadlessHost.h"

namespace {

using Times = benchsupport::Percentiles;

Times gEmptyFrame, gPinsFrame, gEmptyStep, gListedStep;
double gAddMs = 0;

Times measure(int n, const std::function<void(int)>& step) {
    std::vector<double> ms;
    for (int i = 0; i < n; ++i) ms.push_back(benchsupport::millisecondsOf([&] { step(i); }));
    return benchsupport::percentiles(std::move(ms));
}

// Annotations spread evenly over a rectangle of the map.
std::vector<std::shared_ptr<VMAnnotation>> spread(const VMMapRect& area, int count,
                                                  std::mt19937& random) {
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<std::shared_ptr<VMAnnotation>> annotations;
    for (int i = 0; i < count; ++i) {
        annotations.push_back(VMPointAnnotation::create(
            coordinateForMapPoint({area.origin.x + unit(random) * area.size.width,
                                   area.origin.y + unit(random) * area.size.height})));
    }
    return annotations;
}

// Four points to the side, ten times one way and ten times back, as a finger pans.
void panStep(VMMapView& view, int i) {
    const double dx = i % 20 < 10 ? 4 : -4;
    view.setCenterCoordinate(coordinateForMapPoint(view.mapPointForPoint({160 + dx, 284})), false);
}

// Two maps of the screen's size in one window, only the one taking a frame shown.
struct TwoMaps {
    std::array<std::shared_ptr<VMMapView>, 2> maps;

    bool open(benchmark::State& state, HeadlessHost& host) {
        for (auto& map : maps) {
            map = benchsupport::screenMapView(state, 14.5);
            if (!map) return false;
            host.window()->addSubview(map);
        }
        return true;
    }
    void show(std::size_t side) {
        maps[side]->setHidden(false);
        maps[1 - side]->setHidden(true);
    }
    // Both maps' frames in turn; false when one drew other than one map frame.
    bool interleave(int rounds, const std::function<void(VMMapView&)>& move,
                    const std::function<void()>& after, Times& a, Times& b) {
        bool once = true;
        const auto frame = [&](std::size_t side) {
            return [&, side] {
                VMMapView& view = *maps[side];
                const auto before = view.baseMapView()->framesDrawn();
                move(view);
                view.baseMapView()->drawView();
                once = once && view.baseMapView()->framesDrawn() == before + 1;
                after();
            };
        };
        const auto ms = benchsupport::interleave<2>(rounds, {frame(0), frame(1)},
                                                    [&](std::size_t side) { show(side); });
        a = benchsupport::percentiles(ms[0]);
        b = benchsupport::percentiles(ms[1]);
        return once;
    }
};

void BM_Annotations(benchmark::State& state) {
    const benchsupport::BenchHome home(state);
    if (!home) return;
    {
        HeadlessHost host;
        // The empty map and the annotated one.
        TwoMaps two;
        if (!two.open(state, host)) return;
        VMMapView& annotated = *two.maps[1];
        host.compose();
        for (auto _ : state) {
            std::mt19937 random(7);
            const VMMapRect visible = annotated.visibleMapRect();
            annotated.addAnnotations(spread(visible, 1000, random));
            std::array<benchsupport::Camera, 2> cameras{
                benchsupport::Camera(*two.maps[0], benchsupport::CameraMotion::turning),
                benchsupport::Camera(annotated, benchsupport::CameraMotion::turning)};
            bool once = two.interleave(
                120, [&](VMMapView& view) { cameras[&view == &annotated].move(); },
                [&] { host.compose(); }, gEmptyFrame, gPinsFrame);
            annotated.removeAnnotations(annotated.annotations());
            // The pan step's baseline is the empty map: nothing listed, no view on the floor.
            if (!annotated.annotations().empty() ||
                !annotated.annotationFloor()->subviews().empty()) {
                state.SkipWithError("clearing the map left annotations behind");
                break;
            }
            for (const auto& map : two.maps) map->rotateToDegree(0);

            const VMMapPoint centre{visible.origin.x + visible.size.width / 2,
                                    visible.origin.y + visible.size.height / 2};
            const VMMapRect wide{
                {centre.x - visible.size.width * 5, centre.y - visible.size.height * 5},
                {visible.size.width * 10, visible.size.height * 10}};
            const auto listed = spread(wide, 10000, random);
            gAddMs = measure(1, [&](int) {
                         for (const auto& a : listed) annotated.addAnnotation(a);
                     }).median;
            std::array<int, 2> steps{};
            once = two.interleave(
                       200, [&](VMMapView& view) { panStep(view, steps[&view == &annotated]++); },
                       [] {}, gEmptyStep, gListedStep) &&
                   once;
            if (!once) {
                state.SkipWithError("a camera change drew other than one map frame");
                break;
            }
        }
    }
    state.counters["empty_frame_ms"] = gEmptyFrame.median;
    state.counters["pins_frame_ms"] = gPinsFrame.median;
    state.counters["empty_step_ms"] = gEmptyStep.median;
    state.counters["listed_step_ms"] = gListedStep.median;
}

BENCHMARK(BM_Annotations)->Iterations(1)->Unit(benchmark::kMillisecond);

// A map view on the host's screen at zoom 14.5 with `count` default pins spread over what it
// shows, composited once; null without GL.
std::shared_ptr<VMMapView> pinnedScreen(benchmark::State& state, HeadlessHost& host, int count) {
    auto view = benchsupport::screenMapView(state, 14.5);
    if (!view) return nullptr;
    host.window()->addSubview(view);
    std::mt19937 random(7);
    view->addAnnotations(spread(view->visibleMapRect(), count, random));
    host.compose();
    return view;
}

// Growth: the median composited frame with N default pins on screen while the map turns.
void BM_PinsFrame(benchmark::State& state) {
    const benchsupport::BenchHome home(state);
    if (!home) return;
    {
        HeadlessHost host;
        const auto view = pinnedScreen(state, host, static_cast<int>(state.range(0)));
        if (!view) return;
        benchsupport::Camera camera(*view, benchsupport::CameraMotion::turning);
        for (auto _ : state) {
            bool once = true;
            const Times t = measure(60, [&](int) {
                once = benchsupport::drawOneFrame(*view, &camera) && once;
                host.compose();
            });
            if (!once) {
                state.SkipWithError("a camera change drew other than one map frame");
                break;
            }
            state.SetIterationTime(t.median / 1000);
        }
        view->removeAnnotations(view->annotations());
    }
}
BENCHMARK(BM_PinsFrame)
    ->Arg(100)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(5000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// One camera setter without animation, with 1,000 default pins on screen: the setter alone, or
// the setter and the frame the display link draws after it. The camera goes back and forth
// between two places, so that every call changes it; the frame after a setter timed alone is
// drawn untimed. The median of the calls.
enum class Setter { centre, zoom, region };

void BM_PinsSetter(benchmark::State& state, Setter setter, bool withFrame) {
    const benchsupport::BenchHome home(state);
    if (!home) return;
    {
        HeadlessHost host;
        const auto view = pinnedScreen(state, host, 1000);
        if (!view) return;
        const std::array<CLLocationCoordinate2D, 2> centres{
            coordinateForMapPoint(view->mapPointForPoint({160, 284})),
            coordinateForMapPoint(view->mapPointForPoint({164, 284}))};
        const std::array<double, 2> zooms{14.5, 14.6};
        std::array<VMCoordinateRegion, 2> regions{view->region(), view->region()};
        regions[1].center = centres[1];
        const auto set = [&](int i) {
            switch (setter) {
                case Setter::centre:
                    view->setCenterCoordinate(centres[i % 2], false);
                    break;
                case Setter::zoom:
                    view->setZoomLevel(zooms[i % 2], false);
                    break;
                case Setter::region:
                    view->setRegion(regions[i % 2], false);
                    break;
            }
        };
        const auto frame = [&] { view->baseMapView()->drawView(); };
        for (auto _ : state) {
            bool once = true;
            std::vector<double> ms;
            for (int i = 0; i < 300; ++i) {
                const auto before = view->baseMapView()->framesDrawn();
                ms.push_back(benchsupport::millisecondsOf([&] {
                    set(i);
                    if (withFrame) frame();
                }));
                if (!withFrame) frame();
                once = once && view->baseMapView()->framesDrawn() == before + 1;
            }
            if (!once) {
                state.SkipWithError("a camera change drew other than one map frame");
                break;
            }
            state.SetIterationTime(benchsupport::percentiles(std::move(ms)).median / 1000);
        }
        view->removeAnnotations(view->annotations());
    }
}

// Registered one by one: each setter alone, then each with its frame.
#define PINS_SETTER(name, setter, withFrame)                  \
    BENCHMARK_CAPTURE(BM_PinsSetter, name, setter, withFrame) \
        ->Iterations(1)                                       \
        ->UseManualTime()                                     \
        ->Unit(benchmark::kMicrosecond)
PINS_SETTER(setCenterCoordinate, Setter::centre, false);
PINS_SETTER(setZoomLevel, Setter::zoom, false);
PINS_SETTER(setRegion, Setter::region, false);
PINS_SETTER(setCenterCoordinate_frame, Setter::centre, true);
PINS_SETTER(setZoomLevel_frame, Setter::zoom, true);
PINS_SETTER(setRegion_frame, Setter::region, true);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gEmptyFrame.median > 0) {
        std::printf(
            "composited frame at 640x1136: empty median %.3f ms p95 %.3f ms; 1,000 pins median "
            "%.3f ms p95 %.3f ms (ratio of medians %.2f; target under 16.7 ms)\n",
            gEmptyFrame.median, gEmptyFrame.p95, gPinsFrame.median, gPinsFrame.p95,
            gPinsFrame.median / gEmptyFrame.median);
        std::printf(
            "pan step: empty median %.3f ms p95 %.3f ms; 10,000 listed median %.3f ms p95 %.3f "
            "ms (ratio %.2f, %.3f ms over; target at most 2 ms over)\n",
            gEmptyStep.median, gEmptyStep.p95, gListedStep.median, gListedStep.p95,
            gListedStep.median / gEmptyStep.median, gListedStep.median - gEmptyStep.median);
        std::printf("adding those 10,000 one by one: %.3f ms\n", gAddMs);
    }
    return 0;
}
