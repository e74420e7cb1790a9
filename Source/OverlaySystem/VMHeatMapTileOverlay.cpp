#include "VMHeatMapTileOverlay.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "Foundation/SaturatingCast.h"
#include "UIKit/UIScreen.h"
#include "VMHeatMapTileProvider.h"

namespace {

constexpr const char* kErrorDomain = "ZIRidUdoErrorDomain";
constexpr VMMapRect kWholeWorld{{0, 0}, {268435456, 268435456}};

// 2^(20 - z): map points per pixel of zoom level z.
double mapPointsPerPixel(int64_t z) { return std::pow(2.0f, float(20 - z)); }

}  // namespace

VMHeatMapTileOverlay::VMHeatMapTileOverlay() {
    auto initial = std::make_shared<State>();
    initial->gradient = VMHeatMapGradient::create();
    state_ = std::move(initial);
}

std::shared_ptr<VMHeatMapTileOverlay> VMHeatMapTileOverlay::create() {
    return std::shared_ptr<VMHeatMapTileOverlay>(new VMHeatMapTileOverlay());
}

std::shared_ptr<const VMHeatMapTileOverlay::State> VMHeatMapTileOverlay::state() const {
    std::lock_guard guard(stateMutex_);
    return state_;
}

void VMHeatMapTileOverlay::update(const std::function<void(State&)>& change) {
    // The application's thread is the only writer; the lock orders it against tile readers.
    auto next = std::make_shared<State>(*state());
    change(*next);
    std::lock_guard guard(stateMutex_);
    state_ = std::move(next);
}

void VMHeatMapTileOverlay::setData(VMHeatMapData data) {
    if (!data || data == state()->data) return;
    update([&](State& s) {
        s.data = data;
        s.quadTree = VMQuadTree::create(boundingMapRectFor(data));
        for (const auto& node : *data) s.quadTree->addAnnotation(node);
        s.maxima = getMaxIntensitiesWithRadius(s.radius, data, s.quadTree->boundingBox());
    });
}

void VMHeatMapTileOverlay::setRadius(int64_t radius) {
    update([&](State& s) {
        s.radius = std::clamp<int64_t>(radius, 0, 100);
        if (s.data)
            s.maxima = getMaxIntensitiesWithRadius(s.radius, s.data, s.quadTree->boundingBox());
    });
}

void VMHeatMapTileOverlay::setOpacity(double opacity) {
    if (std::isnan(opacity)) return;
    update([&](State& s) { s.opacity = std::clamp(opacity, 0.0, 1.0); });
}

void VMHeatMapTileOverlay::setGradient(const std::shared_ptr<VMHeatMapGradient>& gradient) {
    update([&](State& s) { s.gradient = gradient ? gradient->copy() : nullptr; });
}

void VMHeatMapTileOverlay::setAllowRetinaAdapting(bool allow) {
    update([&](State& s) { s.allowRetinaAdapting = allow; });
}

VMMapRect VMHeatMapTileOverlay::boundingMapRectForHeatMapData() const {
    return boundingMapRectFor(state()->data);
}

VMMapRect VMHeatMapTileOverlay::boundingMapRectFor(const VMHeatMapData& data) {
    if (!data || data->empty()) return {};
    if (data->size() == 1) return kWholeWorld;
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    for (const auto& node : *data) {
        if (!node) continue;
        const VMMapPoint p = mapPointForCoordinate(node->coordinate());
        minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
    }
    if (minX > maxX) return {};
    const VMMapRect around{{minX, minY}, {maxX - minX, maxY - minY}};
    // Drawn in by 100 on every side; points closer together than that keep the whole box.
    const VMMapRect inset = mapRectInset(around, 100, 100);
    return inset.size.width > 0 && inset.size.height > 0 ? inset : around;
}

VMAnnotationList VMHeatMapTileOverlay::heatMapnodesInMapRect(VMMapRect rect) const {
    const auto tree = state()->quadTree;
    return tree ? tree->annotationsInBoundingBox(rect) : VMAnnotationList{};
}

VMMapRect VMHeatMapTileOverlay::mapRectWithTilePath(const VMTileOverlayPath& path) const {
    const double side = tileSize().width * mapPointsPerPixel(path.z);
    return {{path.x * side, path.y * side}, {side, side}};
}

VMMapPoint VMHeatMapTileOverlay::pointInTileWithMapPoint(VMMapPoint point, VMMapRect withInMapRect,
                                                         int64_t atZoomLevel) {
    const double perPixel = mapPointsPerPixel(atZoomLevel);
    return {(point.x - withInMapRect.origin.x) / perPixel,
            (point.y - withInMapRect.origin.y) / perPixel};
}

