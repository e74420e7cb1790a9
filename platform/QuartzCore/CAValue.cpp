#include "CAValue.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// A transform that only scales, rotates, skews and moves in the plane, taken apart so that a
// rotation interpolates as a rotation rather than a shrinking matrix.
struct Planar {
    double tx, ty, sx, sy, skew, angle;
};

bool nearZero(double x) { return std::fabs(x) < 1e-12; }

std::optional<Planar> decompose(const std::array<double, 16>& m) {
    for (int i : {2, 3, 6, 7, 8, 9, 11, 14})
        if (!nearZero(m[i])) return std::nullopt;
    if (std::fabs(m[15] - 1.0) > 1e-12) return std::nullopt;
    const double a = m[0], b = m[1], c = m[4], d = m[5];
    const double sx = std::hypot(a, b);
    if (nearZero(sx)) return std::nullopt;
    const double ca = a / sx, sa = b / sx;
    const double shear = ca * c + sa * d;
    const double rc = c - ca * shear, rd = d - sa * shear;
    const double sy = ca * rd - sa * rc;
    if (nearZero(sy)) return std::nullopt;
    return Planar{m[12], m[13], sx, sy, shear / sy, std::atan2(b, a)};
}

std::array<double, 16> compose(const Planar& p, std::array<double, 16> m) {
    const double c = std::cos(p.angle), s = std::sin(p.angle);
    m[0] = p.sx * c;
    m[1] = p.sx * s;
    m[4] = p.sy * (p.skew * c - s);
    m[5] = p.sy * (p.skew * s + c);
    m[12] = p.tx;
    m[13] = p.ty;
    return m;
}

double lerp(double a, double b, double t) { return a + (b - a) * t; }

std::array<double, 16> multiply(const std::array<double, 16>& a, const std::array<double, 16>& b) {
    std::array<double, 16> r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) r[i * 4 + j] += a[i * 4 + k] * b[k * 4 + j];
    return r;
}

CAValue make(CAValue::Kind kind, std::initializer_list<double> comps) {
    CAValue value;
    value.kind = kind;
    std::copy(comps.begin(), comps.end(), value.v.begin());
    return value;
}

}  // namespace

CAValue CAValue::number(double x) { return make(Kind::Number, {x}); }
CAValue CAValue::point(double x, double y) { return make(Kind::Point, {x, y}); }
CAValue CAValue::size(double width, double height) { return make(Kind::Size, {width, height}); }
CAValue CAValue::rect(double x, double y, double width, double height) {
    return make(Kind::Rect, {x, y, width, height});
}
CAValue CAValue::color(double r, double g, double b, double a) {
    return make(Kind::Color, {r, g, b, a});
}
CAValue CAValue::transform(const std::array<double, 16>& m) {
    CAValue value;
    value.kind = Kind::Transform;
    value.v = m;
    return value;
}
CAValue CAValue::identityTransform() {
    return transform({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
}

CAValue::CAValue(const CATransform3D& t)
    : CAValue(transform({t.m11, t.m12, t.m13, t.m14, t.m21, t.m22, t.m23, t.m24, t.m31, t.m32,
                         t.m33, t.m34, t.m41, t.m42, t.m43, t.m44})) {}

CATransform3D CAValue::transformValue() const {
    return {v[0], v[1], v[2],  v[3],  v[4],  v[5],  v[6],  v[7],
            v[8], v[9], v[10], v[11], v[12], v[13], v[14], v[15]};
}

std::size_t CAValue::count() const {
    switch (kind) {
        case Kind::Number:
            return 1;
        case Kind::Point:
        case Kind::Size:
            return 2;
        case Kind::Rect:
        case Kind::Color:
            return 4;
        case Kind::Transform:
            return 16;
    }
    return 0;
}

bool operator==(const CAValue& a, const CAValue& b) {
    if (a.kind != b.kind) return false;
    return std::equal(a.v.begin(), a.v.begin() + a.count(), b.v.begin());
}

std::optional<CAValue> CAValueInterpolate(const CAValue& from, const CAValue& to, double t) {
    if (from.kind != to.kind) return std::nullopt;
    CAValue out = from;
    for (std::size_t i = 0; i < from.count(); ++i) out.v[i] = lerp(from.v[i], to.v[i], t);
    if (from.kind == CAValue::Kind::Color) {
        for (std::size_t i = 0; i < 4; ++i) out.v[i] = std::clamp(out.v[i], 0.0, 1.0);
    } else if (from.kind == CAValue::Kind::Transform) {
        const auto a = decompose(from.v), b = decompose(to.v);
        if (a && b) {
            double delta = b->angle - a->angle;
            // The short way round, as a compass needle turns.
            if (delta > std::numbers::pi) delta -= 2 * std::numbers::pi;
            if (delta < -std::numbers::pi) delta += 2 * std::numbers::pi;
            const Planar p{lerp(a->tx, b->tx, t), lerp(a->ty, b->ty, t),     lerp(a->sx, b->sx, t),
                           lerp(a->sy, b->sy, t), lerp(a->skew, b->skew, t), a->angle + delta * t};
            out.v = compose(p, out.v);
        }
    }
    return out;
}

std::optional<CAValue> CAValueAdd(const CAValue& a, const CAValue& b) {
    if (a.kind != b.kind) return std::nullopt;
    if (a.kind == CAValue::Kind::Transform) return CAValue::transform(multiply(a.v, b.v));
    CAValue out = a;
    for (std::size_t i = 0; i < a.count(); ++i) out.v[i] += b.v[i];
    return out;
}

std::optional<CAValue> CAValueSubtract(const CAValue& a, const CAValue& b) {
    if (a.kind != b.kind || a.kind == CAValue::Kind::Transform) return std::nullopt;
    CAValue out = a;
    for (std::size_t i = 0; i < a.count(); ++i) out.v[i] -= b.v[i];
    return out;
}

std::optional<double> CAValueDistance(const CAValue& a, const CAValue& b) {
    if (a.kind != b.kind) return std::nullopt;
    double sum = 0;
    for (std::size_t i = 0; i < a.count(); ++i) sum += (a.v[i] - b.v[i]) * (a.v[i] - b.v[i]);
    return std::sqrt(sum);
}
