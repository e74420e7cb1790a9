#include "VMPolygonView.h"

std::shared_ptr<VMPolygonView> VMPolygonView::initWithPolygon(std::shared_ptr<VMPolygon> polygon) {
    auto view = finishCreate(std::shared_ptr<VMPolygonView>(new VMPolygonView()), CGRectZero);
    view->setOverlay(std::move(polygon));
    view->initDefaultAttributes();
    return view;
}

std::shared_ptr<VMPolygon> VMPolygonView::polygon() const {
    return std::dynamic_pointer_cast<VMPolygon>(overlay());
}

void VMPolygonView::referenceDidChange() {
    VMOverlayPathView::referenceDidChange();
    if (const auto p = polygon()) refreshGlPoints(p->points(), p->pointCount(), 3);
}

void VMPolygonView::glRender() {
    if (glPoints() == nullptr || glPointCount() < 3) return;
    const double width = glWidthForWindowWidth(lineWidth());
    if (const GLuint texture = strokeTextureID()) {
        renderTextureStrokedRegionWithPoints(glPoints(), glPointCount(), fillColor(), width,
                                             texture, false);
        return;
    }
    renderStrokedRegionWithPoints(glPoints(), glPointCount(), fillColor(), strokeColor(), width,
                                  lineJoinType(), lineDash(), false);
}
