// The map view's selection as a list, and the areas in which annotations count as shown.
#include <algorithm>

#include "VMMapView.h"

void VMMapView::setSelectedAnnotations(const std::vector<VMAnnotationRef>& annotations) {
    if (annotations.empty()) return;
    selectAnnotation(annotations.front(), false);
}

std::optional<std::vector<VMAnnotationRef>> VMMapView::selectedAnnotations() const {
    if (!selectedAnnotation_) return std::nullopt;
    return std::vector<VMAnnotationRef>{selectedAnnotation_};
}

VMMapRect VMMapView::annotationValidRect() {
    if (baseMapView_ && baseMapView_->isInSkyMode()) return visibleMapRect();
    const CGRect b = bounds();
    const CGFloat grow = std::min(b.size.width, b.size.height) / 2;
    return mapRectForRect(CGRectInset(b, -grow, -grow));
}
