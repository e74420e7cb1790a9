#include "VMOverlayContainerView.h"

#include <algorithm>

#include "VMGroundOverlay.h"

namespace {

// Level 0 holds ground images, so that one added after a route still lies under it.
int levelForOverlay(const VMOverlayRef& overlay) {
    return std::dynamic_pointer_cast<VMGroundOverlay>(overlay) ? 0 : 1;
}

bool validLevel(int level) { return level == 0 || level == 1; }

// Rectangles that overlap by some area, or a line-shaped one that lies within the other: a
// straight horizontal or vertical overlay has a bounding rect without width or height.
bool reaches(const VMMapRect& a, const VMMapRect& b) {
    return a.origin.x < b.origin.x + b.size.width && b.origin.x < a.origin.x + a.size.width &&
           a.origin.y < b.origin.y + b.size.height && b.origin.y < a.origin.y + a.size.height;
}

}  // namespace

std::shared_ptr<VMOverlayContainerView> VMOverlayContainerView::create(CGRect frame) {
    return finishCreate(std::shared_ptr<VMOverlayContainerView>(new VMOverlayContainerView()),
                        frame);
}

std::vector<VMOverlayRef> VMOverlayContainerView::overlays() const {
    std::vector<VMOverlayRef> all = overlays_[0];
    all.insert(all.end(), overlays_[1].begin(), overlays_[1].end());
    return all;
}

std::vector<VMOverlayRef> VMOverlayContainerView::overlaysInLevel(int level) const {
    return overlays_[std::clamp(level, 0, 1)];
}

void VMOverlayContainerView::addOverlay(const VMOverlayRef& overlay) {
    addOverlay(overlay, levelForOverlay(overlay));
}

void VMOverlayContainerView::addOverlays(const std::vector<VMOverlayRef>& overlays) {
    if (overlays.empty()) return;
    std::array<std::vector<VMOverlayRef>, 2> byLevel;
    for (const auto& overlay : overlays) byLevel[levelForOverlay(overlay)].push_back(overlay);
    for (int level = 0; level < 2; ++level) addOverlays(byLevel[level], level);
}

void VMOverlayContainerView::addOverlay(const VMOverlayRef& overlay, int level) {
    if (!validLevel(level)) return;
    insertOverlay(overlay, overlays_[level].size(), level);
}

void VMOverlayContainerView::addOverlays(const std::vector<VMOverlayRef>& overlays, int level) {
    const auto d = delegate();
    if (!validLevel(level) || overlays.empty() || !d) return;
    const std::vector<VMOverlayRef> adding = overlays;
    std::vector<VMOverlayViewRef> added;
    for (const auto& overlay : adding) {
        if (!overlay || existsOverlay(overlay)) continue;
        auto drawable = d->createDrawableForOverlay(overlay);
        if (!drawable) continue;
        const std::size_t before = overlays_[level].size();
        insertOverlay(overlay, drawable, before, level);
        if (overlays_[level].size() > before) added.push_back(std::move(drawable));
    }
    d->overlayContainerAddedDrawables(added);
}

void VMOverlayContainerView::insertOverlay(const VMOverlayRef& overlay, std::size_t index) {
    insertOverlay(overlay, index, levelForOverlay(overlay));
}

void VMOverlayContainerView::insertOverlay(const VMOverlayRef& overlay, std::size_t index,
                                           int level) {
    const auto d = delegate();
    if (!overlay || !validLevel(level) || existsOverlay(overlay) || !d) return;
    const bool userCircle = d->isUserLocationCircle(overlay);
    VMOverlayViewRef drawable;
    if (!userCircle || d->customizeUserLocationAccuracyCircleRepresentation()) {
        drawable = d->createDrawableForOverlay(overlay);
    } else {
        drawable = d->userLocationCircleViewWithCircle(overlay);
    }
    if (!drawable) return;
    const std::size_t before = overlays_[level].size();
    insertOverlay(overlay, drawable, index, level);
    if (overlays_[level].size() == before || userCircle) return;
    d->overlayContainerAddedDrawables({drawable});
}

void VMOverlayContainerView::insertOverlayAboveOverlay(const VMOverlayRef& overlay,
                                                       const VMOverlayRef& sibling) {
    int level = 0;
    std::size_t index = 0;
    if (!overlay || !checkLevel(level, index, sibling)) return;
    insertOverlay(overlay, index + 1, level);
}

void VMOverlayContainerView::insertOverlayBelowOverlay(const VMOverlayRef& overlay,
                                                       const VMOverlayRef& sibling) {
    int level = 0;
    std::size_t index = 0;
    if (!overlay || !checkLevel(level, index, sibling)) return;
    insertOverlay(overlay, index, level);
}

