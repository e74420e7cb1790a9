#pragma once

#include <string>
#include <vector>

#include "CoreGraphics/CGPath.h"
#include "QuartzCore/CALayer.h"

inline const std::string kCAFillRuleNonZero = "non-zero";
inline const std::string kCAFillRuleEvenOdd = "even-odd";
inline const std::string kCALineCapButt = "butt";
inline const std::string kCALineCapRound = "round";
inline const std::string kCALineCapSquare = "square";
inline const std::string kCALineJoinMiter = "miter";
inline const std::string kCALineJoinRound = "round";
inline const std::string kCALineJoinBevel = "bevel";

// A layer that fills and strokes a path in its own coordinates.
class CAShapeLayer : public CALayer {
  public:
    static std::shared_ptr<CAShapeLayer> layer();

    const CGPathRef& path() const { return path_; }
    void setPath(CGPathRef path);
    // Clear colours draw nothing; the fill defaults to opaque black, the stroke to none.
    CGColor fillColor() const { return fill_; }
    void setFillColor(CGColor c);
    CGColor strokeColor() const { return stroke_; }
    void setStrokeColor(CGColor c);
    CGFloat lineWidth() const { return lineWidth_; }
    void setLineWidth(CGFloat w);
    const std::string& fillRule() const { return fillRule_; }
    void setFillRule(std::string rule);
    const std::string& lineCap() const { return lineCap_; }
    void setLineCap(std::string cap);
    const std::string& lineJoin() const { return lineJoin_; }
    void setLineJoin(std::string join);
    const std::vector<CGFloat>& lineDashPattern() const { return dash_; }
    void setLineDashPattern(std::vector<CGFloat> dash);

  protected:
    CAShapeLayer() = default;
    void drawOwnContent(CGContextRef ctx, const CALayerPresentation& v) override;

  private:
    CGPathRef path_;
    CGColor fill_{0, 0, 0, 1};
    CGColor stroke_;
    CGFloat lineWidth_ = 1;
    std::string fillRule_ = kCAFillRuleNonZero;
    std::string lineCap_ = kCALineCapButt;
    std::string lineJoin_ = kCALineJoinMiter;
    std::vector<CGFloat> dash_;
};
