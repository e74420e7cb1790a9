#include "VMPolygonTriangulator.h"

#include <algorithm>
#include <cmath>

#include "VMPolygonClipper.h"

namespace VMTriangulator {

namespace {

int sign(double v) { return (v > 0) - (v < 0); }

}  // namespace

int VMPolygonTriangulator::classify(std::uint32_t entry) const {
    const Vector3<float>& p = (*polygon_)[ring_[previous_[entry]]];
    const Vector3<float>& c = (*polygon_)[ring_[entry]];
    const Vector3<float>& n = (*polygon_)[ring_[next_[entry]]];
    return sign((double(c.y) - p.y) * n.x + double(p.x) * (double(n.y) - c.y) +
                double(c.x) * (double(p.y) - n.y));
}

bool VMPolygonTriangulator::isEar(std::uint32_t entry) const {
    if (notConvex_ == 0) return true;
    const std::uint32_t pe = previous_[entry];
    const std::uint32_t ne = next_[entry];
    const Vector3<float>& p = (*polygon_)[ring_[pe]];
    const Vector3<float>& c = (*polygon_)[ring_[entry]];
    const Vector3<float>& n = (*polygon_)[ring_[ne]];
    const float minX = std::min({p.x, c.x, n.x});
    const float maxX = std::max({p.x, c.x, n.x});
    const float minY = std::min({p.y, c.y, n.y});
    const float maxY = std::max({p.y, c.y, n.y});
    const std::size_t first = cellOf(minX, minY);
    const std::size_t last = cellOf(maxX, maxY);
    for (std::size_t row = first / gridSide_; row <= last / gridSide_; ++row) {
        for (std::size_t column = first % gridSide_; column <= last % gridSide_; ++column) {
            for (const std::uint32_t other : grid_[row * gridSide_ + column]) {
                if (other == entry || other == pe || other == ne) continue;
                if (classification_[other] == convexMark_) continue;
                const Vector3<float>& q = (*polygon_)[ring_[other]];
                if (q.x < minX || q.x > maxX || q.y < minY || q.y > maxY) continue;
                const double e1 = (double(p.y) - n.y) * q.x + double(n.x) * (double(q.y) - p.y) +
                                  double(p.x) * (double(n.y) - q.y);
                const double e2 = (double(c.y) - p.y) * q.x + double(p.x) * (double(q.y) - c.y) +
                                  double(c.x) * (double(p.y) - q.y);
                const double e3 = (double(n.y) - c.y) * q.x + double(c.x) * (double(q.y) - n.y) +
                                  double(n.x) * (double(c.y) - q.y);
                if (e1 >= 0 && e2 >= 0 && e3 >= 0) return false;
            }
        }
    }
    return true;
}

std::size_t VMPolygonTriangulator::cellOf(float x, float y) const {
    const auto clampCell = [this](double v) {
        if (!(v > 0)) return std::size_t{0};
        return std::min(static_cast<std::size_t>(v), gridSide_ - 1);
    };
    return clampCell((double(y) - minY_) / cellHeight_) * gridSide_ +
           clampCell((double(x) - minX_) / cellWidth_);
}

void VMPolygonTriangulator::addToGrid(std::uint32_t entry) {
    const Vector3<float>& q = (*polygon_)[ring_[entry]];
    grid_[cellOf(q.x, q.y)].push_back(entry);
}

void VMPolygonTriangulator::removeEntry(std::uint32_t entry) {
    const std::uint32_t p = previous_[entry];
    const std::uint32_t n = next_[entry];
    next_[p] = n;
    previous_[n] = p;
    // A removed entry counts as convex so it never blocks an ear again.
    if (classification_[entry] != convexMark_) --notConvex_;
    classification_[entry] = static_cast<std::int16_t>(convexMark_);
    for (const std::uint32_t neighbour : {p, n}) {
        const bool wasConvex = classification_[neighbour] == convexMark_;
        classification_[neighbour] = static_cast<std::int16_t>(classify(neighbour));
        const bool isConvex = classification_[neighbour] == convexMark_;
        if (wasConvex && !isConvex) {
            ++notConvex_;
            addToGrid(neighbour);
        } else if (!wasConvex && isConvex) {
            --notConvex_;
        }
    }
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
    const VMBox box = *boundingBox(polygon.data(), polygon.size());
    gridSide_ = std::max<std::size_t>(1, static_cast<std::size_t>(std::sqrt(n / 2.0)));
    minX_ = box.minX;
    minY_ = box.minY;
    cellWidth_ = std::max((box.maxX - box.minX) / float(gridSide_), 1e-30f);
    cellHeight_ = std::max((box.maxY - box.minY) / float(gridSide_), 1e-30f);
    for (auto& cell : grid_) cell.clear();
    grid_.resize(gridSide_ * gridSide_);
    classification_.assign(n, 0);
    notConvex_ = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        classification_[i] = static_cast<std::int16_t>(classify(i));
        if (classification_[i] == convexMark_) continue;
        ++notConvex_;
        addToGrid(i);
    }
    result_.reserve(3 * std::size_t(n) - 6);

    // The search resumes two entries past the last ear, so that ears are cut all round the ring
    // rather than as a fan about one vertex, whose growing triangles would each cover the grid:
    // from the ring's first entry every time, a 70,000-vertex ring takes thirty times as long.
    std::uint32_t start = 0;
    for (std::uint32_t remaining = n; remaining > 3; --remaining) {
        std::uint32_t ear = UINT32_MAX;
        std::uint32_t fallback = UINT32_MAX;
        std::uint32_t entry = start;
        for (std::uint32_t k = 0; k < remaining; ++k, entry = next_[entry]) {
            if (classification_[entry] == reflexMark_) continue;
            if (fallback == UINT32_MAX) fallback = entry;
            if (isEar(entry)) {
                ear = entry;
                break;
            }
        }
        if (ear == UINT32_MAX) ear = fallback != UINT32_MAX ? fallback : start;
        result_.push_back(ring_[previous_[ear]]);
        result_.push_back(ring_[ear]);
        result_.push_back(ring_[next_[ear]]);
        start = next_[next_[ear]];
        removeEntry(ear);
    }
    result_.push_back(ring_[previous_[start]]);
    result_.push_back(ring_[start]);
    result_.push_back(ring_[next_[start]]);
    return result_;
}

}  // namespace VMTriangulator
