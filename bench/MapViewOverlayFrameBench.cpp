// Frame time of a 640 x 1136 pixel map view with 100 polylines of 1,000 points and 100 polygons
// of 200 points spread over the visible region, against the same map without overlays, in one
// run on whatever GL the machine has (Mesa's llvmpipe without a GPU). Reports the medians and
// the triangles of one frame (work_*), of which those under half a pixel are the slivers.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

#include "Foundation/NSPathUtilities.h"
#include "GLESUtility.h"
#include "MapFrameBench.h"
#include "UIKit/UIScreen.h"
#include "VMMapView.h"
#include "VMPolygonView.h"
#include "VMPolylineView.h"

namespace {

double gEmptyMs = 0;
double gStreetsMs = 0;
double gWigglesMs = 0;
// The views of the overlays shown now, with whether each is an area.
std::vector<std::pair<std::shared_ptr<VMOverlayPathView>, bool>> gViews;

struct FrameWork {
    double triangles = 0;
    double slivers = 0;
};

// The triangles the overlays of one frame draw, made again through the drawing utility's own
// steps for each view as its render method does.
FrameWork countFrameWork() {
    FrameWork work;
    const auto utility = GLESUtility::sharedUtility();
    for (const auto& [view, area] : gViews) {
        const double pixel = view->glWidthForWindowWidth(1 / UIScreen::mainScreen()->scale());
        const auto count = [&](const std::vector<std::uint32_t>& indices, const auto& position) {
            work.triangles += double(indices.size() / 3);
            for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
                const auto a = position(indices[t]);
                const auto b = position(indices[t + 1]);
                const auto c = position(indices[t + 2]);
                const double twice =
                    std::fabs(double(b.x - a.x) * (c.y - a.y) - double(b.y - a.y) * (c.x - a.x));
                work.slivers += twice / 2 < 0.5 * pixel * pixel;
            }
        };
        view->updateGlWindow();
        utility->setClipWindow(view->glWindow().data(), 4);
        utility->setMergeTolerance(pixel);
        VMPolygonList lists;
        utility->reducePoints(view->glPoints(), view->glPointCount(), area ? 1 : 0,
                              view->glWidthForWindowWidth(2.5), false, lists);
        for (const VMPointList& list : lists) {
            if (area) {
                count(utility->getTriangleIndicesForPoints(list),
                      [&](std::uint32_t i) { return list[i]; });
            }
            const Drawable* d = utility->convertPoints(
                list, view->strokeColor(), view->glWidthForWindowWidth(view->lineWidth()), area,
                view->lineJoinType(), area ? 0 : view->lineCapType(), false);
            if (d) count(d->indices, [&](std::uint32_t i) { return d->vertices[i].position; });
        }
    }
    return work;
}

// Routes of 1,000 points, each about as long as the screen is wide. Streets: 20 straight legs
// that turn at right angles, sampled with a jitter of a quarter pixel, as recorded tracks are.
// Wiggles: a random walk that turns at every point, the worst case for merging.
void addPolylines(VMOverlayContainerView& container, const VMMapRect& area, std::mt19937& random,
                  bool streets, int count = 100) {
    std::uniform_real_distribution<double> unit(0, 1);
    std::normal_distribution<double> turn(0, 0.15);
    const double step = area.size.width / 1000;
    // The screen is 640 pixels wide.
    std::uniform_real_distribution<double> jitter(-area.size.width / 2560, area.size.width / 2560);
    for (int i = 0; i < count; ++i) {
        std::vector<VMMapPoint> points;
        VMMapPoint p{area.origin.x + unit(random) * area.size.width,
                     area.origin.y + unit(random) * area.size.height};
        double heading = unit(random) * 2 * M_PI;
        for (int k = 0; k < 1000; ++k) {
            points.push_back(streets ? VMMapPoint{p.x + jitter(random), p.y + jitter(random)} : p);
            if (!streets) {
                heading += turn(random);
            } else if (k % 50 == 49) {
                heading += unit(random) < 0.5 ? M_PI / 2 : -M_PI / 2;
            }
            p.x = std::clamp(p.x + step * std::cos(heading), area.origin.x,
                             area.origin.x + area.size.width);
            p.y = std::clamp(p.y + step * std::sin(heading), area.origin.y,
                             area.origin.y + area.size.height);
        }
        const auto line = VMPolyline::polylineWithPoints(points);
        auto view = VMPolylineView::initWithPolyline(line);
        view->setLineWidth(3);
        container.insertOverlay(line, view, SIZE_MAX, 1);
        gViews.emplace_back(view, false);
    }
}

