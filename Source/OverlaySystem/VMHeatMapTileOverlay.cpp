#include "VMHeatMapTileOverlay.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "Foundation/SaturatingCast.h"
#include "UIKit/UIScreen.h"
#include "VMHeatMapTileProvider.h"

// A node's map point and intensity, projected once for every zoom level and query.
struct VMHeatMapSample {
    VMMapPoint point;
    float intensity;
};

namespace {

constexpr const char* kErrorDomain = "ZIRidUdoErrorDomain";
constexpr VMMapRect kWholeWorld{{0, 0}, {268435456, 268435456}};

// 2^(20 - z): map points per pixel of zoom level z.
double mapPointsPerPixel(int64_t z) { return std::pow(2.0f, float(20 - z)); }

// The nodes' map points, projected once for all the zoom levels that read them.
std::vector<VMHeatMapSample> heatMapSamplesOf(const VMHeatMapData& points) {
    std::vector<VMHeatMapSample> samples;
    if (!points) return samples;
    samples.reserve(points->size());
    for (const auto& node : *points) {
        if (node) samples.push_back({mapPointForCoordinate(node->coordinate()), node->intensity()});
    }
    return samples;
}

struct HeatMapCellValue {
    uint64_t key;
    float value;
};

// Stable least-significant-digit sort, 16 bits a pass, skipping digits every key shares.
void radixSortHeatMapCells(std::vector<HeatMapCellValue>& cells) {
    uint64_t differing = 0;
    for (const auto& c : cells) differing |= c.key ^ cells.front().key;
    std::vector<HeatMapCellValue> scratch(cells.size());
    std::vector<size_t> counts(65537);
    for (int shift = 0; shift < 64; shift += 16) {
        if (((differing >> shift) & 0xffff) == 0) continue;
        std::fill(counts.begin(), counts.end(), 0);
        for (const auto& c : cells) ++counts[((c.key >> shift) & 0xffff) + 1];
        for (size_t i = 1; i < counts.size(); ++i) counts[i] += counts[i - 1];
        for (const auto& c : cells) scratch[counts[(c.key >> shift) & 0xffff]++] = c;
        cells.swap(scratch);
    }
}

// The largest sum of intensities over the square cells of a screen-sized grid. Cells are found by
// sorting (stably, so each cell adds up in the data's order) instead of one map node per cell,
// which made a million nodes cost seconds per zoom level.
float heatMapBrightestCell(const std::vector<VMHeatMapSample>& samples, VMMapRect rect,
                           int64_t radius, int64_t screenDim) {
    if (radius <= 0 || samples.empty()) return 0;
    const double side = std::max(rect.size.width, rect.size.height);
    const int64_t cells = screenDim / (2 * radius);
    const double perMapPoint = side > 0 ? double(cells) / side : 0;
    std::vector<HeatMapCellValue> keyed;
    keyed.reserve(samples.size());
    std::vector<std::pair<std::pair<uint64_t, uint64_t>, float>> wide;
    for (const auto& sample : samples) {
        const auto col = saturatingCast<uint64_t>(perMapPoint * (sample.point.x - rect.origin.x));
        const auto row = saturatingCast<uint64_t>(perMapPoint * (sample.point.y - rect.origin.y));
        if (col > UINT32_MAX || row > UINT32_MAX || !wide.empty()) {
            // Cells beyond 32 bits a side only for absurd grids: keep the full pair as key.
            if (wide.empty()) {
                for (const auto& k : keyed)
                    wide.push_back({{k.key >> 32, k.key & UINT32_MAX}, k.value});
            }
            wide.push_back({{col, row}, sample.intensity});
            continue;
        }
        keyed.push_back({col << 32 | row, sample.intensity});
    }
    float best = 0;
    if (!wide.empty()) {
        std::stable_sort(wide.begin(), wide.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t i = 0; i < wide.size();) {
            float sum = 0;
            const auto key = wide[i].first;
            for (; i < wide.size() && wide[i].first == key; ++i) {
                sum += wide[i].second;
                best = std::max(best, sum);
            }
        }
        return best;
    }
    radixSortHeatMapCells(keyed);
    for (size_t i = 0; i < keyed.size();) {
        float sum = 0;
        const uint64_t key = keyed[i].key;
        for (; i < keyed.size() && keyed[i].key == key; ++i) {
            sum += keyed[i].value;
            best = std::max(best, sum);
        }
    }
    return best;
}

// The brightest cell of each zoom level for the tiles' colour scale; null for radius 0.
std::shared_ptr<const VMHeatMapMaxima> heatMapMaximaFor(int64_t radius,
                                                        const std::vector<VMHeatMapSample>& samples,
                                                        VMMapRect box) {
    if (radius <= 0) return nullptr;
    auto maxima = std::make_shared<VMHeatMapMaxima>();
    const CGSize mode = UIScreen::mainScreen()->currentModeSize();
    const int64_t screen = saturatingCast<int64_t>(std::max(mode.width, mode.height));
    for (int z = 5; z <= 10; ++z) {
        (*maxima)[z] = heatMapBrightestCell(samples, box, radius, screen << z);
    }
    std::fill(maxima->begin(), maxima->begin() + 5, (*maxima)[5]);
    std::fill(maxima->begin() + 11, maxima->end(), (*maxima)[10]);
    return maxima;
}

}  // namespace

