#pragma once

#include <memory>

#include "CoreGraphics/CGPath.h"
#include "Foundation/NSObject.h"

// A path in points for drawing into and clipping the current UIKit context.
class UIBezierPath : public NSObject {
  public:
    static std::shared_ptr<UIBezierPath> bezierPathWithRect(CGRect rect);
    static std::shared_ptr<UIBezierPath> bezierPathWithOvalInRect(CGRect rect);

    CGPathRef CGPath() const { return path_; }
    CGRect bounds() const { return CGPathGetBoundingBox(path_); }
    // Intersects the clip of UIGraphicsGetCurrentContext() with the path's inside.
    void addClip() const;

  private:
    explicit UIBezierPath(CGPathRef path) : path_(std::move(path)) {}
    CGPathRef path_;
};
