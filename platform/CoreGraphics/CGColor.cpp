#include "CGColor.h"

#include <algorithm>
#include <cmath>

namespace {
uint32_t channel(CGFloat v) {
    return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
}
}  // namespace

uint32_t CGColor::argb() const {
    return channel(a) << 24 | channel(r) << 16 | channel(g) << 8 | channel(b);
}

CGColor CGColorCreateCopyWithAlpha(CGColor c, CGFloat alpha) {
    c.a = alpha;
    return c;
}

CGColorSpaceRef CGColorSpaceCreateDeviceRGB() {
    static const CGColorSpace rgb{CGColorSpaceModel::RGB};
    return &rgb;
}

CGColorSpaceRef CGColorSpaceCreateDeviceGray() {
    static const CGColorSpace gray{CGColorSpaceModel::Monochrome};
    return &gray;
}
