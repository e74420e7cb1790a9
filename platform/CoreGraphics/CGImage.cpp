#include "CGImage.h"

#include <jpeglib.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdint>
#include <cstring>

#include "CGBackend.h"
#include "Foundation/NSData.h"

CGImage::CGImage(CGBackendSurface* surface)
    : surface_(surface), inked_(CGRectMake(0, 0, width(), height())) {}

CGImage::~CGImage() { cairo_surface_destroy(asCairo(surface_)); }

std::shared_ptr<CGImage> CGImage::create(int width, int height) {
    cairo_surface_t* s =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(width, 0), std::max(height, 0));
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    return CGImageCreateWithCairoSurface(s);
}

namespace {

struct PngReader {
    std::span<const uint8_t> data;
    size_t offset = 0;
};

cairo_status_t readPng(void* closure, unsigned char* out, unsigned int length) {
    auto* r = static_cast<PngReader*>(closure);
    if (r->data.size() - r->offset < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, r->data.data() + r->offset, length);
    r->offset += length;
    return CAIRO_STATUS_SUCCESS;
}

// cairo's own limit on either side.
constexpr std::uint32_t kMaxDecodedSide = 32767;

bool decodableSize(std::uint64_t width, std::uint64_t height) {
    return width > 0 && height > 0 && width <= kMaxDecodedSide && height <= kMaxDecodedSide &&
           width * height <= CGImage::kMaxDecodedPixels;
}

std::uint32_t bigEndian32(const uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

CGRect inkedBounds(const CGImage& image) {
    const int w = image.width(), h = image.height();
    int left = w, right = -1, top = h, bottom = -1;
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(
            image.bytes() + static_cast<ptrdiff_t>(y) * image.bytesPerRow());
        for (int x = 0; x < w; ++x) {
            if ((row[x] >> 24) == 0) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) return CGRectMake(0, 0, 0, 0);
    return CGRectMake(left, top, right - left + 1, bottom - top + 1);
}

std::shared_ptr<CGImage> decodePng(std::span<const uint8_t> data) {
    // Signature, then the IHDR chunk: length, type, width, height.
    static constexpr uint8_t ihdr[] = {'I', 'H', 'D', 'R'};
    if (data.size() < 24 || !std::equal(std::begin(ihdr), std::end(ihdr), data.begin() + 12) ||
        !decodableSize(bigEndian32(&data[16]), bigEndian32(&data[20]))) {
        return nullptr;
    }
    PngReader reader{data};
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(readPng, &reader);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    if (cairo_image_surface_get_format(s) != CAIRO_FORMAT_ARGB32) {
        // RGB24 and friends: normalise so every image has the same pixel layout.
        const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
        cairo_surface_t* argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        if (cairo_surface_status(argb) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(argb);
            cairo_surface_destroy(s);
            return nullptr;
        }
        cairo_t* cr = cairo_create(argb);
        cairo_set_source_surface(cr, s, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(s);
        s = argb;
    }
    return CGImageCreateWithCairoSurface(s);
}

// Everything a JPEG decode holds, owned by the caller's frame: libjpeg reports errors by
// longjmp, which skips destructors, so what the decode allocates lives here (or in libjpeg's own
// pools) and is released after the jump as after success.
struct JpegDecode {
    jpeg_decompress_struct info{};
    jpeg_error_mgr mgr{};
    std::jmp_buf jump{};
    bool created = false;
    cairo_surface_t* surface = nullptr;
};

void jpegFail(j_common_ptr info) {
    std::longjmp(static_cast<JpegDecode*>(info->client_data)->jump, 1);
}

void jpegSilence(j_common_ptr, int) {}

// No object with a destructor may live in this frame: see JpegDecode.
bool decodeJpegInto(std::span<const uint8_t> data, JpegDecode& d) {
    if (setjmp(d.jump)) return false;
    jpeg_create_decompress(&d.info);
    d.created = true;
    jpeg_mem_src(&d.info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&d.info, TRUE);
    if (!decodableSize(d.info.image_width, d.info.image_height)) return false;
    d.info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d.info);
    const int w = static_cast<int>(d.info.output_width);
    const int h = static_cast<int>(d.info.output_height);
    if (!decodableSize(d.info.output_width, d.info.output_height)) return false;
    d.surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    if (cairo_surface_status(d.surface) != CAIRO_STATUS_SUCCESS) return false;
    unsigned char* base = cairo_image_surface_get_data(d.surface);
    const int stride = cairo_image_surface_get_stride(d.surface);
    // From the decode's own pool, which jpeg_destroy_decompress frees after a jump too.
    JSAMPARRAY rows = (*d.info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&d.info),
                                                  JPOOL_IMAGE, static_cast<JDIMENSION>(w) * 3, 1);
    while (d.info.output_scanline < d.info.output_height) {
        const int y = static_cast<int>(d.info.output_scanline);
        if (jpeg_read_scanlines(&d.info, rows, 1) != 1) return false;
        const unsigned char* row = rows[0];
        auto* out = reinterpret_cast<uint32_t*>(base + static_cast<ptrdiff_t>(y) * stride);
        for (int x = 0; x < w; ++x) {
            out[x] = 0xff000000u | uint32_t(row[x * 3]) << 16 | uint32_t(row[x * 3 + 1]) << 8 |
                     row[x * 3 + 2];
        }
    }
    cairo_surface_mark_dirty(d.surface);
    jpeg_finish_decompress(&d.info);
    return true;
}

std::shared_ptr<CGImage> decodeJpeg(std::span<const uint8_t> data) {
    JpegDecode d;
    d.info.err = jpeg_std_error(&d.mgr);
    d.info.client_data = &d;
    d.mgr.error_exit = jpegFail;
    d.mgr.emit_message = jpegSilence;
    const bool decoded = decodeJpegInto(data, d);
    if (d.created) jpeg_destroy_decompress(&d.info);
    if (!decoded) {
        if (d.surface) cairo_surface_destroy(d.surface);
        return nullptr;
    }
    return CGImageCreateWithCairoSurface(d.surface);
}

}  // namespace

