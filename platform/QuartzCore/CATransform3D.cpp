#include "CATransform3D.h"

#include <array>
#include <cmath>

namespace {
using M = std::array<CGFloat, 16>;
M toArray(const CATransform3D& t) {
    return {t.m11, t.m12, t.m13, t.m14, t.m21, t.m22, t.m23, t.m24,
            t.m31, t.m32, t.m33, t.m34, t.m41, t.m42, t.m43, t.m44};
}
CATransform3D fromArray(const M& m) {
    return {m[0], m[1], m[2],  m[3],  m[4],  m[5],  m[6],  m[7],
            m[8], m[9], m[10], m[11], m[12], m[13], m[14], m[15]};
}
}  // namespace

bool CATransform3DIsIdentity(const CATransform3D& t) { return t == CATransform3DIdentity; }
bool CATransform3DEqualToTransform(const CATransform3D& a, const CATransform3D& b) {
    return a == b;
}

CATransform3D CATransform3DMakeTranslation(CGFloat tx, CGFloat ty, CGFloat tz) {
    CATransform3D t;
    t.m41 = tx;
    t.m42 = ty;
    t.m43 = tz;
    return t;
}

CATransform3D CATransform3DMakeScale(CGFloat sx, CGFloat sy, CGFloat sz) {
    CATransform3D t;
    t.m11 = sx;
    t.m22 = sy;
    t.m33 = sz;
    return t;
}

CATransform3D CATransform3DMakeRotation(CGFloat angle, CGFloat x, CGFloat y, CGFloat z) {
    const CGFloat len = std::sqrt(x * x + y * y + z * z);
    if (len == 0) return CATransform3DIdentity;
    x /= len;
    y /= len;
    z /= len;
    const CGFloat c = std::cos(angle), s = std::sin(angle), k = 1 - c;
    CATransform3D t;
    t.m11 = x * x * k + c;
    t.m12 = x * y * k + z * s;
    t.m13 = x * z * k - y * s;
    t.m21 = y * x * k - z * s;
    t.m22 = y * y * k + c;
    t.m23 = y * z * k + x * s;
    t.m31 = z * x * k + y * s;
    t.m32 = z * y * k - x * s;
    t.m33 = z * z * k + c;
    return t;
}

CATransform3D CATransform3DConcat(const CATransform3D& a, const CATransform3D& b) {
    const M x = toArray(a), y = toArray(b);
    M r{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            CGFloat sum = 0;
            for (int k = 0; k < 4; ++k) sum += x[i * 4 + k] * y[k * 4 + j];
            r[i * 4 + j] = sum;
        }
    }
    return fromArray(r);
}

CATransform3D CATransform3DTranslate(const CATransform3D& t, CGFloat tx, CGFloat ty, CGFloat tz) {
    return CATransform3DConcat(CATransform3DMakeTranslation(tx, ty, tz), t);
}
CATransform3D CATransform3DScale(const CATransform3D& t, CGFloat sx, CGFloat sy, CGFloat sz) {
    return CATransform3DConcat(CATransform3DMakeScale(sx, sy, sz), t);
}
CATransform3D CATransform3DRotate(const CATransform3D& t, CGFloat angle, CGFloat x, CGFloat y,
                                  CGFloat z) {
    return CATransform3DConcat(CATransform3DMakeRotation(angle, x, y, z), t);
}

CATransform3D CATransform3DInvert(const CATransform3D& t) {
    // Gauss-Jordan; a singular matrix comes back unchanged, as on the platform.
    M a = toArray(t);
    M inv = toArray(CATransform3DIdentity);
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r) {
            if (std::abs(a[r * 4 + col]) > std::abs(a[pivot * 4 + col])) pivot = r;
        }
        if (std::abs(a[pivot * 4 + col]) < 1e-12) return t;
        for (int k = 0; k < 4; ++k) {
            std::swap(a[col * 4 + k], a[pivot * 4 + k]);
            std::swap(inv[col * 4 + k], inv[pivot * 4 + k]);
        }
        const CGFloat d = a[col * 4 + col];
        for (int k = 0; k < 4; ++k) {
            a[col * 4 + k] /= d;
            inv[col * 4 + k] /= d;
        }
        for (int r = 0; r < 4; ++r) {
            if (r == col) continue;
            const CGFloat f = a[r * 4 + col];
            for (int k = 0; k < 4; ++k) {
                a[r * 4 + k] -= f * a[col * 4 + k];
                inv[r * 4 + k] -= f * inv[col * 4 + k];
            }
        }
    }
    return fromArray(inv);
}

CATransform3D CATransform3DMakeAffineTransform(CGAffineTransform t) {
    CATransform3D r;
    r.m11 = t.a;
    r.m12 = t.b;
    r.m21 = t.c;
    r.m22 = t.d;
    r.m41 = t.tx;
    r.m42 = t.ty;
    return r;
}

bool CATransform3DIsAffine(const CATransform3D& t) {
    return t.m13 == 0 && t.m14 == 0 && t.m23 == 0 && t.m24 == 0 && t.m31 == 0 && t.m32 == 0 &&
           t.m33 == 1 && t.m34 == 0 && t.m43 == 0 && t.m44 == 1;
}

CGAffineTransform CATransform3DGetAffineTransform(const CATransform3D& t) {
    return {t.m11, t.m12, t.m21, t.m22, t.m41, t.m42};
}
