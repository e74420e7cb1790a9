#pragma once

#include <functional>
#include <memory>

#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGeometry.h"

class UIImage;

// Draws straight into the pixels of a new image: an image context that hands over its bitmap
// instead of copying it.
class UIGraphicsImageRenderer {
  public:
    // Scale 0 is the main screen's; a context that is not opaque starts transparent.
    explicit UIGraphicsImageRenderer(CGSize size, bool opaque = false, CGFloat scale = 0);

    // The actions draw into UIGraphicsGetCurrentContext() (also passed), top-left origin.
    std::shared_ptr<UIImage> image(const std::function<void(CGContextRef)>& actions) const;

  private:
    CGSize size_;
    bool opaque_;
    CGFloat scale_;
};
