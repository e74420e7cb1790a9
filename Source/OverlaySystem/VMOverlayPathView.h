#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "CoreGraphics/CGPath.h"
#include "VMOverlayView.h"

// Stroke and fill attributes of the path-shaped overlay views. Only the colours, width, join and
// cap types and the dash flag reach the drawing; the rest are kept for callers that set them.
class VMOverlayPathView : public VMOverlayView {
  public:
    bool lineDash() const { return lineDash_; }
    void setLineDash(bool dash) { lineDash_ = dash; }
    int lineJoin() const { return lineJoin_; }
    void setLineJoin(int join) { lineJoin_ = join; }
    int lineCap() const { return lineCap_; }
    void setLineCap(int cap) { lineCap_ = cap; }
    int lineJoinType() const { return lineJoinType_; }
    void setLineJoinType(int type) { lineJoinType_ = type; }
    int lineCapType() const { return lineCapType_; }
    void setLineCapType(int type) { lineCapType_ = type; }
    UIColorRef fillColor() const;
    virtual void setFillColor(UIColorRef color);
    UIColorRef strokeColor() const;
    void setStrokeColor(UIColorRef color);
    double lineWidth() const { return lineWidth_; }
    void setLineWidth(double width) { lineWidth_ = width; }
    double miterLimit() const { return miterLimit_; }
    void setMiterLimit(double limit) { miterLimit_ = limit; }
    double lineDashPhase() const { return lineDashPhase_; }
    void setLineDashPhase(double phase) { lineDashPhase_ = phase; }
    std::vector<double> lineDashPattern() const;
    void setLineDashPattern(std::vector<double> pattern);
    const CGPathRef& path() const { return path_; }
    void setPath(CGPathRef path) { path_ = std::move(path); }

    // For subclasses that draw their path into a bitmap context; the GL drawing reads none.
    virtual void createPath() {}
    virtual void invalidatePath() {}
    virtual void applyStrokePropertiesToContext(CGContextRef /*context*/, double /*zoomScale*/) {}
    virtual void applyFillPropertiesToContext(CGContextRef /*context*/, double /*zoomScale*/) {}
    virtual void strokePath(const CGPathRef& /*path*/, CGContextRef /*context*/) {}
    virtual void fillPath(const CGPathRef& /*path*/, CGContextRef /*context*/) {}

  protected:
    VMOverlayPathView() = default;
    void initDefaultAttributes();
    // Converts the model's points when there are at least `minimum` of them; otherwise the view
    // keeps none and draws nothing.
    void refreshGlPoints(const VMMapPoint* points, std::size_t count, std::size_t minimum);

  private:
    bool lineDash_ = false;
    int lineJoin_ = 0;
    int lineCap_ = 0;
    int lineJoinType_ = 0;
    int lineCapType_ = 0;
    mutable std::mutex mutex_;
    UIColorRef fillColor_;
    UIColorRef strokeColor_;
    double lineWidth_ = 0;
    double miterLimit_ = 0;
    double lineDashPhase_ = 0;
    std::vector<double> lineDashPattern_;
    CGPathRef path_;
};
