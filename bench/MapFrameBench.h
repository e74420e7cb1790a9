#pragma once

// What the map frame benchmarks share: a temporary home for the run, a map view of a phone's
// screen, 640 x 1136 pixels (320 x 568 points at scale 2), the camera's moves between frames and
// a frame as the display link draws it.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "BenchTiming.h"
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

// How the camera moves before each frame, so that every frame has new work: turning half a
// degree, or zooming as a pinch does, in and out by 0.02 a frame within 0.3 of where it began,
// which also leaves nothing that is kept for one zoom to be reused.
enum class CameraMotion { turning, zooming };

class Camera {
  public:
    Camera(VMMapView& view, CameraMotion motion)
        : view_(view),
          motion_(motion),
          rotation_(view.rotationDegree()),
          zoom_(view.currentZoomLevel()) {}

    // Marks the view for drawing, as a gesture's move does.
    void move() {
        ++step_;
        if (motion_ == CameraMotion::turning) {
            view_.rotateToDegree(rotation_ + 0.5 * step_);
            return;
        }
        const int phase = step_ % 60;
        const int offset = phase < 15 ? phase : phase < 45 ? 30 - phase : phase - 60;
        view_.zoomToLevel(zoom_ + 0.02 * offset);
    }

  private:
    VMMapView& view_;
    CameraMotion motion_;
    double rotation_;
    double zoom_;
    int step_ = 0;
};

// One frame as the display link draws it: the camera moved, then the frame drawn. False when it
// drew other than one frame, which would make the sides compared draw different amounts.
inline bool drawOneFrame(VMMapView& view, Camera* camera) {
    const auto before = view.baseMapView()->framesDrawn();
    if (camera) camera->move();
    view.baseMapView()->drawView();
    return view.baseMapView()->framesDrawn() == before + 1;
}

// The median of a number of frames drawn by the map view, each after the camera's move; 0 when a
// frame drew other than once.
inline double medianFrameMs(VMMapView& view, int frames, CameraMotion motion) {
    Camera camera(view, motion);
    std::vector<double> ms;
    bool once = true;
    for (int i = 0; i < frames; ++i)
        ms.push_back(millisecondsOf([&] { once = drawOneFrame(view, &camera) && once; }));
    return once ? percentiles(std::move(ms)).median : 0;
}

}  // namespace benchsupport
