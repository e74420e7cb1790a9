#pragma once

#include <cstdint>

#include "CGGeometry.h"

// Device RGB with alpha, components in 0..1, not premultiplied.
struct CGColor {
    CGFloat r = 0, g = 0, b = 0, a = 0;
    bool operator==(const CGColor&) const = default;
    bool isClear() const { return a <= 0; }
    // 0xAARRGGBB with each component rounded to 8 bits.
    uint32_t argb() const;
};

inline CGColor CGColorMake(CGFloat r, CGFloat g, CGFloat b, CGFloat a) { return {r, g, b, a}; }
inline CGFloat CGColorGetAlpha(CGColor c) { return c.a; }
CGColor CGColorCreateCopyWithAlpha(CGColor c, CGFloat alpha);

enum class CGColorSpaceModel { Monochrome, RGB };

// Only the model matters here: every drawing surface is device RGB or alpha-only.
struct CGColorSpace {
    CGColorSpaceModel model = CGColorSpaceModel::RGB;
};
using CGColorSpaceRef = const CGColorSpace*;
CGColorSpaceRef CGColorSpaceCreateDeviceRGB();
CGColorSpaceRef CGColorSpaceCreateDeviceGray();
