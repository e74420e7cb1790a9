#include "VMOverlayFloor.h"

#include "VMGroundOverlayView.h"

std::shared_ptr<VMOverlayFloor> VMOverlayFloor::create(CGRect frame) {
    return finishCreate(std::shared_ptr<VMOverlayFloor>(new VMOverlayFloor()), frame);
}

std::shared_ptr<VMOverlayContainerViewDelegate> VMOverlayFloor::mapView() const {
    return std::dynamic_pointer_cast<VMOverlayContainerViewDelegate>(superview());
}

VMMapRect VMOverlayFloor::visibleMapRect() const {
    const auto map = mapView();
    if (!map) return {};
    const VMMapRect r = map->visibleMapRect();
    return {{r.origin.x - r.size.width / 2, r.origin.y - r.size.height / 2},
            {r.size.width * 2, r.size.height * 2}};
}

void VMOverlayFloor::drawOverlaysWithIsGroundOverlayFlag(bool ground) {
    if (subviews().empty()) return;
    const VMMapRect visible = visibleMapRect();
    // Copied: a drawable may change the floor while it draws.
    const auto views = subviews();
    for (const auto& subview : views) {
        const auto drawable = std::dynamic_pointer_cast<VMOverlayView>(subview);
        if (!drawable || !drawable->overlay()) continue;
        if (!mapRectIntersectsRect(drawable->overlay()->boundingMapRect(), visible)) continue;
        const bool isGround = std::dynamic_pointer_cast<VMGroundOverlayView>(drawable) != nullptr;
        if (isGround == ground) drawable->glRender();
    }
}

void VMOverlayFloor::referenceDidChange() {
    for (const auto& subview : subviews()) {
        if (auto drawable = std::dynamic_pointer_cast<VMOverlayView>(subview))
            drawable->referenceDidChange();
    }
}

void VMOverlayFloor::didAddSubview(const std::shared_ptr<UIView>& subview) {
    UIView::didAddSubview(subview);
    if (auto drawable = std::dynamic_pointer_cast<VMOverlayView>(subview))
        drawable->referenceDidChange();
}