void VMOverlayContainerView::removeOverlay(const VMOverlayRef& overlay) {
    int level = 0;
    std::size_t index = 0;
    if (checkLevel(level, index, overlay)) removeOverlay(overlay, level);
}

void VMOverlayContainerView::removeOverlays(const std::vector<VMOverlayRef>& overlays) {
    const std::vector<VMOverlayRef> removing = overlays;
    for (const auto& overlay : removing) removeOverlay(overlay);
}

void VMOverlayContainerView::exchangeOverlay(const VMOverlayRef& a, const VMOverlayRef& b) {
    int levelA = 0, levelB = 0;
    std::size_t indexA = 0, indexB = 0;
    if (!a || !b || !checkLevel(levelA, indexA, a) || !checkLevel(levelB, indexB, b)) return;
    if (levelA == levelB) {
        exchangeOverlayAtIndex(indexA, indexB, levelA);
        return;
    }
    removeOverlay(a, levelA);
    removeOverlay(b, levelB);
    insertOverlay(a, indexB, levelB);
    insertOverlay(b, indexA, levelA);
}

void VMOverlayContainerView::exchangeOverlayAtIndex(std::size_t i, std::size_t j, int level) {
    if (!validLevel(level) || i == j) return;
    auto& overlays = overlays_[level];
    if (i >= overlays.size() || j >= overlays.size()) return;
    std::swap(overlays[i], overlays[j]);
    std::swap(drawables_[level][i], drawables_[level][j]);
}

VMOverlayRef VMOverlayContainerView::overlayForIndex(std::size_t index, int level) const {
    if (!validLevel(level) || index >= overlays_[level].size()) return nullptr;
    return overlays_[level][index];
}

VMOverlayViewRef VMOverlayContainerView::drawableForOverlay(const VMOverlayRef& overlay) const {
    int level = 0;
    std::size_t index = 0;
    if (!overlay || !checkLevel(level, index, overlay)) return nullptr;
    return drawables_[level][index];
}

bool VMOverlayContainerView::existsOverlay(const VMOverlayRef& overlay) const {
    int level = 0;
    std::size_t index = 0;
    return checkLevel(level, index, overlay);
}

bool VMOverlayContainerView::checkLevel(int& level, std::size_t& index,
                                        const VMOverlayRef& overlay) const {
    for (int l = 0; l < 2; ++l) {
        const auto& overlays = overlays_[l];
        const auto it = std::find(overlays.begin(), overlays.end(), overlay);
        if (it == overlays.end()) continue;
        level = l;
        index = std::size_t(it - overlays.begin());
        return true;
    }
    level = 0;
    index = kNotFound;
    return false;
}

void VMOverlayContainerView::insertOverlay(const VMOverlayRef& overlay,
                                           const VMOverlayViewRef& drawable, std::size_t index,
                                           int level) {
    if (!overlay || !drawable || !validLevel(level) || existsOverlay(overlay)) return;
    // One drawable draws one overlay: a second pairing would leave it drawn twice and
    // removed with whichever overlay goes first.
    for (const auto& drawables : drawables_) {
        if (std::find(drawables.begin(), drawables.end(), drawable) != drawables.end()) return;
    }
    auto& overlays = overlays_[level];
    auto& drawables = drawables_[level];
    index = std::min(index, overlays.size());
    if (!drawable->mapView()) {
        drawable->setMapView(std::dynamic_pointer_cast<VMOverlayMapView>(delegate()));
    }
    overlays.insert(overlays.begin() + std::ptrdiff_t(index), overlay);
    drawables.insert(drawables.begin() + std::ptrdiff_t(index), drawable);
    drawable->referenceDidChange();
}

void VMOverlayContainerView::removeOverlay(const VMOverlayRef& overlay, int level) {
    auto& overlays = overlays_[level];
    const auto it = std::find(overlays.begin(), overlays.end(), overlay);
    if (it == overlays.end()) return;
    drawables_[level].erase(drawables_[level].begin() + (it - overlays.begin()));
    overlays.erase(it);
}

VMMapRect VMOverlayContainerView::visibleMapRect() const {
    const auto d = delegate();
    if (!d) return {};
    const VMMapRect r = d->visibleMapRect();
    return {{r.origin.x - r.size.width / 2, r.origin.y - r.size.height / 2},
            {r.size.width * 2, r.size.height * 2}};
}

void VMOverlayContainerView::drawOverlaysInLevel(int level) {
    if (!validLevel(level) || !delegate()) return;
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
