#include "CAGradientLayer.h"

std::shared_ptr<CAGradientLayer> CAGradientLayer::layer() {
    return std::shared_ptr<CAGradientLayer>(new CAGradientLayer());
}

void CAGradientLayer::setColors(std::vector<CGColor> colors) {
    colors_ = std::move(colors);
    changed();
}
void CAGradientLayer::setLocations(std::vector<CGFloat> locations) {
    locations_ = std::move(locations);
    changed();
}
void CAGradientLayer::setStartPoint(CGPoint p) {
    start_ = p;
    changed();
}
void CAGradientLayer::setEndPoint(CGPoint p) {
    end_ = p;
    changed();
}

void CAGradientLayer::drawOwnContent(CGContextRef ctx, const CALayerPresentation& v) {
    CALayer::drawOwnContent(ctx, v);
    if (colors_.empty()) return;
    // Locations that do not match the colours one to one are ignored, as on the platform.
    const bool useLocations = locations_.size() == colors_.size();
    const auto gradient =
        CGGradientCreateWithColors(colors_, useLocations ? locations_.data() : nullptr);
    const CGRect& b = v.bounds;
    CGContextSaveGState(ctx);
    CGContextClipToRect(ctx, b);
    CGContextDrawLinearGradient(
        ctx, gradient,
        {b.origin.x + start_.x * b.size.width, b.origin.y + start_.y * b.size.height},
        {b.origin.x + end_.x * b.size.width, b.origin.y + end_.y * b.size.height},
        kCGGradientDrawsBeforeStartLocation | kCGGradientDrawsAfterEndLocation);
    CGContextRestoreGState(ctx);
}
