#pragma once

#include <memory>

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

  private:
    CGImageRef screen_;
    uint64_t composedAt_ = ~uint64_t{0};
};
