#include "UIColorVMConvert.h"

#include <algorithm>
#include <cmath>

namespace {

std::uint32_t byteOf(double component) {
    if (std::isnan(component)) return 0;
    return static_cast<std::uint32_t>(std::clamp(component, 0.0, 1.0) * 255);
}

}  // namespace

std::uint32_t unsignedIntARGB(const UIColor& color) {
    const CGColor c = color.CGColor();
    return byteOf(c.a) << 24 | byteOf(c.r) << 16 | byteOf(c.g) << 8 | byteOf(c.b);
}
