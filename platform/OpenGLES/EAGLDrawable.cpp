#include "EAGLDrawable.h"

#include <algorithm>

void EAGLDrawable::setDrawableSize(int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
}

void EAGLDrawable::present(EAGLPixels pixels) {
    presented_ = std::move(pixels);
    drawableDidPresent();
}
