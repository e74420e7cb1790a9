#include "CAShapeLayer.h"

std::shared_ptr<CAShapeLayer> CAShapeLayer::layer() {
    return std::shared_ptr<CAShapeLayer>(new CAShapeLayer());
}

void CAShapeLayer::setPath(CGPathRef path) {
    path_ = std::move(path);
    noteChanged();
}
void CAShapeLayer::setFillColor(CGColor c) {
    fill_ = c;
    noteChanged();
}
void CAShapeLayer::setStrokeColor(CGColor c) {
    stroke_ = c;
    noteChanged();
}
void CAShapeLayer::setLineWidth(CGFloat w) {
    lineWidth_ = w;
    noteChanged();
}
void CAShapeLayer::setFillRule(std::string rule) {
    fillRule_ = std::move(rule);
    noteChanged();
}
void CAShapeLayer::setLineCap(std::string cap) {
    lineCap_ = std::move(cap);
    noteChanged();
}
void CAShapeLayer::setLineJoin(std::string join) {
    lineJoin_ = std::move(join);
    noteChanged();
}
void CAShapeLayer::setLineDashPattern(std::vector<CGFloat> dash) {
    dash_ = std::move(dash);
    noteChanged();
}

void CAShapeLayer::drawOwnContent(cairo_t* cr, const CALayerPresentation& v) {
    CALayer::drawOwnContent(cr, v);
    if (!path_ || path_->isEmpty()) return;
    cairo_save(cr);
    cairo_new_path(cr);
    path_->replay(cr);
    if (!fill_.isClear()) {
        cairo_set_fill_rule(cr, fillRule_ == kCAFillRuleEvenOdd ? CAIRO_FILL_RULE_EVEN_ODD
                                                                : CAIRO_FILL_RULE_WINDING);
        cairo_set_source_rgba(cr, fill_.r, fill_.g, fill_.b, fill_.a);
        cairo_fill_preserve(cr);
    }
    if (!stroke_.isClear() && lineWidth_ > 0) {
        cairo_set_line_width(cr, lineWidth_);
        cairo_set_line_cap(cr, lineCap_ == kCALineCapRound    ? CAIRO_LINE_CAP_ROUND
                               : lineCap_ == kCALineCapSquare ? CAIRO_LINE_CAP_SQUARE
                                                              : CAIRO_LINE_CAP_BUTT);
        cairo_set_line_join(cr, lineJoin_ == kCALineJoinRound   ? CAIRO_LINE_JOIN_ROUND
                                : lineJoin_ == kCALineJoinBevel ? CAIRO_LINE_JOIN_BEVEL
                                                                : CAIRO_LINE_JOIN_MITER);
        cairo_set_dash(cr, dash_.data(), static_cast<int>(dash_.size()), 0);
        cairo_set_source_rgba(cr, stroke_.r, stroke_.g, stroke_.b, stroke_.a);
        cairo_stroke(cr);
    }
    cairo_new_path(cr);
    cairo_restore(cr);
}
