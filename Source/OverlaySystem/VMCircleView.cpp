#include "VMCircleView.h"

std::shared_ptr<VMCircleView> VMCircleView::initWithCircle(std::shared_ptr<VMCircle> circle) {
    auto view = finishCreate(std::shared_ptr<VMCircleView>(new VMCircleView()), CGRectZero);
    view->setOverlay(std::move(circle));
    view->initDefaultAttributes();
    return view;
}

std::shared_ptr<VMCircle> VMCircleView::circle() const {
    return std::dynamic_pointer_cast<VMCircle>(overlay());
}

void VMCircleView::referenceDidChange() {
    VMOverlayPathView::referenceDidChange();
    if (const auto c = circle()) refreshGlPoints(c->mapPoints(), c->pointsCount(), 3);
}

void VMCircleView::glRender() {
    if (glPoints() == nullptr || glPointCount() < 2) return;
    const double width = glWidthForWindowWidth(lineWidth());
    if (const GLuint texture = strokeTextureID()) {
        renderTextureStrokedRegionWithPoints(glPoints(), glPointCount(), fillColor(), width,
                                             texture, true);
        return;
    }
    renderStrokedRegionWithPoints(glPoints(), glPointCount(), fillColor(), strokeColor(), width,
                                  lineJoinType(), lineDash(), true);
}
