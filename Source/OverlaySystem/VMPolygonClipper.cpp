#include "VMPolygonClipper.h"

#include <algorithm>
#include <cmath>

namespace {

int sign(float v) { return (v > 0) - (v < 0); }

float distanceSquared(const Vector3<float>& a, const Vector3<float>& b) {
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    const float dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

Vector3<float> along(const Vector3<float>& c, const Vector3<float>& d, float u) {
    return {c.x + (d.x - c.x) * u, c.y + (d.y - c.y) * u, c.z + (d.z - c.z) * u};
}

}  // namespace

int orientation(const Vector3<float>& a, const Vector3<float>& b, const Vector3<float>& c) {
    return sign((b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x));
}

int polygonOrientation(const Vector3<float>* points, std::size_t count) {
    if (count < 3) return -2;
    return orientation(points[0], points[1], points[2]);
}

bool isClockwise(const Vector3<float>* points, std::size_t count) {
    if (count < 3) return false;
    double sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const Vector3<float>& prev = points[i == 0 ? count - 1 : i - 1];
        const Vector3<float>& cur = points[i];
        sum += double(prev.x) * cur.y - double(prev.y) * cur.x;
    }
    return sum < 0;
}

std::optional<Vector3<float>> segmentIntersection(const Vector3<float>& a, const Vector3<float>& b,
                                                  const Vector3<float>& c,
                                                  const Vector3<float>& d) {
    const float denominator = (b.y - a.y) * (d.x - c.x) - (b.x - a.x) * (d.y - c.y);
    if (denominator == 0) return std::nullopt;
    const float t = ((c.y - a.y) * (d.x - c.x) - (c.x - a.x) * (d.y - c.y)) / denominator;
    const float u = ((c.y - a.y) * (b.x - a.x) - (c.x - a.x) * (b.y - a.y)) / denominator;
    if (!(t > 0 && t < 1 && u > 0 && u < 1)) return std::nullopt;
    return along(c, d, u);
}

std::optional<Vector3<float>> lineSegmentIntersection(const Vector3<float>& a,
                                                      const Vector3<float>& b,
                                                      const Vector3<float>& c,
                                                      const Vector3<float>& d) {
    const float denominator = (b.y - a.y) * (d.x - c.x) - (b.x - a.x) * (d.y - c.y);
    if (denominator == 0) return std::nullopt;
    const float u = ((c.y - a.y) * (b.x - a.x) - (c.x - a.x) * (b.y - a.y)) / denominator;
    if (!(u > 0 && u < 1)) return std::nullopt;
    return along(c, d, u);
}

std::optional<VMBox> boundingBox(const Vector3<float>* points, std::size_t count) {
    if (count == 0) return std::nullopt;
    VMBox box{points[0].x, points[0].x, points[0].y, points[0].y};
    for (std::size_t i = 1; i < count; ++i) {
        box.minX = std::min(box.minX, points[i].x);
        box.maxX = std::max(box.maxX, points[i].x);
        box.minY = std::min(box.minY, points[i].y);
        box.maxY = std::max(box.maxY, points[i].y);
    }
    return box;
}

bool pointInPolygonBox(const Vector3<float>* points, std::size_t count, const Vector3<float>& p,
                       const VMBox& box) {
    if (count == 0 || p.x < box.minX || p.x > box.maxX || p.y < box.minY || p.y > box.maxY) {
        return false;
    }
    bool inside = false;
    for (std::size_t i = 0, j = count - 1; i < count; j = i++) {
        const Vector3<float>& pi = points[i];
        const Vector3<float>& pj = points[j];
        if ((pi.y > p.y) != (pj.y > p.y) &&
            p.x < pi.x + (p.y - pi.y) * (pj.x - pi.x) / (pj.y - pi.y)) {
            inside = !inside;
        }
    }
    return inside;
}

bool pointInPolygon(const Vector3<float>* points, std::size_t count, const Vector3<float>& p) {
    const std::optional<VMBox> box = boundingBox(points, count);
    return box && pointInPolygonBox(points, count, p, *box);
}

bool appendPointWithTolerance(VMPointList& list, const Vector3<float>& p, float tolerance) {
    if (!list.empty() && std::fabs(p.x - list.back().x) <= tolerance &&
        std::fabs(p.y - list.back().y) <= tolerance) {
        return false;
    }
    list.push_back(p);
    return true;
}

