#include "VMOverlayPathView.h"

void VMOverlayPathView::initDefaultAttributes() {
    setStrokeColor(defaultStrokeColor());
    setFillColor(UIColor::colorWithRed(0.77, 0.88, 0.94, 0.8));
    lineWidth_ = 0;
    lineJoinType_ = 0;
    lineCapType_ = 0;
    miterLimit_ = 10.0;
    lineDash_ = false;
}

UIColorRef VMOverlayPathView::fillColor() const {
    std::lock_guard lock(mutex_);
    return fillColor_;
}

void VMOverlayPathView::setFillColor(UIColorRef color) {
    std::lock_guard lock(mutex_);
    fillColor_ = std::move(color);
}

UIColorRef VMOverlayPathView::strokeColor() const {
    std::lock_guard lock(mutex_);
    return strokeColor_;
}

void VMOverlayPathView::setStrokeColor(UIColorRef color) {
    std::lock_guard lock(mutex_);
    strokeColor_ = std::move(color);
}

std::vector<double> VMOverlayPathView::lineDashPattern() const {
    std::lock_guard lock(mutex_);
    return lineDashPattern_;
}

void VMOverlayPathView::setLineDashPattern(std::vector<double> pattern) {
    std::lock_guard lock(mutex_);
    lineDashPattern_ = std::move(pattern);
}

void VMOverlayPathView::refreshGlPoints(const VMMapPoint* points, std::size_t count,
                                        std::size_t minimum) {
    if (points == nullptr || count < minimum) return;
    setGlPoints(glPointsForMapPoints({points, count}));
}
