#include "EAGLDrawable.h"

#include <algorithm>
#include <cstring>

void EAGLDrawable::setDrawableSize(int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
}

void EAGLDrawable::presentFrame(const std::uint8_t* bottomUp, int width, int height,
                                EAGLPixelOrder order) {
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    presented_.width = width;
    presented_.height = height;
    presented_.rgba.resize(rowBytes * static_cast<size_t>(height));
    for (int row = 0; row < height; ++row) {
        std::uint8_t* out = presented_.rgba.data() + static_cast<size_t>(row) * rowBytes;
        std::memcpy(out, bottomUp + static_cast<size_t>(height - 1 - row) * rowBytes, rowBytes);
        if (order == EAGLPixelOrder::BGRA) {
            for (size_t i = 0; i < rowBytes; i += 4) std::swap(out[i], out[i + 2]);
        }
    }
    drawableDidPresent();
}
