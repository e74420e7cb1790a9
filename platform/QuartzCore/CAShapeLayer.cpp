#include "CAShapeLayer.h"

std::shared_ptr<CAShapeLayer> CAShapeLayer::layer() {
    return std::shared_ptr<CAShapeLayer>(new CAShapeLayer());
}

void CAShapeLayer::setPath(CGPathRef path) {
    path_ = std::move(path);
    changed();
}
void CAShapeLayer::setFillColor(CGColor c) {
    fill_ = c;
    changed();
}
void CAShapeLayer::setStrokeColor(CGColor c) {
    stroke_ = c;
    changed();
}
void CAShapeLayer::setLineWidth(CGFloat w) {
    lineWidth_ = w;
    changed();
}
void CAShapeLayer::setFillRule(std::string rule) {
    fillRule_ = std::move(rule);
    changed();
}
void CAShapeLayer::setLineCap(std::string cap) {
    lineCap_ = std::move(cap);
    changed();
}
void CAShapeLayer::setLineJoin(std::string join) {
    lineJoin_ = std::move(join);
    changed();
}
void CAShapeLayer::setLineDashPattern(std::vector<CGFloat> dash) {
    dash_ = std::move(dash);
    changed();
}

void CAShapeLayer::drawOwnContent(CGContextRef ctx, const CALayerPresentation& v) {
    CALayer::drawOwnContent(ctx, v);
    if (!path_ || path_->isEmpty()) return;
    const bool fills = !fill_.isClear();
    const bool strokes = !stroke_.isClear() && lineWidth_ > 0;
    if (!fills && !strokes) return;
    const bool evenOdd = fillRule_ == kCAFillRuleEvenOdd;
    CGContextSaveGState(ctx);
    CGContextBeginPath(ctx);
    CGContextAddPath(ctx, path_);
    CGContextSetFillColorWithColor(ctx, fill_);
    CGContextSetStrokeColorWithColor(ctx, stroke_);
    CGContextSetLineWidth(ctx, lineWidth_);
    CGContextSetLineCap(ctx, lineCap_ == kCALineCapRound    ? kCGLineCapRound
                             : lineCap_ == kCALineCapSquare ? kCGLineCapSquare
                                                            : kCGLineCapButt);
    CGContextSetLineJoin(ctx, lineJoin_ == kCALineJoinRound   ? kCGLineJoinRound
                              : lineJoin_ == kCALineJoinBevel ? kCGLineJoinBevel
                                                              : kCGLineJoinMiter);
    CGContextSetLineDash(ctx, 0, dash_.data(), dash_.size());
    if (fills && strokes) {
        CGContextDrawPath(ctx, evenOdd ? kCGPathEOFillStroke : kCGPathFillStroke);
    } else if (fills) {
        CGContextDrawPath(ctx, evenOdd ? kCGPathEOFill : kCGPathFill);
    } else {
        CGContextDrawPath(ctx, kCGPathStroke);
    }
    CGContextRestoreGState(ctx);
}
