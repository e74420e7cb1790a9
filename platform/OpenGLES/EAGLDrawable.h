#pragma once

#include <cstdint>
#include <vector>

// A presented frame: RGBA bytes, rows from the top.
struct EAGLPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

// What a context renders into and presents to: it gives the backing size in pixels and keeps the
// last presented frame. A layer that shows GL content derives from it and composites the pixels.
class EAGLDrawable {
  public:
    virtual ~EAGLDrawable() = default;

    void setDrawableSize(int width, int height);
    int drawableWidth() const { return width_; }
    int drawableHeight() const { return height_; }
    const EAGLPixels& presentedPixels() const { return presented_; }

  protected:
    // Called after each present, e.g. to mark a layer for compositing.
    virtual void drawableDidPresent() {}

  private:
    friend class EAGLContext;
    void present(EAGLPixels pixels);

    int width_ = 0;
    int height_ = 0;
    EAGLPixels presented_;
};
