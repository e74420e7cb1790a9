#pragma once

// What the map frame benchmarks share: a temporary home for the run and a map view of a phone's
// screen, 640 x 1136 pixels (320 x 568 points at scale 2).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "Foundation/NSPathUtilities.h"
#include "UIKit/UIScreen.h"
#include "VMMapView.h"
#include "vmap_core/MapEngineInternal.h"

namespace benchsupport {

// The home directory of one benchmark's run, removed when it ends. False, with the benchmark
// skipped, when none could be made. Declared before the views that write into it.
class BenchHome {
  public:
    explicit BenchHome(benchmark::State& state) {
        char pattern[] = "/tmp/brisfold-bench-XXXXXX";
        if (const char* made = mkdtemp(pattern)) {
            path_ = made;
            NSSetHomeDirectory(path_.string());
        } else {
            state.SkipWithError("no temporary home");
        }
    }
    ~BenchHome() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    BenchHome(const BenchHome&) = delete;
    BenchHome& operator=(const BenchHome&) = delete;

    explicit operator bool() const { return !path_.empty(); }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// The screen's map view at the zoom, laid out and drawn once; null, with the benchmark skipped,
// where the machine has no OpenGL ES 1.1.
inline std::shared_ptr<VMMapView> screenMapView(benchmark::State& state, double zoom) {
    UIScreen::mainScreen()->setScale(2);
    auto view = VMMapView::create(CGRectMake(0, 0, 320, 568));
    if (!view) {
        state.SkipWithError("no OpenGL ES 1.1 context on this machine");
        return nullptr;
    }
    view->zoomToLevel(zoom);
    view->baseMapView()->layoutIfNeeded();
    view->baseMapView()->drawView();
    return view;
}

// Every level-4 grid, so that whatever the camera shows is held and drawn.
inline void holdAllLevel4Grids(MapEngine* engine) {
    for (int i = 0; i < 256; ++i) {
        std::vector<uint8_t> body{0, 0, 0, 0, 4};
        for (int level = 3; level >= 0; --level) body.push_back('0' + ((i >> (2 * level)) & 3));
        body.insert(body.end(), {1, 2, 3, static_cast<uint8_t>(i)});
        mapEnginePutGridData(engine, 0, body.data(), static_cast<int32_t>(body.size()));
    }
    mapEngineWaitForStores(engine, std::chrono::steady_clock::now() + std::chrono::seconds(60));
}

template <typename F>
double millisecondsOf(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

struct Percentiles {
    double median = 0;
    double p95 = 0;
};

inline Percentiles percentiles(std::vector<double> ms) {
    if (ms.empty()) return {};
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 95 / 100)]};
}

// The median of a number of frames drawn by the map view, the camera turned by the given degrees
// before each so that every frame has new work (0: the same view each time).
inline double medianFrameMs(VMMapView& view, int frames, double turnDegrees = 0) {
    std::vector<double> ms;
    double rotation = 0;
    for (int i = 0; i < frames; ++i) {
        if (turnDegrees != 0) {
            rotation += turnDegrees;
            view.rotateToDegree(rotation);
        }
        ms.push_back(millisecondsOf([&] { view.baseMapView()->drawView(); }));
    }
    return percentiles(std::move(ms)).median;
}

}  // namespace benchsupport