std::shared_ptr<CGImage> CGImage::createWithData(std::span<const uint8_t> data) {
    static constexpr uint8_t pngMagic[] = {0x89, 'P', 'N', 'G'};
    if (data.size() > 8 && std::equal(std::begin(pngMagic), std::end(pngMagic), data.begin())) {
        auto image = decodePng(data);
        // Pictures such as map pins are mostly transparent margin: the compositor skips it.
        if (image) image->inked_ = inkedBounds(*image);
        return image;
    }
    if (data.size() > 3 && data[0] == 0xff && data[1] == 0xd8) return decodeJpeg(data);
    return nullptr;
}

std::shared_ptr<CGImage> CGImage::createWithContentsOfFile(const std::string& path) {
    // A directory or unreadable file is no image; a stream read would throw on it instead.
    const auto bytes = NSDataWithContentsOfFile(path);
    if (!bytes) return nullptr;
    return createWithData(*bytes);
}

std::shared_ptr<CGImage> CGImage::createWithRGBA(const uint8_t* rgba, int width, int height,
                                                 int bytesPerRow, bool bottomUp) {
    auto image = create(width, height);
    if (!image || !rgba) return nullptr;
    cairo_surface_t* const surface = CGImageGetCairoSurface(*image);
    cairo_surface_flush(surface);
    unsigned char* base = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        const uint8_t* in =
            rgba + static_cast<ptrdiff_t>(bottomUp ? height - 1 - y : y) * bytesPerRow;
        auto* out = reinterpret_cast<uint32_t*>(base + static_cast<ptrdiff_t>(y) * stride);
        for (int x = 0; x < width; ++x) {
            const uint32_t a = in[x * 4 + 3];
            auto pm = [a](uint32_t c) { return (c * a + 127) / 255; };
            out[x] = a << 24 | pm(in[x * 4]) << 16 | pm(in[x * 4 + 1]) << 8 | pm(in[x * 4 + 2]);
        }
    }
    cairo_surface_mark_dirty(surface);
    return image;
}

