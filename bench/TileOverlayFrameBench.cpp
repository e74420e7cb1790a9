// Frame time of a 640 x 1136 pixel map view showing the devserver's raster tiles under a heat
// map of 100,000 clustered nodes, every tile loaded, against the same map without overlays, the
// two maps drawing in turn, one frame each, on whatever GL the machine has. Prints both medians
// and their ratio.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

#include "DevServer.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSRunLoop.h"
#include "MapFrameBench.h"
#include "UIKit/UIScreen.h"
#include "VMHeatMapTileOverlay.h"
#include "VMMapView.h"
#include "VMTileOverlayView.h"

namespace {

double gEmptyMs = 0;
double gLoadedMs = 0;

// Draws frames, turning the run loop between them, until every shown tile has its texture.
bool loadAll(VMMapView& view, const std::vector<std::shared_ptr<VMTileOverlayView>>& views) {
    return NSRunLoop::currentRunLoop()->runUntil(
        [&] {
            view.baseMapView()->drawView();
            for (const auto& tiles : views) {
                const auto names = tiles->getCurrentTiles();
                if (names.empty()) return false;
                for (const auto& name : names) {
                    const auto t = VMTileOverlayView::parseTile(name);
                    if (!tiles->textureForKey(tiles->keyForTile(t->XIndex, t->YIndex, t->ZoomLevel))
                             .value_or(0)) {
                        return false;
                    }
                }
            }
            return true;
        },
        120);
}

void BM_TileOverlayFrame(benchmark::State& state) {
    const benchsupport::BenchHome home(state);
    if (!home) return;
    {
        devserver::DevServerOptions options;
        options.passwordIterations = 1000;
        devserver::DevServer server(home.path() / "devserver.sqlite", options);
        std::string error;
        if (!server.start(0, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        // The bare map, drawn beside the one with the overlays.
        auto bare = benchsupport::screenMapView(state, 14.5);
        if (!bare) return;
        auto view = benchsupport::screenMapView(state, 14.5);
        if (!view) return;
        for (auto _ : state) {
            const auto tileOverlay = VMTileOverlay::createWithURLTemplate(
                "http://127.0.0.1:" + std::to_string(server.port()) +
                "/tiles/{z}/{x}/{y}.png?scale={scale}");
            auto tiles = VMTileOverlayView::initWithTileOverlay(tileOverlay);
            // 100,000 nodes in twenty clusters over the visible region.
            const VMMapRect area = view->visibleMapRect();
            std::mt19937 random(5);
            std::uniform_real_distribution<double> unit(0, 1);
            std::normal_distribution<double> spread(0, area.size.width / 20);
            std::vector<VMMapPoint> centres;
            for (int i = 0; i < 20; ++i) {
                centres.push_back({area.origin.x + unit(random) * area.size.width,
                                   area.origin.y + unit(random) * area.size.height});
            }
            auto nodes = std::make_shared<std::vector<std::shared_ptr<VMHeatMapNode>>>();
            for (int i = 0; i < 100000; ++i) {
                const VMMapPoint c = centres[i % centres.size()];
                nodes->push_back(VMHeatMapNode::create(
                    coordinateForMapPoint({c.x + spread(random), c.y + spread(random)}),
                    float(0.5 + unit(random))));
            }
            const auto heat = VMHeatMapTileOverlay::create();
            heat->setData(nodes);
            auto heatView = VMTileOverlayView::initWithTileOverlay(heat);
            auto& container = *view->overlayContainer();
            container.insertOverlay(tileOverlay, tiles, 0, 1);
            container.insertOverlay(heat, heatView, 1, 1);
            if (!loadAll(*view, {tiles, heatView})) {
                state.SkipWithError("the tiles did not all arrive");
                break;
            }
            bool once = true;
            const auto frame = [&once](VMMapView* map) {
                return [&once, map] { once = benchsupport::drawOneFrame(*map, nullptr) && once; };
            };
            const auto ms = benchsupport::interleave<2>(60, {frame(bare.get()), frame(view.get())});
            if (!once) {
                state.SkipWithError("a frame was not drawn");
                break;
            }
            gEmptyMs = benchsupport::percentiles(ms[0]).median;
            gLoadedMs = benchsupport::percentiles(ms[1]).median;
            container.removeOverlay(heat);
            container.removeOverlay(tileOverlay);
        }
        server.stop();
    }
    state.counters["empty_ms"] = gEmptyMs;
    state.counters["tiles_heatmap_ms"] = gLoadedMs;
}

BENCHMARK(BM_TileOverlayFrame)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gEmptyMs > 0 && gLoadedMs > 0) {
        std::printf(
            "map view frame at 640x1136, medians: empty %.3f ms; raster tiles + heat map of "
            "100,000 nodes, all loaded: %.3f ms (ratio %.2f)\n",
            gEmptyMs, gLoadedMs, gLoadedMs / gEmptyMs);
    }
    return 0;
}
