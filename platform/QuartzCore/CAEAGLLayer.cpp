#include "CAEAGLLayer.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "CoreGraphics/CGBackend.h"

namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// Writes a bottom-up GL frame into an image surface of its size. The rows are flipped; an opaque
// frame in the surface's own byte order is copied as it is, since an opaque image ignores the
// alpha byte. A translucent one is premultiplied, which is the only case that touches single
// pixels.
void writeFrame(cairo_surface_t* surface, const std::uint8_t* bottomUp, int width, int height,
                EAGLPixelOrder order, bool opaque) {
    cairo_surface_flush(surface);
    unsigned char* base = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    const bool nativeOrder = kLittleEndian && order == EAGLPixelOrder::BGRA;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = bottomUp + static_cast<size_t>(height - 1 - y) * rowBytes;
        unsigned char* out = base + static_cast<ptrdiff_t>(y) * stride;
        if (opaque && nativeOrder) {
            std::memcpy(out, in, rowBytes);
            continue;
        }
        auto* words = reinterpret_cast<uint32_t*>(out);
        const int r = order == EAGLPixelOrder::BGRA ? 2 : 0;
        const int b = 2 - r;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = in + x * 4;
            const uint32_t a = opaque ? 255 : p[3];
            auto pm = [a](uint32_t c) { return (c * a + 127) / 255; };
            words[x] = a << 24 | pm(p[r]) << 16 | pm(p[1]) << 8 | pm(p[b]);
        }
    }
    cairo_surface_mark_dirty(surface);
}

// The last frame's image when it can take this one: held by the layer alone (nobody can see it
// change), of this size and format. Writing over it spares a fresh full-screen buffer, and its
// page faults, every frame.
bool reusable(const CGImageRef& image, int width, int height, cairo_format_t format) {
    return image && image.use_count() == 1 && image->width() == width &&
           image->height() == height &&
           cairo_image_surface_get_format(CGImageGetCairoSurface(*image)) == format;
}

int pixels(CGFloat points, CGFloat scale) {
    const CGFloat v = std::round(points * scale);
    return v > 0 ? static_cast<int>(v) : 0;
}

}  // namespace

std::shared_ptr<CAEAGLLayer> CAEAGLLayer::layer() {
    return std::shared_ptr<CAEAGLLayer>(new CAEAGLLayer());
}

void CAEAGLLayer::setDrawableProperties(EAGLDrawableProperties properties) {
    properties_ = std::move(properties);
}

int CAEAGLLayer::drawableWidth() const { return pixels(bounds().size.width, contentsScale()); }

int CAEAGLLayer::drawableHeight() const { return pixels(bounds().size.height, contentsScale()); }

EAGLColorStorage CAEAGLLayer::colorStorage() const {
    return properties_.colorFormat == kEAGLColorFormatRGB565 ? EAGLColorStorage::RGB565
                                                             : EAGLColorStorage::RGBA8;
}

EAGLPixelOrder CAEAGLLayer::preferredPixelOrder() const {
    return kLittleEndian ? EAGLPixelOrder::BGRA : EAGLPixelOrder::RGBA;
}

void CAEAGLLayer::presentFrame(const std::uint8_t* bottomUp, int width, int height,
                               EAGLPixelOrder order) {
    if (width <= 0 || height <= 0 || bottomUp == nullptr) {
        setContents(nullptr);
        return;
    }
    // A 565 buffer has no alpha to show, so it composes as opaque whatever the layer says.
    const bool opaque = isOpaque() || colorStorage() == EAGLColorStorage::RGB565;
    const cairo_format_t format = opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32;
    CGImageRef image = reusable(contents(), width, height, format) ? contents() : nullptr;
    if (!image) {
        cairo_surface_t* surface = cairo_image_surface_create(format, width, height);
        if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(surface);
            setContents(nullptr);
            return;
        }
        image = CGImageCreateWithCairoSurface(surface);
    }
    writeFrame(CGImageGetCairoSurface(*image), bottomUp, width, height, order, opaque);
    setContents(std::move(image));
}