std::shared_ptr<const VMHeatMapMaxima> VMHeatMapTileOverlay::getMaxIntensitiesWithRadius(
    int64_t radius, const VMHeatMapData& datas, VMMapRect mapRect) {
    if (radius <= 0) return nullptr;
    auto maxima = std::make_shared<VMHeatMapMaxima>();
    const CGSize mode = UIScreen::mainScreen()->currentModeSize();
    const int64_t screen = saturatingCast<int64_t>(std::max(mode.width, mode.height));
    for (int z = 5; z <= 10; ++z) {
        (*maxima)[z] = getMaxValueWithPoints(datas, mapRect, radius, screen << z);
    }
    std::fill(maxima->begin(), maxima->begin() + 5, (*maxima)[5]);
    std::fill(maxima->begin() + 11, maxima->end(), (*maxima)[10]);
    return maxima;
}

float VMHeatMapTileOverlay::getMaxValueWithPoints(const VMHeatMapData& points, VMMapRect vmMapRect,
                                                  int64_t radius, int64_t screenDim) {
    if (!points || radius <= 0) return 0;
    const double side = std::max(vmMapRect.size.width, vmMapRect.size.height);
    const int64_t cells = screenDim / (2 * radius);
    const double perMapPoint = side > 0 ? double(cells) / side : 0;
    // Cells keyed by (column, row): a combined number would merge unrelated cells.
    std::map<std::pair<uint64_t, uint64_t>, float> sums;
    float best = 0;
    for (const auto& node : *points) {
        if (!node) continue;
        const VMMapPoint p = mapPointForCoordinate(node->coordinate());
        const auto col = saturatingCast<uint64_t>(perMapPoint * (p.x - vmMapRect.origin.x));
        const auto row = saturatingCast<uint64_t>(perMapPoint * (p.y - vmMapRect.origin.y));
        const float sum = sums[{col, row}] += node->intensity();
        best = std::max(best, sum);
    }
    return best;
}

void VMHeatMapTileOverlay::loadTileAtPath(const VMTileOverlayPath& path, ResultBlock result) {
    const auto s = state();
    const int64_t r = s->radius;
    if (r == 0) {
        result(std::nullopt, std::nullopt);
        return;
    }
    const VMMapRect tileRect = mapRectWithTilePath(path);
    const double grow = -double(r) * mapPointsPerPixel(path.z);
    const VMAnnotationList nodes =
        s->quadTree ? s->quadTree->annotationsInBoundingBox(mapRectInset(tileRect, grow, grow))
                    : VMAnnotationList{};
    if (nodes.empty()) {
        result(std::nullopt, NSError::make(kErrorDomain, -1, "no data in the path"));
        return;
    }

    const float scale = s->allowRetinaAdapting ? float(UIScreen::mainScreen()->scale()) : 1.0f;
    const int n = saturatingCast<int>(scale * (tileSize().width + 2 * r));
    const int block = saturatingCast<int>(std::ceil(scale));
    std::vector<float> grid(size_t(std::max(n, 0)) * size_t(std::max(n, 0)), 0.0f);
    for (const auto& annotation : nodes) {
        const auto* node = dynamic_cast<const VMHeatMapNode*>(annotation.get());
        if (!node || scale <= 0) continue;
        const VMMapPoint at =
            pointInTileWithMapPoint(mapPointForCoordinate(node->coordinate()), tileRect, path.z);
        const int px = saturatingCast<int>(at.x + r);
        const int py = saturatingCast<int>(at.y + r);
        if (px < 0 || py < 0) continue;
        const int i0 = saturatingCast<int>(scale * px);
        const int j0 = saturatingCast<int>(scale * py);
        for (int i = i0; i < i0 + block && i < n; ++i) {
            for (int j = j0; j < j0 + block && j < n; ++j) {
                grid[size_t(i) * n + j] += node->intensity();
            }
        }
    }
    if (!s->maxima) {
        result(std::nullopt, std::nullopt);
        return;
    }
    const size_t level = size_t(std::clamp<int64_t>(path.z - 1, 0, int64_t(s->maxima->size()) - 1));
    static const std::vector<UIColorRef> noColors;
    static const std::vector<double> noStartPoints;
    auto pixels = VMHeatMapTileProvider::heatMapWithRadius(
        float(r), s->gradient ? s->gradient->colors() : noColors,
        s->gradient ? s->gradient->startPoints() : noStartPoints, s->opacity, grid,
        CGSizeMake(n, n), (*s->maxima)[level], scale);
    if (!pixels) {
        result(std::nullopt, NSError::make(kErrorDomain, -1, "create image failed"));
        return;
    }
    result(std::move(pixels), std::nullopt);
}