namespace {

void clipToEdge(const VMPointList& input, bool looped, const Vector3<float>& a,
                const Vector3<float>& b, int outside, VMPointList& output, float tolerance) {
    if (input.size() < 2) return;
    output.clear();
    output.reserve(input.size());
    int previous = 0;
    for (std::size_t i = 0; i < input.size(); ++i) {
        const int s = orientation(a, b, input[i]);
        if (i > 0 && previous != 0 && previous == -s) {
            if (auto crossing = lineSegmentIntersection(a, b, input[i - 1], input[i])) {
                appendPointWithTolerance(output, *crossing, tolerance);
            }
        }
        if (s != outside) appendPointWithTolerance(output, input[i], tolerance);
        previous = s;
    }
    if (!looped) return;
    const int first = orientation(a, b, input.front());
    if (previous != 0 && first == -previous) {
        if (auto crossing = lineSegmentIntersection(a, b, input.back(), input.front())) {
            crossing->z = 0;
            output.push_back(*crossing);
        }
    }
}

}  // namespace

bool clipPolyline(const VMPointList& polyline, bool looped, const Vector3<float>* window,
                  std::size_t windowCount, VMPointList& output, float tolerance) {
    const std::size_t minimum = looped ? 3 : 2;
    if (window == nullptr || windowCount < 3 || polyline.size() < minimum) return false;
    const int outside = -polygonOrientation(window, windowCount);
    VMPointList buffers[2];
    const VMPointList* input = &polyline;
    for (std::size_t edge = 0; edge < windowCount; ++edge) {
        const Vector3<float>& a = window[edge == 0 ? windowCount - 1 : edge - 1];
        const Vector3<float>& b = window[edge];
        VMPointList& out = buffers[edge % 2];
        clipToEdge(*input, looped, a, b, outside, out, tolerance);
        if (out.size() < minimum) return false;
        input = &out;
    }
    output = *input;
    return true;
}

bool VMPolygonClipper::setWindow(const std::array<Vector3<float>, 4>& window) {
    std::array<Vector3<float>, 4> reversed{window[3], window[2], window[1], window[0]};
    const bool clockwise = isClockwise(window.data(), window.size());
    clockwiseWindow_ = clockwise ? window : reversed;
    counterClockwiseWindow_ = clockwise ? reversed : window;
    return clockwise;
}

Vector3<float> VMPolygonClipper::nodePoint(std::uint32_t node) const {
    if (node < count_) return (*polygon_)[node];
    if (node < firstIntersectionNode_) return (*window_)[node - firstWindowNode_];
    const std::uint32_t k = node - firstIntersectionNode_;
    return k < intersections_.size() ? intersections_[k] : Vector3<float>{};
}

// Polygon and window nodes have one successor slot; an intersection has a polygon-ring slot and
// a window-ring slot after it.
std::uint32_t VMPolygonClipper::polygonSuccessor(std::uint32_t node) const {
    if (node < firstIntersectionNode_) return successors_[node];
    return successors_[2 * node - firstIntersectionNode_];
}

std::uint32_t VMPolygonClipper::windowSuccessor(std::uint32_t node) const {
    if (node < firstIntersectionNode_) return successors_[node];
    return successors_[2 * node - firstIntersectionNode_ + 1];
}

void VMPolygonClipper::setPolygonSuccessor(std::uint32_t node, std::uint32_t next) {
    if (node < firstIntersectionNode_) {
        successors_[node] = next;
    } else {
        successors_[2 * node - firstIntersectionNode_] = next;
    }
}

void VMPolygonClipper::setWindowSuccessor(std::uint32_t node, std::uint32_t next) {
    if (node < firstIntersectionNode_) {
        successors_[node] = next;
    } else {
        successors_[2 * node - firstIntersectionNode_ + 1] = next;
    }
}

// Inserts the node after every intersection already linked after `from` that lies nearer to the
// origin, so crossings along one edge stay in order.
void VMPolygonClipper::linkAfter(std::uint32_t from, std::uint32_t node,
                                 const Vector3<float>& origin, bool windowRing) {
    const float distance = distanceSquared(origin, nodePoint(node));
    std::uint32_t current = from;
    std::uint32_t next = windowRing ? windowSuccessor(current) : polygonSuccessor(current);
    while (next >= firstIntersectionNode_ && next != node &&
           distanceSquared(origin, nodePoint(next)) < distance) {
        current = next;
        next = windowRing ? windowSuccessor(current) : polygonSuccessor(current);
    }
    if (windowRing) {
        setWindowSuccessor(current, node);
        setWindowSuccessor(node, next);
    } else {
        setPolygonSuccessor(current, node);
        setPolygonSuccessor(node, next);
    }
}

unsigned VMPolygonClipper::outcode(const Vector3<float>& p) const {
    unsigned code = 0;
    for (unsigned i = 0; i < 4; ++i) {
        if (orientation((*window_)[(i + 3) % 4], (*window_)[i], p) != windowOrientation_) {
            code |= 1u << i;
        }
    }
    return code;
}

