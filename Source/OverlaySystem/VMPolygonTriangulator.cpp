#include "VMPolygonTriangulator.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "VMPolygonClipper.h"

namespace VMTriangulator {

namespace {

constexpr std::uint32_t kNoEntry = UINT32_MAX;

int sign(double v) { return (v > 0) - (v < 0); }

}  // namespace

int VMPolygonTriangulator::classify(std::uint32_t entry) const {
    const Vector3<float>& p = (*polygon_)[ring_[previous_[entry]]];
    const Vector3<float>& c = (*polygon_)[ring_[entry]];
    const Vector3<float>& n = (*polygon_)[ring_[next_[entry]]];
    return sign((double(c.y) - p.y) * n.x + double(p.x) * (double(n.y) - c.y) +
                double(c.x) * (double(p.y) - n.y));
}

std::size_t VMPolygonTriangulator::columnOf(double x) const {
    const double v = (x - minX_) * perCellWidth_;
    if (!(v > 0)) return 0;
    if (v >= double(gridColumns_)) return gridColumns_ - 1;
    return static_cast<std::size_t>(v);
}

std::size_t VMPolygonTriangulator::rowOf(double y) const {
    const double v = (y - minY_) * perCellHeight_;
    if (!(v > 0)) return 0;
    if (v >= double(gridRows_)) return gridRows_ - 1;
    return static_cast<std::size_t>(v);
}

void VMPolygonTriangulator::addToGrid(std::uint32_t entry) {
    const Vector3<float>& q = (*polygon_)[ring_[entry]];
    const std::size_t row = rowOf(q.y);
    const std::size_t column = columnOf(q.x);
    const std::size_t cell = row * gridColumns_ + column;
    cellOfEntry_[entry] = static_cast<std::uint32_t>(cell);
    slotOfEntry_[entry] = static_cast<std::uint32_t>(grid_[cell].size());
    grid_[cell].push_back({q.x, q.y, entry});
    occupied_[row * wordsPerRow_ + column / 64] |= std::uint64_t{1} << (column % 64);
    ++notConvex_;
}

void VMPolygonTriangulator::removeFromGrid(std::uint32_t entry) {
    const std::size_t index = cellOfEntry_[entry];
    std::vector<Blocker>& cell = grid_[index];
    const std::uint32_t slot = slotOfEntry_[entry];
    cell[slot] = cell.back();
    slotOfEntry_[cell[slot].entry] = slot;
    cell.pop_back();
    if (cell.empty()) {
        const std::size_t row = index / gridColumns_;
        const std::size_t column = index % gridColumns_;
        occupied_[row * wordsPerRow_ + column / 64] &= ~(std::uint64_t{1} << (column % 64));
    }
    cellOfEntry_[entry] = kNoEntry;
    --notConvex_;
}

void VMPolygonTriangulator::linkCandidateBefore(std::uint32_t entry, std::uint32_t before) {
    const std::uint32_t after = previousCandidate_[before];
    nextCandidate_[after] = entry;
    previousCandidate_[entry] = after;
    nextCandidate_[entry] = before;
    previousCandidate_[before] = entry;
}

void VMPolygonTriangulator::unlinkCandidate(std::uint32_t entry) {
    nextCandidate_[previousCandidate_[entry]] = nextCandidate_[entry];
    previousCandidate_[nextCandidate_[entry]] = previousCandidate_[entry];
    nextCandidate_[entry] = kNoEntry;
    previousCandidate_[entry] = kNoEntry;
}

bool VMPolygonTriangulator::scanCells(std::uint32_t entry, std::size_t row, std::size_t firstColumn,
                                      std::size_t lastColumn, const float box[4]) {
    const std::uint32_t pe = previous_[entry];
    const std::uint32_t ne = next_[entry];
    const Vector3<float>& p = (*polygon_)[ring_[pe]];
    const Vector3<float>& c = (*polygon_)[ring_[entry]];
    const Vector3<float>& n = (*polygon_)[ring_[ne]];
    // Empty cells are skipped a word of the occupancy map at a time: a long triangle crosses
    // mostly empty cells.
    const std::uint64_t* words = &occupied_[row * wordsPerRow_];
    for (std::size_t word = firstColumn / 64; word <= lastColumn / 64; ++word) {
        std::uint64_t bits = words[word];
        if (word == firstColumn / 64) bits &= ~std::uint64_t{0} << (firstColumn % 64);
        if (word == lastColumn / 64 && lastColumn % 64 != 63) {
            bits &= (std::uint64_t{1} << (lastColumn % 64 + 1)) - 1;
        }
        for (; bits != 0; bits &= bits - 1) {
            const std::size_t column = word * 64 + std::size_t(std::countr_zero(bits));
            for (const Blocker& q : grid_[row * gridColumns_ + column]) {
                if (q.x < box[0] || q.x > box[1] || q.y < box[2] || q.y > box[3]) continue;
                if (q.entry == entry || q.entry == pe || q.entry == ne) continue;
                const double e1 = (double(p.y) - n.y) * q.x + double(n.x) * (double(q.y) - p.y) +
                                  double(p.x) * (double(n.y) - q.y);
                const double e2 = (double(c.y) - p.y) * q.x + double(p.x) * (double(q.y) - c.y) +
                                  double(c.x) * (double(p.y) - q.y);
                const double e3 = (double(n.y) - c.y) * q.x + double(c.x) * (double(q.y) - n.y) +
                                  double(n.x) * (double(c.y) - q.y);
                if (e1 >= 0 && e2 >= 0 && e3 >= 0) {
                    blockedBy_[entry] = q.entry;
                    blockedPrevious_[entry] = pe;
                    blockedNext_[entry] = ne;
                    return true;
                }
            }
        }
    }
    return false;
}

bool VMPolygonTriangulator::isEar(std::uint32_t entry) {
    if (notConvex_ == 0) return true;
    const std::uint32_t pe = previous_[entry];
    const std::uint32_t ne = next_[entry];
    const std::uint32_t blocker = blockedBy_[entry];
    if (blocker != kNoEntry && cellOfEntry_[blocker] != kNoEntry && blockedPrevious_[entry] == pe &&
        blockedNext_[entry] == ne) {
        return false;
    }
    const Vector3<float>& p = (*polygon_)[ring_[pe]];
    const Vector3<float>& c = (*polygon_)[ring_[entry]];
    const Vector3<float>& n = (*polygon_)[ring_[ne]];
    const float box[4] = {std::min({p.x, c.x, n.x}), std::max({p.x, c.x, n.x}),
                          std::min({p.y, c.y, n.y}), std::max({p.y, c.y, n.y})};
    const std::size_t firstRow = rowOf(box[2]);
    const std::size_t lastRow = rowOf(box[3]);
    const std::size_t firstColumn = columnOf(box[0]);
    const std::size_t lastColumn = columnOf(box[1]);
    if (lastRow - firstRow < 3 || lastColumn - firstColumn < 3) {
        for (std::size_t row = firstRow; row <= lastRow; ++row) {
            if (scanCells(entry, row, firstColumn, lastColumn, box)) return false;
        }
        return true;
    }
    // A long triangle's box holds far more cells than the triangle crosses: per row, only the
    // cells under the triangle's span in that row, widened by a 64th of a cell all round so that
    // no point the exact test could accept is missed through rounding (the box's own cells are
    // scanned whole for triangles under three cells across).
    struct Edge {
        double x;
        double y;
        double bottom;
        double top;
        double slope;
    } edges[3];
    const Vector3<float>* corners[3] = {&p, &c, &n};
    for (int k = 0; k < 3; ++k) {
        const Vector3<float>& a = *corners[k];
        const Vector3<float>& b = *corners[(k + 1) % 3];
        edges[k] = {a.x, a.y, std::min(a.y, b.y), std::max(a.y, b.y),
                    a.y == b.y ? 0 : (double(b.x) - a.x) / (double(b.y) - a.y)};
    }
    for (std::size_t row = firstRow; row <= lastRow; ++row) {
        const double low = std::max(double(box[2]), minY_ + (double(row) - 1.0 / 64) * cellHeight_);
        const double high =
            std::min(double(box[3]), minY_ + (double(row) + 1 + 1.0 / 64) * cellHeight_);
        double left = INFINITY;
        double right = -INFINITY;
        for (const Edge& edge : edges) {
            const double bottom = std::max(low, edge.bottom);
            const double top = std::min(high, edge.top);
            if (bottom > top) continue;
            // A level edge has slope 0 and so spans only its first corner; its other corner is
            // the next edge's first.
            const double x0 = edge.x + (bottom - edge.y) * edge.slope;
            const double x1 = edge.x + (top - edge.y) * edge.slope;
            left = std::min({left, x0, x1});
            right = std::max({right, x0, x1});
        }
        if (!(left <= right)) {
            left = box[0];
            right = box[1];
        }
        const std::size_t from = std::max(firstColumn, columnOf(left - cellWidth_ / 64));
        const std::size_t to = std::min(lastColumn, columnOf(right + cellWidth_ / 64));
        if (scanCells(entry, row, from, to, box)) return false;
    }
    return true;
}

void VMPolygonTriangulator::reclassify(std::uint32_t entry, std::uint32_t removed,
                                       bool beforeRemoved) {
    const int before = classification_[entry];
    const int after = classify(entry);
    classification_[entry] = static_cast<std::int16_t>(after);
    if (before != convexMark_ && after == convexMark_) {
        removeFromGrid(entry);
    } else if (before == convexMark_ && after != convexMark_) {
        addToGrid(entry);
    }
    if (before != reflexMark_ && after == reflexMark_) {
        unlinkCandidate(entry);
    } else if (before == reflexMark_ && after != reflexMark_) {
        // Its place in ring order is beside the removed entry, on its own side, unless the ring
        // wraps between them; then it is last or first.
        const auto closing = static_cast<std::uint32_t>(count_);
        std::uint32_t place;
        if (nextCandidate_[removed] == kNoEntry) {
            // Only when every entry was reflex: the list holds at most the other neighbour.
            place = nextCandidate_[closing];
            while (place != closing && place < entry) place = nextCandidate_[place];
        } else if (beforeRemoved) {
            place = entry < removed ? removed : closing;
        } else {
            place = entry > removed ? nextCandidate_[removed] : nextCandidate_[closing];
        }
        linkCandidateBefore(entry, place);
    }
}

std::uint32_t VMPolygonTriangulator::removeEntry(std::uint32_t entry) {
    const std::uint32_t p = previous_[entry];
    const std::uint32_t n = next_[entry];
    next_[p] = n;
    previous_[n] = p;
    if (cellOfEntry_[entry] != kNoEntry) removeFromGrid(entry);
    // A removed entry counts as convex so it never blocks an ear again.
    classification_[entry] = static_cast<std::int16_t>(convexMark_);
    reclassify(p, entry, true);
    reclassify(n, entry, false);
    const std::uint32_t following = nextCandidate_[entry];
    if (following != kNoEntry) unlinkCandidate(entry);
    return following;
}

const std::vector<std::uint32_t>& VMPolygonTriangulator::triangulate(const VMPointList& polygon) {
    result_.clear();
    polygon_ = &polygon;
    count_ = polygon.size();
    if (count_ < 3) return result_;
    const auto n = static_cast<std::uint32_t>(count_);
    ring_.resize(n);
    next_.resize(n);
    previous_.resize(n);
    const bool clockwise = isClockwise(polygon.data(), polygon.size());
    for (std::uint32_t i = 0; i < n; ++i) {
        ring_[i] = clockwise ? i : n - 1 - i;
        next_[i] = (i + 1) % n;
        previous_[i] = (i + n - 1) % n;
    }

    // About two cells per point, as near square as the polygon's box allows.
    const VMBox box = *boundingBox(polygon.data(), polygon.size());
    const double width = double(box.maxX) - box.minX;
    const double height = double(box.maxY) - box.minY;
    const double cells = std::max(1.0, n / 2.0);
    // A box that is not finite (points at infinity or not numbers) gets one cell.
    const bool wide = width > 0 && std::isfinite(width) && std::isfinite(height);
    const bool high = height > 0 && std::isfinite(width) && std::isfinite(height);
    double columns = 1;
    if (wide && high) {
        columns = std::round(std::sqrt(cells * width / height));
    } else if (wide) {
        columns = cells;
    }
    gridColumns_ = static_cast<std::size_t>(std::clamp(columns, 1.0, cells));
    gridRows_ = high ? static_cast<std::size_t>(
                           std::clamp(std::round(cells / double(gridColumns_)), 1.0, cells))
                     : 1;
    minX_ = box.minX;
    minY_ = box.minY;
    cellWidth_ = wide ? std::max(width / double(gridColumns_), 1e-30) : 1;
    cellHeight_ = high ? std::max(height / double(gridRows_), 1e-30) : 1;
    perCellWidth_ = 1 / cellWidth_;
    perCellHeight_ = 1 / cellHeight_;
    for (auto& cell : grid_) cell.clear();
    grid_.resize(gridColumns_ * gridRows_);
    wordsPerRow_ = (gridColumns_ + 63) / 64;
    occupied_.assign(wordsPerRow_ * gridRows_, 0);
    cellOfEntry_.assign(n, kNoEntry);
    slotOfEntry_.resize(n);
    blockedBy_.assign(n, kNoEntry);
    blockedPrevious_.resize(n);
    blockedNext_.resize(n);
    nextCandidate_.assign(n + 1, kNoEntry);
    previousCandidate_.assign(n + 1, kNoEntry);
    nextCandidate_[n] = n;
    previousCandidate_[n] = n;
    classification_.assign(n, 0);
    notConvex_ = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        classification_[i] = static_cast<std::int16_t>(classify(i));
        if (classification_[i] != convexMark_) addToGrid(i);
        if (classification_[i] != reflexMark_) linkCandidateBefore(i, n);
    }
    result_.reserve(3 * std::size_t(n) - 6);