// A flat grid over the data's box: the nodes sorted by cell, stably so that each cell keeps the
// data's order, and found by scanning the cells a box touches. A tree of a million nodes cost
// millions of allocations and locks; this costs two arrays.
class VMHeatMapPointIndex {
  public:
    VMHeatMapPointIndex(const VMHeatMapData& data, VMMapRect box) : box_(box) {
        const std::vector<std::shared_ptr<VMHeatMapNode>>& nodes = *data;
        samples_.reserve(nodes.size());
        std::vector<uint32_t> present;
        present.reserve(nodes.size());
        for (size_t i = 0; i < nodes.size(); ++i) {
            if (!nodes[i]) continue;
            samples_.push_back(
                {mapPointForCoordinate(nodes[i]->coordinate()), nodes[i]->intensity()});
            present.push_back(uint32_t(i));
        }
        // About eight nodes a cell when spread evenly.
        const auto side = int64_t(std::clamp(std::sqrt(double(samples_.size()) / 8), 1.0, 2048.0));
        columns_ = box.size.width > 0 ? side : 1;
        rows_ = box.size.height > 0 ? side : 1;
        cellWidth_ = box.size.width > 0 ? box.size.width / double(columns_) : 1;
        cellHeight_ = box.size.height > 0 ? box.size.height / double(rows_) : 1;
        std::vector<uint32_t> cellOf(samples_.size());
        cellStart_.assign(size_t(columns_ * rows_ + 1), 0);
        for (size_t i = 0; i < samples_.size(); ++i) {
            const VMMapPoint p = samples_[i].point;
            cellOf[i] = uint32_t(row(p.y) * columns_ + column(p.x));
            ++cellStart_[cellOf[i] + 1];
        }
        for (size_t c = 1; c < cellStart_.size(); ++c) cellStart_[c] += cellStart_[c - 1];
        std::vector<uint32_t> fill(cellStart_.begin(), cellStart_.end() - 1);
        entries_.resize(samples_.size());
        for (size_t i = 0; i < samples_.size(); ++i)
            entries_[fill[cellOf[i]]++] = {samples_[i].point, present[i], uint32_t(i)};
        dropRepeatedNodes(data);
    }

    VMMapRect box() const { return box_; }
    // In the data's order, nulls left out.
    const std::vector<VMHeatMapSample>& samples() const { return samples_; }

    // Calls `found(node's index in the data, its sample)` for each node whose map point lies in
    // the rect (minimum edges in, maximum edges out).
    template <typename Found>
    void forEachIn(VMMapRect rect, Found&& found) const {
        if (entries_.empty() || !(rect.size.width >= 0 && rect.size.height >= 0)) return;
        const int64_t c0 = column(rect.origin.x), c1 = column(rect.origin.x + rect.size.width);
        const int64_t r0 = row(rect.origin.y), r1 = row(rect.origin.y + rect.size.height);
        for (int64_t r = r0; r <= r1; ++r) {
            for (uint32_t i = cellStart_[size_t(r * columns_ + c0)],
                          end = cellStart_[size_t(r * columns_ + c1 + 1)];
                 i < end; ++i) {
                const Entry& e = entries_[i];
                if (mapRectContainsPoint(rect, e.point)) found(e.node, samples_[e.sample]);
            }
        }
    }

  private:
    struct Entry {
        VMMapPoint point;
        uint32_t node;
        uint32_t sample;
    };

    // Clamped, so that points outside the box (it is drawn in from the data's extent) and
    // queries past it land in the edge cells.
    int64_t column(double x) const {
        const double at = std::floor((x - box_.origin.x) / cellWidth_);
        return std::isnan(at) ? 0 : int64_t(std::clamp(at, 0.0, double(columns_ - 1)));
    }
    int64_t row(double y) const {
        const double at = std::floor((y - box_.origin.y) / cellHeight_);
        return std::isnan(at) ? 0 : int64_t(std::clamp(at, 0.0, double(rows_ - 1)));
    }

