#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "CGColor.h"
#include "CGGeometry.h"
#include "Foundation/NSData.h"

// The drawing backend's bitmap behind an image or a context: opaque outside the platform's own
// sources.
struct CGBackendSurface;

// An immutable bitmap: premultiplied 32-bit ARGB words, opaque RGB words, or alpha bytes for masks.
class CGImage {
  public:
    // The most pixels a decoded image may have (64 MiB of bitmap), checked before allocating:
    // a header from a server may declare any size.
    static constexpr std::uint64_t kMaxDecodedPixels = 4096 * 4096;

    // Takes ownership of a surface in good status.
    explicit CGImage(CGBackendSurface* surface);
    ~CGImage();
    CGImage(const CGImage&) = delete;
    CGImage& operator=(const CGImage&) = delete;

    // Transparent ARGB32 bitmap of the given pixel size.
    static std::shared_ptr<CGImage> create(int width, int height);
    // PNG or JPEG by content; nullptr when the bytes are neither or are damaged.
    static std::shared_ptr<CGImage> createWithData(std::span<const uint8_t> data);
    static std::shared_ptr<CGImage> createWithContentsOfFile(const std::string& path);
    // Straight (not premultiplied) RGBA bytes, row 0 first, e.g. read back from GL.
    static std::shared_ptr<CGImage> createWithRGBA(const uint8_t* rgba, int width, int height,
                                                   int bytesPerRow, bool bottomUp = false);
    // An opaque image (alpha skipped) of tightly packed bottom-up rows as GL reads them back,
    // in RGBA or BGRA byte order, turned upright.
    static std::shared_ptr<CGImage> createOpaqueWithBottomUpRows(const uint8_t* pixels, int width,
                                                                 int height, bool bgra);

    int width() const;
    int height() const;
    bool isMask() const;
    CGBackendSurface* surface() const { return surface_; }
    // The pixels, row 0 first: native-endian premultiplied ARGB words, or alpha bytes for masks.
    const unsigned char* bytes() const;
    int bytesPerRow() const;

    // The smallest pixel rectangle outside which every pixel is transparent. Known for decoded
    // pictures, which nothing draws into; the whole image for bitmaps that contexts draw into.
    CGRect inkedRect() const { return inked_; }

    // Straight colour of one pixel (for checks and colour picking).
    CGColor pixelAt(int x, int y) const;
    bool writePNG(const std::string& path) const;
    // The image encoded as PNG; empty when it cannot be encoded.
    NSData pngData() const;

  private:
    CGBackendSurface* surface_;
    CGRect inked_;
};

using CGImageRef = std::shared_ptr<CGImage>;

inline size_t CGImageGetWidth(const CGImageRef& image) { return image ? image->width() : 0; }
inline size_t CGImageGetHeight(const CGImageRef& image) { return image ? image->height() : 0; }
// The part of the image inside a pixel rectangle, clipped to the image; nullptr when empty.
CGImageRef CGImageCreateWithImageInRect(const CGImageRef& image, CGRect rect);
