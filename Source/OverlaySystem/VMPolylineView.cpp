#include "VMPolylineView.h"

std::shared_ptr<VMPolylineView> VMPolylineView::initWithPolyline(
    std::shared_ptr<VMPolyline> polyline) {
    auto view = finishCreate(std::shared_ptr<VMPolylineView>(new VMPolylineView()), CGRectZero);
    view->setOverlay(std::move(polyline));
    view->initDefaultAttributes();
    view->setFillColor(UIColor::clearColor());
    return view;
}

std::shared_ptr<VMPolyline> VMPolylineView::polyline() const {
    return std::dynamic_pointer_cast<VMPolyline>(overlay());
}

void VMPolylineView::setFillColor(UIColorRef) {
    VMOverlayPathView::setFillColor(UIColor::clearColor());
}

void VMPolylineView::referenceDidChange() {
    VMOverlayPathView::referenceDidChange();
    if (const auto line = polyline()) refreshGlPoints(line->points(), line->pointCount(), 2);
}

void VMPolylineView::glRender() {
    if (glPoints() == nullptr || glPointCount() < 2 || !(lineWidth() > 0)) return;
    const double width = glWidthForWindowWidth(lineWidth());
    if (const GLuint texture = strokeTextureID()) {
        renderTexturedLinesWithPoints(glPoints(), glPointCount(), width, texture, false);
        return;
    }
    renderLinesWithPoints(glPoints(), glPointCount(), strokeColor(), width, false, lineJoinType(),
                          lineCapType(), lineDash());
}