// Areas: round polygons of 200 points, a tenth of the screen across, with the same jitter, or
// star-shaped ones for the worst case.
void addPolygons(VMOverlayContainerView& container, const VMMapRect& area, std::mt19937& random,
                 bool round, int count = 100) {
    std::uniform_real_distribution<double> unit(0, 1);
    const double radius = area.size.width / 20;
    const double spread = round ? 1.0 / 128 : 0.4;
    for (int i = 0; i < count; ++i) {
        const VMMapPoint c{area.origin.x + unit(random) * area.size.width,
                           area.origin.y + unit(random) * area.size.height};
        std::vector<VMMapPoint> points;
        for (int k = 0; k < 200; ++k) {
            const double a = 2 * M_PI * k / 200;
            const double r = radius * (1 - spread + spread * unit(random));
            points.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
        }
        const auto polygon = VMPolygon::polygonWithPoints(points);
        auto view = VMPolygonView::initWithPolygon(polygon);
        view->setLineWidth(1);
        container.insertOverlay(polygon, view, SIZE_MAX, 1);
        gViews.emplace_back(view, true);
    }
}

// A turning camera, so that every frame has new work.
double medianFrameMs(VMMapView& view, int frames) {
    return benchsupport::medianFrameMs(view, frames, 0.5);
}

void BM_MapViewOverlayFrame(benchmark::State& state) {
    const benchsupport::BenchHome home(state);
    if (!home) return;
    FrameWork streets;
    FrameWork wiggles;
    {
        auto view = benchsupport::screenMapView(state, 14.5);
        if (!view) return;
        for (auto _ : state) {
            gEmptyMs = medianFrameMs(*view, 60);
            std::mt19937 random(11);
            const VMMapRect area = view->visibleMapRect();
            auto& container = *view->overlayContainer();
            addPolylines(container, area, random, true);
            addPolygons(container, area, random, true);
            gStreetsMs = medianFrameMs(*view, 60);
            streets = countFrameWork();
            gViews.clear();
            for (const int level : {0, 1}) {
                for (const auto& overlay : container.overlaysInLevel(level)) {
                    container.removeOverlay(overlay);
                }
            }
            addPolylines(container, area, random, false);
            addPolygons(container, area, random, false);
            gWigglesMs = medianFrameMs(*view, 60);
            wiggles = countFrameWork();
            gViews.clear();
        }
    }
    state.counters["empty_ms"] = gEmptyMs;
    state.counters["streets_ms"] = gStreetsMs;
    state.counters["wiggles_ms"] = gWigglesMs;
    state.counters["work_streets_triangles"] = streets.triangles;
    state.counters["work_streets_slivers"] = streets.slivers;
    state.counters["work_wiggles_triangles"] = wiggles.triangles;
    state.counters["work_wiggles_slivers"] = wiggles.slivers;
}

BENCHMARK(BM_MapViewOverlayFrame)->Iterations(1)->Unit(benchmark::kMillisecond);

// Growth: the median frame with N street-like routes and N round areas, 25 to 400 of each.
void BM_OverlayFrameGrowth(benchmark::State& state) {
    const benchsupport::BenchHome home(state);
    if (!home) return;
    {
        auto view = benchsupport::screenMapView(state, 14.5);
        if (!view) return;
        std::mt19937 random(11);
        const VMMapRect area = view->visibleMapRect();
        const int pairs = static_cast<int>(state.range(0));
        addPolylines(*view->overlayContainer(), area, random, true, pairs);
        addPolygons(*view->overlayContainer(), area, random, true, pairs);
        gViews.clear();
        for (auto _ : state) state.SetIterationTime(medianFrameMs(*view, 30) / 1000);
    }
}
BENCHMARK(BM_OverlayFrameGrowth)
    ->Arg(25)
    ->Arg(50)
    ->Arg(100)
    ->Arg(200)
    ->Arg(400)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gEmptyMs > 0) {
        std::printf(
            "map view frame at 640x1136, medians: empty %.3f ms; 100 polylines + 100 polygons: "
            "streets %.3f ms (ratio %.2f), wiggles %.3f ms (ratio %.2f)\n",
            gEmptyMs, gStreetsMs, gStreetsMs / gEmptyMs, gWigglesMs, gWigglesMs / gEmptyMs);
    }
    return 0;
}
