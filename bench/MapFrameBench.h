#pragma once

// What the map frame benchmarks share: a temporary home for the run and a map view of a phone's
// screen, 640 x 1136 pixels (320 x 568 points at scale 2).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <system_error>

#include "Foundation/NSPathUtilities.h"
#include "UIKit/UIScreen.h"
#include "VMMapView.h"

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

}  // namespace benchsupport
