#include "CAGradientLayer.h"

std::shared_ptr<CAGradientLayer> CAGradientLayer::layer() {
    return std::shared_ptr<CAGradientLayer>(new CAGradientLayer());
}

void CAGradientLayer::setColors(std::vector<CGColor> colors) {
    colors_ = std::move(colors);
    noteChanged();
}
void CAGradientLayer::setLocations(std::vector<CGFloat> locations) {
    locations_ = std::move(locations);
    noteChanged();
}
void CAGradientLayer::setStartPoint(CGPoint p) {
    start_ = p;
    noteChanged();
}
void CAGradientLayer::setEndPoint(CGPoint p) {
    end_ = p;
    noteChanged();
}

void CAGradientLayer::drawOwnContent(cairo_t* cr, const CALayerPresentation& v) {
    CALayer::drawOwnContent(cr, v);
    if (colors_.empty()) return;
    const CGRect& b = v.bounds;
    cairo_pattern_t* p = cairo_pattern_create_linear(
        b.origin.x + start_.x * b.size.width, b.origin.y + start_.y * b.size.height,
        b.origin.x + end_.x * b.size.width, b.origin.y + end_.y * b.size.height);
    const size_t n = colors_.size();
    // Locations that do not match the colours one to one are ignored, as on the platform.
    const bool useLocations = locations_.size() == n;
    for (size_t i = 0; i < n; ++i) {
        const CGFloat at = useLocations ? locations_[i] : (n > 1 ? CGFloat(i) / (n - 1) : 0);
        const CGColor& c = colors_[i];
        cairo_pattern_add_color_stop_rgba(p, at, c.r, c.g, c.b, c.a);
    }
    cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
    cairo_save(cr);
    cairo_rectangle(cr, b.origin.x, b.origin.y, b.size.width, b.size.height);
    cairo_clip(cr);
    cairo_set_source(cr, p);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_pattern_destroy(p);
}