    // A node listed twice is filed once, as the tree of annotations did: copies share a point and
    // so a cell, and only crowded cells need sorting to find them.
    void dropRepeatedNodes(const VMHeatMapData& data) {
        const auto& nodes = *data;
        std::vector<const VMHeatMapNode*> seen;
        std::vector<bool> repeated(entries_.size(), false);
        bool any = false;
        for (size_t c = 0; c + 1 < cellStart_.size(); ++c) {
            const uint32_t begin = cellStart_[c], end = cellStart_[c + 1];
            if (end - begin < 2) continue;
            seen.clear();
            for (uint32_t i = begin; i < end; ++i) seen.push_back(nodes[entries_[i].node].get());
            std::sort(seen.begin(), seen.end());
            if (std::adjacent_find(seen.begin(), seen.end()) == seen.end()) continue;
            for (uint32_t i = begin; i < end; ++i) {
                for (uint32_t j = begin; j < i; ++j) {
                    if (!repeated[j] && nodes[entries_[j].node] == nodes[entries_[i].node]) {
                        repeated[i] = any = true;
                        break;
                    }
                }
            }
        }
        if (!any) return;
        std::vector<Entry> kept;
        kept.reserve(entries_.size());
        for (size_t c = 0; c + 1 < cellStart_.size(); ++c) {
            const uint32_t begin = cellStart_[c], end = cellStart_[c + 1];
            cellStart_[c] = uint32_t(kept.size());
            for (uint32_t i = begin; i < end; ++i)
                if (!repeated[i]) kept.push_back(entries_[i]);
        }
        cellStart_.back() = uint32_t(kept.size());
        entries_ = std::move(kept);
    }

    VMMapRect box_;
    int64_t columns_ = 1, rows_ = 1;
    double cellWidth_ = 1, cellHeight_ = 1;
    std::vector<VMHeatMapSample> samples_;
    std::vector<uint32_t> cellStart_;
    std::vector<Entry> entries_;
};

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
        buildQuadTree(s);
        s.maxima = heatMapMaximaFor(s.radius, s.quadTree->samples(), s.quadTree->box());
    });
}

void VMHeatMapTileOverlay::buildQuadTree() {
    update([](State& s) { buildQuadTree(s); });
}

void VMHeatMapTileOverlay::buildQuadTree(State& s) {
    s.quadTree =
        s.data ? std::make_shared<const VMHeatMapPointIndex>(s.data, boundingMapRectFor(s.data))
               : nullptr;
}

void VMHeatMapTileOverlay::setRadius(int64_t radius) {
    update([&](State& s) {
        s.radius = std::clamp<int64_t>(radius, 0, 100);
        if (s.quadTree)
            s.maxima = heatMapMaximaFor(s.radius, s.quadTree->samples(), s.quadTree->box());
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
    const auto s = state();
    VMAnnotationList found;
    if (s->quadTree)
        s->quadTree->forEachIn(rect, [&](uint32_t node, const VMHeatMapSample&) {
            found.push_back((*s->data)[node]);
        });
    return found;
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
    return heatMapMaximaFor(radius, heatMapSamplesOf(datas), mapRect);
}

float VMHeatMapTileOverlay::getMaxValueWithPoints(const VMHeatMapData& points, VMMapRect vmMapRect,
                                                  int64_t radius, int64_t screenDim) {
    if (!points || radius <= 0) return 0;
    return heatMapBrightestCell(heatMapSamplesOf(points), vmMapRect, radius, screenDim);
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
    std::vector<const VMHeatMapNode*> nodes;
    if (s->quadTree) {
        s->quadTree->forEachIn(mapRectInset(tileRect, grow, grow),
                               [&](uint32_t node, const VMHeatMapSample&) {
                                   nodes.push_back((*s->data)[node].get());
                               });
    }
    if (nodes.empty()) {
        result(std::nullopt, NSError::make(kErrorDomain, -1, "no data in the path"));
        return;
    }

    const float scale = s->allowRetinaAdapting ? float(UIScreen::mainScreen()->scale()) : 1.0f;
    const int n = saturatingCast<int>(scale * (tileSize().width + 2 * r));
    const int block = saturatingCast<int>(std::ceil(scale));
    std::vector<float> grid(size_t(std::max(n, 0)) * size_t(std::max(n, 0)), 0.0f);
    for (const VMHeatMapNode* node : nodes) {
        if (scale <= 0) continue;
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
