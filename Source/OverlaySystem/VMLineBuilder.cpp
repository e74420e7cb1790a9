#include "VMLineBuilder.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

#include "Foundation/NSLog.h"

namespace {

using V3 = Vector3<float>;

V3 add(const V3& a, const V3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 sub(const V3& a, const V3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 scale(const V3& a, float s) { return {a.x * s, a.y * s, a.z * s}; }
V3 midpoint(const V3& a, const V3& b) { return scale(add(a, b), 0.5f); }
// The left-hand perpendicular, of the same length.
V3 perpendicular(const V3& a) { return {-a.y, a.x, 0}; }
float cross(const V3& a, const V3& b) { return a.x * b.y - a.y * b.x; }
float dot(const V3& a, const V3& b) { return a.x * b.x + a.y * b.y; }
float length(const V3& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

}  // namespace

const Vector4<float>& VMLineBuilder::colorOf(std::size_t segment) const {
    if (colors_.empty()) return defaultColor_;
    return colors_[std::min(segment, colors_.size() - 1)];
}

void VMLineBuilder::setUp(const VMPointList* points, bool looped, float width) {
    drawable_.indices.clear();
    drawable_.vertices.clear();
    segmentVectors_.clear();
    segmentLengths_.clear();
    textureOffset_ = 0;
    open_ = {kNoSide, kNoSide};
    deferred_ = false;
    points_ = points;
    width_ = width;
    const std::size_t n = points->size();
    looped_ = looped && n >= 3;
    const std::size_t segments = looped_ ? n : n - 1;
    segmentVectors_.reserve(segments);
    segmentLengths_.reserve(segments);
    for (std::size_t i = 0; i < segments; ++i) {
        const V3 d = sub((*points)[(i + 1) % n], (*points)[i]);
        const float l = length(d);
        segmentLengths_.push_back(l);
        segmentVectors_.push_back(l > 0 ? scale(d, width / 2 / l) : V3{});
    }
}

std::pair<VMLineBuilder::SideAt, VMLineBuilder::SideAt> VMLineBuilder::addQuad(
    const Side& start, const Side& end, float length, const Vector4<float>& color, bool fromOpen) {
    SideAt from = open_;
    // A shared side keeps the running texture coordinate; a new one starts again from its
    // fraction, so the pattern runs on without the numbers growing.
    float v0 = textureOffset_;
    if (!fromOpen || open_.left == kNoSide) {
        v0 = textureOffset_ - std::floor(textureOffset_);
        from = {static_cast<std::uint32_t>(drawable_.vertices.size()),
                static_cast<std::uint32_t>(drawable_.vertices.size() + 1)};
        drawable_.vertices.push_back({start.left, 0, v0, color});
        drawable_.vertices.push_back({start.right, 1, v0, color});
    }
    const float v1 = v0 + length * textureScale_;
    const auto b = static_cast<std::uint32_t>(drawable_.vertices.size());
    drawable_.vertices.push_back({end.left, 0, v1, color});
    drawable_.vertices.push_back({end.right, 1, v1, color});
    drawable_.indices.insert(drawable_.indices.end(),
                             {from.left, from.right, b, b, from.right, b + 1});
    textureOffset_ = v1;
    open_ = {b, b + 1};
    return {from, open_};
}

VMLineBuilder::SideAt VMLineBuilder::openSide(const Side& side, const Vector4<float>& color) {
    textureOffset_ -= std::floor(textureOffset_);
    const auto b = static_cast<std::uint32_t>(drawable_.vertices.size());
    drawable_.vertices.push_back({side.left, 0, textureOffset_, color});
    drawable_.vertices.push_back({side.right, 1, textureOffset_, color});
    open_ = {b, b + 1};
    deferred_ = true;
    return open_;
}

void VMLineBuilder::addStripJoin(const V3Point& p, const V3Point& inner, const V3Point& outerA,
                                 const V3Point& outerB, float s, float inLength, bool miter,
                                 const Vector4<float>& color) {
    if (miter) {
        // The tip lies on both outer edges: the quads meet there with no join of their own.
        const V3 tip = sub(scale(p, 2), inner);
        addQuad(pending_, s > 0 ? Side{inner, tip} : Side{tip, inner}, inLength, color, true);
        deferred_ = true;
        return;
    }
    const SideAt at =
        addQuad(pending_, s > 0 ? Side{inner, outerA} : Side{outerA, inner}, inLength, color, true)
            .second;
    const std::uint32_t innerAt = s > 0 ? at.left : at.right;
    const std::uint32_t outerAt = s > 0 ? at.right : at.left;
    const float outerU = s > 0 ? 1.0f : 0.0f;
    const float v = textureOffset_;
    const auto b = static_cast<std::uint32_t>(drawable_.vertices.size());
    drawable_.vertices.push_back({outerB, outerU, v, color});
    drawable_.indices.insert(drawable_.indices.end(), {innerAt, outerAt, b});
    open_ = s > 0 ? SideAt{innerAt, b} : SideAt{b, innerAt};
    deferred_ = true;
}

void VMLineBuilder::addRoundFan(const Vector3<float>& center, const Vector3<float>& from,
                                const Vector3<float>& to, int steps,
                                const Vector4<float>& firstColor,
                                const Vector4<float>& secondColor) {
    const double radius = width_ / 2.0;
    const double start = std::atan2(from.y, from.x);
    const double direction = cross(from, to) >= 0 ? 1.0 : -1.0;
    const double degree = std::numbers::pi / 180.0;
    const double swept = std::acos(
        std::clamp(double(dot(from, to)) / (double(length(from)) * length(to) + 1e-30), -1.0, 1.0));
    // Fewer, wider steps where the width allows: each chord stays within the tolerance of the
    // circle, and the last step ends on the far side exactly.
    double step = degree;
    bool toTheEnd = false;
    if (arcTolerance_ > 0) {
        const double arc = std::max(steps * degree, swept);
        const double widest = arcTolerance_ >= radius
                                  ? std::numbers::pi
                                  : 2 * std::acos(1 - double(arcTolerance_) / radius);
        const int fewer = std::max(1, int(std::ceil(arc / widest)));
        if (fewer < steps) {
            steps = fewer;
            step = arc / fewer;
            toTheEnd = true;
        }
    }
    const auto c = static_cast<std::uint32_t>(drawable_.vertices.size());
    drawable_.vertices.push_back({center, 0.5f, textureOffset_, firstColor});
    const auto rimAt = [&](double angle) {
        return V3{center.x + float(radius * std::cos(angle)),
                  center.y + float(radius * std::sin(angle)), center.z};
    };
    for (int k = 0; k <= steps; ++k) {
        drawable_.vertices.push_back({rimAt(start + direction * k * step), 0, textureOffset_,
                                      2 * k < steps ? firstColor : secondColor});
        if (k > 0) {
            const auto r = static_cast<std::uint32_t>(c + k);
            drawable_.indices.insert(drawable_.indices.end(), {c, r, r + 1});
        }
    }
    // Whole degrees stop short of the end by a fraction of one; the sliver is closed to it.
    if (!toTheEnd && swept - steps * degree > 1e-6 && length(to) > 0) {
        const auto last = static_cast<std::uint32_t>(drawable_.vertices.size());
        drawable_.vertices.push_back(
            {rimAt(std::atan2(to.y, to.x)), 0, textureOffset_, secondColor});
        drawable_.indices.insert(drawable_.indices.end(), {c, last - 1, last});
    }
}

// Draws the segment into the point from the open end and the join, and leaves the segment out
// of it open for the next point.
void VMLineBuilder::addJoin(std::size_t point, std::size_t incoming, std::size_t outgoing,
                            bool firstHalfWhole, int joinType) {
    const VMPointList& pts = *points_;
    const std::size_t n = pts.size();
    const V3& p = pts[point];
    const V3& va = segmentVectors_[incoming];
    const V3& vb = segmentVectors_[outgoing];
    const V3 na = perpendicular(va);
    const V3 nb = perpendicular(vb);
    const V3 outEnd =
        (!looped_ && outgoing == n - 2) ? pts[n - 1] : midpoint(p, pts[(outgoing + 1) % n]);
    const V3 inStart = firstHalfWhole ? pts[incoming] : midpoint(pts[incoming], p);
    const float inLength =
        firstHalfWhole || deferred_ ? segmentLengths_[incoming] : segmentLengths_[incoming] / 2;
    const Vector4<float>& colorA = colorOf(incoming);
    const Vector4<float>& colorB = colorOf(outgoing);

    const float t = cross(sub(p, inStart), sub(outEnd, p));
    if (std::fabs(t) < 1e-8f) {
        Side atP{add(p, na), sub(p, na)};
        Side fromP{add(p, nb), sub(p, nb)};
        if (dot(va, vb) > 0) {
            const V3 mean = scale(add(na, nb), 0.5f);
            atP = fromP = Side{add(p, mean), sub(p, mean)};
        }
        addQuad(pending_, atP, inLength, colorA, true);
        if (!(dot(va, vb) > 0) || colorA != colorB) openSide(fromP, colorB);
        deferred_ = true;
        return;
    }

    // A left turn (t > 0) has its inner corner on the left.
    const float s = t > 0 ? 1.0f : -1.0f;
    const V3 innerLineA = add(p, scale(na, s));
    const V3 innerLineB = add(p, scale(nb, s));
    V3 inner = p;
    const float denominator = cross(va, vb);
    if (denominator != 0) {
        const float lambda = cross(sub(innerLineB, innerLineA), vb) / denominator;
        inner = add(innerLineA, scale(va, lambda));
    }
    const float d = length(sub(inner, p));
    const bool shared =
        segmentLengths_[incoming] >= 2.00002f * d && segmentLengths_[outgoing] >= 2.00002f * d;
    const V3 innerA = shared ? inner : innerLineA;
    const V3 innerB = shared ? inner : innerLineB;
    const V3 outerA = sub(p, scale(na, s));
    const V3 outerB = sub(p, scale(nb, s));

    // A miter tip closer to the bevel (or to the round join's circle) than the tolerance
    // changes no pixel that matters, and saves the join's own triangles.
    const float r = width_ / 2;
    const bool miter = (joinType == kVMLineJoinMiter && d <= miterLimit_) ||
                       (joinType == kVMLineJoinRound ? d - r : d - r * r / d) <= arcTolerance_;
    if (shared && colorA == colorB && (joinType != kVMLineJoinRound || miter)) {
        addStripJoin(p, inner, outerA, outerB, s, inLength, miter, colorA);
        return;
    }
    const SideAt atA = addQuad(pending_, s > 0 ? Side{innerA, outerA} : Side{outerA, innerA},
                               inLength, colorA, true)
                           .second;
    const SideAt fromB = openSide(s > 0 ? Side{innerB, outerB} : Side{outerB, innerB}, colorB);
    const std::uint32_t innerAt = s > 0 ? atA.left : atA.right;
    const std::uint32_t outerAt = s > 0 ? atA.right : atA.left;
    const std::uint32_t innerFrom = s > 0 ? fromB.left : fromB.right;
    const std::uint32_t outerFrom = s > 0 ? fromB.right : fromB.left;
    // Join vertices take the texture coordinate of the quad they close, so that a repeating
    // dash does not run through them.
    const float endV = drawable_.vertices[innerAt].v;
    const float startV = drawable_.vertices[innerFrom].v;

    if (joinType == kVMLineJoinRound) {
        const float la = length(va);
        const float lb = length(vb);
        double angle = 0;
        if (la * la >= 1e-16f && lb * lb >= 1e-16f) {
            angle = std::acos(std::clamp(double(dot(va, vb)) / (double(la) * lb), -1.0, 1.0));
        }
        const float saved = textureOffset_;
        textureOffset_ = startV;
        const auto center = static_cast<std::uint32_t>(drawable_.vertices.size());
        addRoundFan(p, sub(outerA, p), sub(outerB, p), int(angle * 180.0 / std::numbers::pi),
                    colorA, colorB);
        textureOffset_ = saved;
        // A shared inner corner ends the quads short of the point; the fan about the point
        // leaves the wedge between them and it open unless it is closed here.
        const auto centerA = static_cast<std::uint32_t>(drawable_.vertices.size());
        drawable_.vertices.push_back({p, 0.5f, endV, colorA});
        drawable_.indices.insert(drawable_.indices.end(),
                                 {innerAt, outerAt, centerA, innerFrom, outerFrom, center});
        return;
    }
    V3 extra = add(p, scale(add(na, nb), -0.5f * s));
    if (joinType == kVMLineJoinMiter && d <= miterLimit_) extra = sub(scale(p, 2), inner);
    const float outerU = s > 0 ? 1.0f : 0.0f;
    const auto x = static_cast<std::uint32_t>(drawable_.vertices.size());
    drawable_.vertices.push_back({extra, outerU, endV, colorA});
    drawable_.vertices.push_back({extra, outerU, startV, colorB});
    drawable_.indices.insert(drawable_.indices.end(),
                             {innerAt, outerAt, x, innerFrom, outerFrom, x + 1});
}

void VMLineBuilder::addCaps(int capType) {
    const VMPointList& pts = *points_;
    // Caps follow the first and last segments that have a direction; repeated end points have
    // none.
    std::size_t first = 0;
    while (first < segmentLengths_.size() && segmentLengths_[first] == 0) ++first;
    if (first == segmentLengths_.size()) return;
    std::size_t last = segmentLengths_.size() - 1;
    while (segmentLengths_[last] == 0) --last;
    const V3& start = pts.front();
    const V3& end = pts.back();
    const V3 vs = segmentVectors_[first];
    const V3 ve = segmentVectors_[last];
    const Vector4<float>& startColor = colorOf(0);
    const Vector4<float>& endColor = colorOf(segmentLengths_.size() - 1);
    switch (capType) {
        case kVMLineCapSquare: {
            const V3 ns = perpendicular(vs);
            const V3 back = sub(start, vs);
            addQuad({add(back, ns), sub(back, ns)}, {add(start, ns), sub(start, ns)}, width_ / 2,
                    startColor);
            const V3 ne = perpendicular(ve);
            const V3 ahead = add(end, ve);
            addQuad({add(end, ne), sub(end, ne)}, {add(ahead, ne), sub(ahead, ne)}, width_ / 2,
                    endColor);
            break;
        }
        case kVMLineCapArrow: {
            const V3 u = scale(ve, 1 / length(ve));
            const V3 side = scale(perpendicular(u), width_);
            const V3 tip = add(end, scale(u, 2 * width_ * 0.8660253959822088f));
            const auto b = static_cast<std::uint32_t>(drawable_.vertices.size());
            drawable_.vertices.push_back({add(end, side), 0, 0, endColor});
            drawable_.vertices.push_back({sub(end, side), 0, 0, endColor});
            drawable_.vertices.push_back({end, 0.5f, 0.5f, endColor});
            drawable_.vertices.push_back({tip, 0, 1, endColor});
            drawable_.indices.insert(drawable_.indices.end(),
                                     {b, b + 2, b + 3, b + 2, b + 1, b + 3});
            break;
        }
        case kVMLineCapRound: {
            const float saved = textureOffset_;
            textureOffset_ = 0.5f;
            // From the left edge round the back of the start, and round the front of the end.
            addRoundFan(start, perpendicular(vs), scale(vs, -1), 180, startColor, startColor);
            addRoundFan(end, perpendicular(ve), ve, 180, endColor, endColor);
            textureOffset_ = saved;
            break;
        }
        default:
            break;
    }
}

// Points that are not finite would make every vertex near them NaN; the line goes on without
// them. The caller's list is used as it is when all of it is finite.
const VMPointList* VMLineBuilder::finitePoints(const VMPointList* points) {
    const auto finite = [](const Vector3<float>& p) {
        return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
    };
    if (std::all_of(points->begin(), points->end(), finite)) return points;
    finitePoints_.clear();
    std::copy_if(points->begin(), points->end(), std::back_inserter(finitePoints_), finite);
    return &finitePoints_;
}

void VMLineBuilder::build(const VMPointList* points, bool looped, int joinType, int capType,
                          std::span<const Vector4<float>> colors, float width) {
    drawable_.indices.clear();
    drawable_.vertices.clear();
    if (points == nullptr) {
        NSLog("Initialize error: points is NULL!");
        return;
    }
    points = finitePoints(points);
    if (!(width > 0)) return;
    if (points->size() < 2) {
        NSLog("Initialize error: points can not be less than 2!");
        return;
    }
    textureScale_ = 1 / (4 * width);
    colors_ = colors;
    setUp(points, looped, width);
    const VMPointList& pts = *points;
    const std::size_t n = pts.size();
    const std::size_t joins = looped_ ? n : n - 2;
    const std::size_t perJoinVertices = joinType == kVMLineJoinRound ? 181 : 2;
    drawable_.vertices.reserve(8 * std::max<std::size_t>(joins, 1) + joins * perJoinVertices + 364);
    drawable_.indices.reserve(12 * std::max<std::size_t>(joins, 1) + joins * 543 + 1086);

    if (looped_) {
        const V3 n0 = perpendicular(segmentVectors_[n - 1]);
        const V3 start = midpoint(pts[n - 1], pts[0]);
        pending_ = {add(start, n0), sub(start, n0)};
        const Side first = pending_;
        for (std::size_t k = 0; k < n; ++k) addJoin(k, (k + n - 1) % n, k, false, joinType);
        // The last point's outgoing half, when left to a next point, closes the ring.
        if (deferred_) addQuad(first, first, segmentLengths_[n - 1] / 2, colorOf(n - 1), true);
        return;
    }
    const V3 n0 = perpendicular(segmentVectors_[0]);
    pending_ = {add(pts[0], n0), sub(pts[0], n0)};
    for (std::size_t k = 1; k + 1 < n; ++k) addJoin(k, k - 1, k, k == 1, joinType);
    // The last segment, from the open end (or the first point) to the end.
    const V3 nl = perpendicular(segmentVectors_[n - 2]);
    addQuad(pending_, {add(pts[n - 1], nl), sub(pts[n - 1], nl)}, segmentLengths_[n - 2],
            colorOf(n - 2), true);
    addCaps(capType);
}

void VMLineBuilder::buildStriped(const VMPointList* points, bool looped, float width) {
    drawable_.indices.clear();
    drawable_.vertices.clear();
    if (!(width > 0)) return;
    if (points == nullptr) {
        NSLog("Initialize error: points is NULL!");
        return;
    }
    points = finitePoints(points);
    if (points->size() < 2) {
        NSLog("Initialize error: points can not be less than 2!");
        return;
    }
    textureScale_ = 1 / width;
    colors_ = {};
    setUp(points, looped, width);
    const VMPointList& pts = *points;
    const std::size_t n = pts.size();
    drawable_.vertices.reserve(4 * segmentVectors_.size());
    drawable_.indices.reserve(6 * segmentVectors_.size());
    for (std::size_t i = 0; i < segmentVectors_.size(); ++i) {
        const V3 normal = perpendicular(segmentVectors_[i]);
        const V3& a = pts[i];
        const V3& b = pts[(i + 1) % n];
        addQuad({add(a, normal), sub(a, normal)}, {add(b, normal), sub(b, normal)},
                segmentLengths_[i], defaultColor_);
    }
}
