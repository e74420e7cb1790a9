// Frame time of a 640 x 1136 pixel map view with 100 polylines of 1,000 points and 100 polygons
// of 200 points spread over the visible region, street-like or wiggly, against the same map
// without overlays, on whatever GL the machine has (Mesa's llvmpipe without a GPU). The three
// maps draw in turn, one frame each, while their cameras turn, and again while they zoom as a
// pinch does. Reports the medians and the triangles of one frame (work_*), of which those under
// half a pixel are the slivers.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
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

using benchsupport::CameraMotion;

// Medians of the frames of each map, turning and zooming.
struct Medians {
    double empty = 0;
    double streets = 0;
    double wiggles = 0;
};
Medians gTurning, gZooming;

// The views of a map's overlays, with whether each is an area.
using OverlayViews = std::vector<std::pair<std::shared_ptr<VMOverlayPathView>, bool>>;

struct FrameWork {
    double triangles = 0;
    double slivers = 0;
};

// The triangles the overlays of one frame draw, made again through the drawing utility's own
// steps for each view as its render method does.
FrameWork countFrameWork(const OverlayViews& views) {
    FrameWork work;
    const auto utility = GLESUtility::sharedUtility();
    for (const auto& [view, area] : views) {
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
                  bool streets, OverlayViews& views, int count = 100) {
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
        views.emplace_back(view, false);
    }
}

// Areas: round polygons of 200 points, a tenth of the screen across, with the same jitter, or
// star-shaped ones for the worst case.
void addPolygons(VMOverlayContainerView& container, const VMMapRect& area, std::mt19937& random,
                 bool round, OverlayViews& views, int count = 100) {
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
        views.emplace_back(view, true);
    }
}

// The maps' frames in turn while their cameras move; false when a frame drew other than once.
bool interleavedMedians(const std::array<std::shared_ptr<VMMapView>, 3>& maps, CameraMotion motion,
                        Medians& medians) {
    std::array<benchsupport::Camera, 3> cameras{benchsupport::Camera(*maps[0], motion),
                                                benchsupport::Camera(*maps[1], motion),
                                                benchsupport::Camera(*maps[2], motion)};
    bool once = true;
    const auto frame = [&](std::size_t i) {
        return [&, i] { once = benchsupport::drawOneFrame(*maps[i], &cameras[i]) && once; };
    };
    const auto ms = benchsupport::interleave<3>(60, {frame(0), frame(1), frame(2)});
    medians = {benchsupport::percentiles(ms[0]).median, benchsupport::percentiles(ms[1]).median,
               benchsupport::percentiles(ms[2]).median};
    return once;
}

void BM_MapViewOverlayFrame(benchmark::State& state) {
    const benchsupport::BenchHome home(state);
    if (!home) return;
    FrameWork streets;
    FrameWork wiggles;
    {
        // No overlays, street-like ones, wiggly ones.
        std::array<std::shared_ptr<VMMapView>, 3> maps;
        for (auto& map : maps) {
            map = benchsupport::screenMapView(state, 14.5);
            if (!map) return;
        }
        std::mt19937 random(11);
        const VMMapRect area = maps[0]->visibleMapRect();
        OverlayViews streetViews, wiggleViews;
        addPolylines(*maps[1]->overlayContainer(), area, random, true, streetViews);
        addPolygons(*maps[1]->overlayContainer(), area, random, true, streetViews);
        addPolylines(*maps[2]->overlayContainer(), area, random, false, wiggleViews);
        addPolygons(*maps[2]->overlayContainer(), area, random, false, wiggleViews);
        for (auto _ : state) {
            if (!interleavedMedians(maps, CameraMotion::turning, gTurning) ||
                !interleavedMedians(maps, CameraMotion::zooming, gZooming)) {
                state.SkipWithError("a camera move drew other than one frame");
                break;
            }
        }
        streets = countFrameWork(streetViews);
        wiggles = countFrameWork(wiggleViews);
    }
    state.counters["empty_ms"] = gTurning.empty;
    state.counters["streets_ms"] = gTurning.streets;
    state.counters["wiggles_ms"] = gTurning.wiggles;
    state.counters["empty_zooming_ms"] = gZooming.empty;
    state.counters["streets_zooming_ms"] = gZooming.streets;
    state.counters["wiggles_zooming_ms"] = gZooming.wiggles;
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
        OverlayViews views;
        addPolylines(*view->overlayContainer(), area, random, true, views, pairs);
        addPolygons(*view->overlayContainer(), area, random, true, views, pairs);
        for (auto _ : state) {
            const double ms = benchsupport::medianFrameMs(*view, 30, CameraMotion::turning);
            if (ms == 0) {
                state.SkipWithError("a camera move drew other than one frame");
                break;
            }
            state.SetIterationTime(ms / 1000);
        }
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
    for (const auto& [motion, m] : {std::pair{"turning", gTurning}, {"zooming", gZooming}}) {
        if (m.empty <= 0) continue;
        std::printf(
            "map view frame at 640x1136, camera %s, medians: empty %.3f ms; 100 polylines + 100 "
            "polygons: streets %.3f ms (ratio %.2f), wiggles %.3f ms (ratio %.2f)\n",
            motion, m.empty, m.streets, m.streets / m.empty, m.wiggles, m.wiggles / m.empty);
    }
    return 0;
}
