#pragma once

#include <memory>

#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGImage.h"

// Composes the visible windows into one screen-sized image (points x screen scale), reusing
// the same bitmap from frame to frame. Layers keep their drawn contents between frames, so an
// unchanged tree costs only the blending.
class ScreenCompositor {
  public:
    // The returned image is this compositor's bitmap: valid until the next compose().
    CGImageRef compose();
    // Whether anything changed since the last compose().
    bool needsCompose() const;
    // The system status bar (time, signal, battery) over the top 20 points, as a phone shows
    // it; off by default so that test pixels do not depend on the time of day.
    void setDrawsStatusBar(bool draws) { drawsStatusBar_ = draws; }
    bool drawsStatusBar() const { return drawsStatusBar_; }

  private:
    void drawStatusBar(CGContextRef ctx);
    CGImageRef screen_;
    uint64_t composedAt_ = ~uint64_t{0};
    bool drawsStatusBar_ = false;
    int shownMinute_ = -1;
};
