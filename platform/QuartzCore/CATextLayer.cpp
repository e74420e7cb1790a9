#include "CATextLayer.h"

std::shared_ptr<CATextLayer> CATextLayer::layer() {
    return std::shared_ptr<CATextLayer>(new CATextLayer());
}

void CATextLayer::setString(std::string s) {
    string_ = std::move(s);
    changed();
}
void CATextLayer::setFontSize(CGFloat size) {
    font_.size = size;
    changed();
}
void CATextLayer::setFontName(const std::string& name) {
    font_.bold = name.find("Bold") != std::string::npos || name.find("bold") != std::string::npos;
    changed();
}
void CATextLayer::setForegroundColor(CGColor c) {
    colour_ = c;
    changed();
}
void CATextLayer::setAlignmentMode(std::string mode) {
    alignment_ = std::move(mode);
    changed();
}
void CATextLayer::setWrapped(bool w) {
    wrapped_ = w;
    changed();
}
void CATextLayer::setTruncationMode(std::string mode) {
    truncation_ = std::move(mode);
    changed();
}

void CATextLayer::drawOwnContent(CGContextRef ctx, const CALayerPresentation& v) {
    CALayer::drawOwnContent(ctx, v);
    if (string_.empty()) return;
    CGTextStyle style;
    style.font = font_;
    style.alignment = alignment_ == kCAAlignmentCenter  ? NSTextAlignmentCenter
                      : alignment_ == kCAAlignmentRight ? NSTextAlignmentRight
                                                        : NSTextAlignmentLeft;
    style.lineBreakMode = truncation_ == kCATruncationEnd ? NSLineBreakByTruncatingTail
                          : wrapped_                      ? NSLineBreakByWordWrapping
                                                          : NSLineBreakByClipping;
    style.numberOfLines = wrapped_ ? 0 : 1;
    CGContextSaveGState(ctx);
    CGContextClipToRect(ctx, v.bounds);
    CGTextDrawInRect(ctx, string_, v.bounds, style, colour_);
    CGContextRestoreGState(ctx);
}