std::shared_ptr<CGImage> CGImage::createOpaqueWithBottomUpRows(const uint8_t* pixels, int width,
                                                               int height, bool bgra) {
    if (!pixels || width <= 0 || height <= 0) return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    unsigned char* base = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    // BGRA bytes are the surface's own words on a little-endian machine: rows copy as they are.
    const bool native = bgra && std::endian::native == std::endian::little;
    const int r = bgra ? 2 : 0;
    const int b = 2 - r;
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = pixels + static_cast<size_t>(height - 1 - y) * rowBytes;
        unsigned char* out = base + static_cast<ptrdiff_t>(y) * stride;
        if (native) {
            std::memcpy(out, in, rowBytes);
            continue;
        }
        auto* words = reinterpret_cast<uint32_t*>(out);
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = in + x * 4;
            words[x] = 0xFFu << 24 | uint32_t{p[r]} << 16 | uint32_t{p[1]} << 8 | p[b];
        }
    }
    cairo_surface_mark_dirty(surface);
    return CGImageCreateWithCairoSurface(surface);
}

int CGImage::width() const { return cairo_image_surface_get_width(asCairo(surface_)); }
int CGImage::height() const { return cairo_image_surface_get_height(asCairo(surface_)); }
bool CGImage::isMask() const {
    return cairo_image_surface_get_format(asCairo(surface_)) == CAIRO_FORMAT_A8;
}

const unsigned char* CGImage::bytes() const {
    cairo_surface_flush(asCairo(surface_));
    return cairo_image_surface_get_data(asCairo(surface_));
}
int CGImage::bytesPerRow() const { return cairo_image_surface_get_stride(asCairo(surface_)); }

CGColor CGImage::pixelAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= width() || y >= height()) return {};
    cairo_surface_t* const surface = asCairo(surface_);
    cairo_surface_flush(surface);
    const unsigned char* row = cairo_image_surface_get_data(surface) +
                               static_cast<ptrdiff_t>(y) * cairo_image_surface_get_stride(surface);
    if (isMask()) return {0, 0, 0, row[x] / 255.0};
    const uint32_t p = reinterpret_cast<const uint32_t*>(row)[x];
    // An opaque image leaves its top byte undefined.
    const bool opaque = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_RGB24;
    const double a = opaque ? 1.0 : (p >> 24) / 255.0;
    if (a == 0) return {};
    auto ch = [a](uint32_t v) { return std::min(1.0, (v & 0xff) / 255.0 / a); };
    return {ch(p >> 16), ch(p >> 8), ch(p), a};
}

bool CGImage::writePNG(const std::string& path) const {
    return cairo_surface_write_to_png(asCairo(surface_), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

namespace {
cairo_status_t appendPngBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* png = static_cast<NSData*>(closure);
    png->insert(png->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}
}  // namespace

NSData CGImage::pngData() const {
    NSData png;
    if (cairo_surface_write_to_png_stream(asCairo(surface_), appendPngBytes, &png) !=
        CAIRO_STATUS_SUCCESS) {
        return {};
    }
    return png;
}

CGImageRef CGImageCreateWithImageInRect(const CGImageRef& image, CGRect rect) {
    if (!image) return nullptr;
    const CGRect r =
        CGRectIntersection(CGRectIntegral(rect), CGRectMake(0, 0, image->width(), image->height()));
    if (CGRectIsEmpty(r)) return nullptr;
    // Images never change once made, so the whole of one is the image itself.
    if (r.size.width == image->width() && r.size.height == image->height()) return image;
    auto part = CGImage::create(static_cast<int>(r.size.width), static_cast<int>(r.size.height));
    if (!part) return nullptr;
    cairo_t* cr = cairo_create(CGImageGetCairoSurface(*part));
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, CGImageGetCairoSurface(*image), -r.origin.x, -r.origin.y);
    cairo_paint(cr);
    cairo_destroy(cr);
    return part;
}
