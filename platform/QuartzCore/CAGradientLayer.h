#pragma once

#include <vector>

#include "QuartzCore/CALayer.h"

// An axial gradient over the bounds; points are in the unit square of the layer.
class CAGradientLayer : public CALayer {
  public:
    static std::shared_ptr<CAGradientLayer> layer();

    const std::vector<CGColor>& colors() const { return colors_; }
    void setColors(std::vector<CGColor> colors);
    // Empty: the colours spread evenly.
    const std::vector<CGFloat>& locations() const { return locations_; }
    void setLocations(std::vector<CGFloat> locations);
    CGPoint startPoint() const { return start_; }
    void setStartPoint(CGPoint p);
    CGPoint endPoint() const { return end_; }
    void setEndPoint(CGPoint p);

  protected:
    CAGradientLayer() = default;
    void drawOwnContent(CGContextRef ctx, const CALayerPresentation& v) override;

  private:
    std::vector<CGColor> colors_;
    std::vector<CGFloat> locations_;
    CGPoint start_{0.5, 0};
    CGPoint end_{0.5, 1};
};