    // The search resumes two entries past the last ear, so that ears are cut all round the ring
    // rather than as a fan about one vertex, whose growing triangles each cross many cells: from
    // the ring's first entry every time, a 70,000-vertex ring takes eight times as long and
    // river-like bands up to 40% longer, though tight spirals gain.
    std::uint32_t start = 0;
    std::uint32_t first = nextCandidate_[n];
    for (std::uint32_t remaining = n; remaining > 3; --remaining) {
        std::uint32_t ear = kNoEntry;
        if (first != n) {
            std::uint32_t entry = first;
            do {
                if (isEar(entry)) {
                    ear = entry;
                    break;
                }
                entry = nextCandidate_[entry];
                if (entry == n) entry = nextCandidate_[n];
            } while (entry != first);
        }
        if (ear == kNoEntry) ear = first != n ? first : start;
        result_.push_back(ring_[previous_[ear]]);
        result_.push_back(ring_[ear]);
        result_.push_back(ring_[next_[ear]]);
        const std::uint32_t after = next_[ear];
        start = next_[after];
        // The first candidate from the new start in ring order: the one after the ear, or after
        // its next entry when that one is a candidate itself.
        first = removeEntry(ear);
        if (first == kNoEntry) {
            first = n;
            std::uint32_t entry = start;
            for (std::uint32_t k = 0; k + 1 < remaining; ++k, entry = next_[entry]) {
                if (classification_[entry] != reflexMark_) {
                    first = entry;
                    break;
                }
            }
            continue;
        }
        if (first == n) first = nextCandidate_[n];
        if (first == after) first = nextCandidate_[after];
        if (first == n) first = nextCandidate_[n];
    }
    result_.push_back(ring_[previous_[start]]);
    result_.push_back(ring_[start]);
    result_.push_back(ring_[next_[start]]);
    return result_;
}

}  // namespace VMTriangulator