const VMPointList& VMPolygonClipper::offEdges(const VMPointList& polygon) {
    const auto onAnEdge = [this](const Vector3<float>& p) {
        for (unsigned i = 0; i < 4; ++i) {
            if (orientation((*window_)[(i + 3) % 4], (*window_)[i], p) == 0) return true;
        }
        return false;
    };
    if (std::none_of(polygon.begin(), polygon.end(), onAnEdge)) return polygon;
    nudged_ = polygon;
    for (Vector3<float>& p : nudged_) {
        for (unsigned i = 0; i < 4; ++i) {
            const Vector3<float>& a = (*window_)[(i + 3) % 4];
            const Vector3<float>& b = (*window_)[i];
            // Outward is the side opposite the window's own turn.
            const float nx = (b.y - a.y) * float(windowOrientation_);
            const float ny = -(b.x - a.x) * float(windowOrientation_);
            const float length = std::hypot(nx, ny);
            if (length == 0) continue;
            for (float step = 1e-6f; orientation(a, b, p) == 0 && step < 1; step *= 4) {
                const float scale = std::max({std::fabs(p.x), std::fabs(p.y), 1.0f}) * step;
                p.x += nx / length * scale;
                p.y += ny / length * scale;
            }
        }
    }
    return nudged_;
}

bool VMPolygonClipper::clipPolygon(const VMPointList& input, VMPolygonList& result,
                                   float tolerance) {
    result.clear();
    if (input.size() < 3) return false;
    window_ =
        isClockwise(input.data(), input.size()) ? &clockwiseWindow_ : &counterClockwiseWindow_;
    windowOrientation_ = polygonOrientation(window_->data(), 4);
    const VMPointList& polygon = offEdges(input);
    polygon_ = &polygon;
    count_ = static_cast<std::uint32_t>(polygon.size());
    intersections_.clear();
    states_.clear();
    visited_.clear();
    firstWindowNode_ = count_;
    firstIntersectionNode_ = count_ + 4;
    successors_.clear();
    successors_.reserve(2 * std::size_t(count_) + 8);
    for (std::uint32_t i = 1; i < count_; ++i) successors_.push_back(i);
    successors_.push_back(0);
    for (std::uint32_t i = 1; i < 4; ++i) successors_.push_back(count_ + i);
    successors_.push_back(count_);

    candidateEdges_.clear();
    std::vector<unsigned> codes(count_);
    for (std::uint32_t k = 0; k < count_; ++k) codes[k] = outcode(polygon[k]);
    for (std::uint32_t k = 0; k < count_; ++k) {
        const unsigned a = codes[k];
        const unsigned b = codes[(k + 1) % count_];
        if ((a & b) == 0 && (a | b) != 0) candidateEdges_.push_back(k);
    }

    for (std::uint32_t i = 0; i < 4; ++i) {
        const Vector3<float>& from = (*window_)[(i + 3) % 4];
        const Vector3<float>& to = (*window_)[i];
        for (const std::uint32_t k : candidateEdges_) {
            const std::uint32_t next = (k + 1) % count_;
            const auto hit = segmentIntersection(from, to, polygon[k], polygon[next]);
            if (!hit) continue;
            const auto node = firstIntersectionNode_ + std::uint32_t(intersections_.size());
            intersections_.push_back(*hit);
            successors_.push_back(kEmpty);
            successors_.push_back(kEmpty);
            linkAfter(k, node, polygon[k], false);
            linkAfter(firstWindowNode_ + (i + 3) % 4, node, from, true);
            states_.push_back(orientation(from, to, polygon[next]) == windowOrientation_
                                  ? VMClipper::kEntering
                                  : VMClipper::kLeaving);
            visited_.push_back(0);
        }
    }

    if (intersections_.size() >= 2) {
        trace(result, tolerance);
    } else if (pointInPolygon(polygon.data(), polygon.size(), (*window_)[0])) {
        result.emplace_back(window_->begin(), window_->end());
    } else if (pointInPolygon(window_->data(), 4, polygon[0])) {
        result.push_back(polygon);
    }
    return true;
}

void VMPolygonClipper::trace(VMPolygonList& result, float tolerance) {
    for (std::size_t j = 0; j < intersections_.size(); ++j) {
        if (states_[j] != VMClipper::kEntering || visited_[j] != 0) continue;
        const auto start = firstIntersectionNode_ + std::uint32_t(j);
        VMPointList list;
        appendPointWithTolerance(list, intersections_[j], tolerance);
        visited_[j] = 1;
        std::uint32_t current = start;
        bool onWindow = false;
        bool broken = false;
        for (;;) {
            const std::uint32_t next =
                onWindow ? windowSuccessor(current) : polygonSuccessor(current);
            if (next == start) break;
            if (next == kEmpty || list.size() > successors_.size()) {
                broken = true;
                break;
            }
            appendPointWithTolerance(list, nodePoint(next), tolerance);
            if (next >= firstIntersectionNode_) {
                const std::uint32_t k = next - firstIntersectionNode_;
                visited_[k] = 1;
                onWindow = states_[k] == VMClipper::kLeaving;
            }
            current = next;
        }
        if (!broken && list.size() >= 3) result.push_back(std::move(list));
    }
}
