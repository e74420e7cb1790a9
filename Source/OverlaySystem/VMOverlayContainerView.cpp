#include "VMOverlayContainerView.h"

#include <algorithm>

std::shared_ptr<VMOverlayContainerView> VMOverlayContainerView::create(CGRect frame) {
    return finishCreate(std::shared_ptr<VMOverlayContainerView>(new VMOverlayContainerView()),
                        frame);
}

bool VMOverlayContainerView::existsOverlay(const std::shared_ptr<VMOverlay>& overlay) const {
    return std::any_of(overlays_.begin(), overlays_.end(), [&](const auto& level) {
        return std::find(level.begin(), level.end(), overlay) != level.end();
    });
}

void VMOverlayContainerView::insertOverlay(std::shared_ptr<VMOverlay> overlay,
                                           std::shared_ptr<VMOverlayView> drawable,
                                           std::size_t index, int level) {
    if (!overlay || !drawable || (level != 0 && level != 1) || existsOverlay(overlay)) return;
    auto& overlays = overlays_[level];
    auto& drawables = drawables_[level];
    index = std::min(index, overlays.size());
    drawable->setMapView(std::dynamic_pointer_cast<VMOverlayMapView>(delegate()));
    overlays.insert(overlays.begin() + std::ptrdiff_t(index), std::move(overlay));
    drawables.insert(drawables.begin() + std::ptrdiff_t(index), drawable);
    drawable->referenceDidChange();
}

void VMOverlayContainerView::removeOverlay(const std::shared_ptr<VMOverlay>& overlay) {
    for (std::size_t level = 0; level < 2; ++level) {
        auto& overlays = overlays_[level];
        const auto it = std::find(overlays.begin(), overlays.end(), overlay);
        if (it == overlays.end()) continue;
        drawables_[level].erase(drawables_[level].begin() + (it - overlays.begin()));
        overlays.erase(it);
        return;
    }
}

std::vector<std::shared_ptr<VMOverlay>> VMOverlayContainerView::overlaysInLevel(int level) const {
    return overlays_[std::clamp(level, 0, 1)];
}

VMMapRect VMOverlayContainerView::visibleMapRect() const {
    const auto d = delegate();
    if (!d) return {};
    const VMMapRect r = d->visibleMapRect();
    return {{r.origin.x - r.size.width / 2, r.origin.y - r.size.height / 2},
            {r.size.width * 2, r.size.height * 2}};
}

// Rectangles that overlap by some area, or a line-shaped one that lies within the other: a
// straight horizontal or vertical overlay has a bounding rect without width or height.
static bool reaches(const VMMapRect& a, const VMMapRect& b) {
    return a.origin.x < b.origin.x + b.size.width && b.origin.x < a.origin.x + a.size.width &&
           a.origin.y < b.origin.y + b.size.height && b.origin.y < a.origin.y + a.size.height;
}

void VMOverlayContainerView::drawOverlaysInLevel(int level) {
    if (level != 0 && level != 1) return;
    const VMMapRect visible = visibleMapRect();
    for (const auto& drawable : drawables_[level]) {
        const auto& overlay = drawable->overlay();
        if (overlay && reaches(overlay->boundingMapRect(), visible)) drawable->glRender();
    }
}

void VMOverlayContainerView::referenceDidChange() {
    for (const auto& level : drawables_) {
        for (const auto& drawable : level) drawable->referenceDidChange();
    }
}
