#include "VMGroundOverlayView.h"

#include "GLESUtility.h"
#include "OpenGLES/EAGLContext.h"

std::shared_ptr<VMGroundOverlayView> VMGroundOverlayView::initWithGroundOverlay(
    std::shared_ptr<VMGroundOverlay> groundOverlay) {
    auto view =
        finishCreate(std::shared_ptr<VMGroundOverlayView>(new VMGroundOverlayView()), CGRectZero);
    view->setOverlay(std::move(groundOverlay));
    view->loadTexture();
    return view;
}

VMGroundOverlayView::~VMGroundOverlayView() {
    GLESUtility::deleteTexture(textureContext_, &textureID_);
}

std::shared_ptr<VMGroundOverlay> VMGroundOverlayView::groundOverlay() const {
    return std::dynamic_pointer_cast<VMGroundOverlay>(overlay());
}

void VMGroundOverlayView::loadTexture() {
    const auto current = EAGLContext::currentContext();
    if (!current || (textureLoaded_ && textureContext_.lock() == current)) return;
    GLESUtility::deleteTexture(textureContext_, &textureID_);
    textureLoaded_ = true;
    textureContext_ = current;
    const auto model = groundOverlay();
    if (model && model->icon()) {
        GLESUtility::sharedUtility()->loadTextureImage(model->icon(), &textureID_, false);
    }
}

void VMGroundOverlayView::referenceDidChange() {
    VMOverlayView::referenceDidChange();
    const auto model = groundOverlay();
    if (model && model->pointsCount() == 4) {
        setGlPoints(glPointsForMapPoints({model->mapPoints(), model->pointsCount()}));
    }
}

void VMGroundOverlayView::glRender() {
    loadTexture();
    const auto model = groundOverlay();
    if (!model || glPoints() == nullptr || glPointCount() != 4) return;
    renderIconWithTextureID(textureID_, glPoints(), UIColor::colorWithRed(1, 1, 1, model->alpha()));
}
