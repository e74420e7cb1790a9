#pragma once

#include <cstdint>
#include <vector>

// A presented frame: RGBA bytes, rows from the top.
struct EAGLPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

// Byte order of a frame read back from GL.
enum class EAGLPixelOrder { RGBA, BGRA };

// Colour storage a drawable asks for.
enum class EAGLColorStorage { RGBA8, RGB565 };

// What a context renders into and presents to: it gives the backing size in pixels and takes
// each presented frame. A plain drawable keeps the last frame as RGBA bytes; a layer that shows
// GL content derives from it and turns frames into its contents.
class EAGLDrawable {
  public:
    virtual ~EAGLDrawable() = default;

    void setDrawableSize(int width, int height);
    virtual int drawableWidth() const { return width_; }
    virtual int drawableHeight() const { return height_; }
    virtual EAGLColorStorage colorStorage() const { return EAGLColorStorage::RGBA8; }
    // The order the drawable takes without converting; the context reads in it when GL can.
    virtual EAGLPixelOrder preferredPixelOrder() const { return EAGLPixelOrder::RGBA; }
    const EAGLPixels& presentedPixels() const { return presented_; }

  protected:
    // Called after each present by the default presentFrame, e.g. to mark a layer for compositing.
    virtual void drawableDidPresent() {}
    // Takes one frame as GL holds it: rows bottom-up, 4 bytes a pixel in the given order, width
    // and height 0 for an empty renderbuffer. The default keeps it as RGBA rows from the top.
    virtual void presentFrame(const std::uint8_t* bottomUp, int width, int height,
                              EAGLPixelOrder order);

  private:
    friend class EAGLContext;

    int width_ = 0;
    int height_ = 0;
    EAGLPixels presented_;
};
