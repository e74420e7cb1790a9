#include "CGImageDrawing.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "CGBackend.h"

void CGPaintImage(CGContextRef c, const CGImage& image, CGRect dest, CGFloat alpha) {
    if (image.width() == 0 || image.height() == 0 || dest.size.width <= 0 ||
        dest.size.height <= 0) {
        return;
    }
    const CGRect ink = image.inkedRect();
    if (ink.size.width <= 0 || ink.size.height <= 0) return;
    cairo_t* cr = CGContextGetCairo(c);
    cairo_save(cr);
    cairo_translate(cr, dest.origin.x, dest.origin.y);
    cairo_scale(cr, dest.size.width / image.width(), dest.size.height / image.height());
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    // One image pixel on one whole device pixel: a plain copy of the inked part, the
    // compositor's fastest way, with nothing to pad. Views' pictures mostly land so.
    const auto whole = [](double v) { return std::abs(v - std::round(v)) < 1e-6; };
    if (m.xy == 0 && m.yx == 0 && std::abs(m.xx - 1) < 1e-9 && std::abs(m.yy - 1) < 1e-9 &&
        whole(m.x0) && whole(m.y0)) {
        cairo_identity_matrix(cr);
        const double x = std::round(m.x0), y = std::round(m.y0);
        cairo_set_source_surface(cr, CGImageGetCairoSurface(image), x, y);
        cairo_new_path(cr);
        cairo_rectangle(cr, x + ink.origin.x, y + ink.origin.y, ink.size.width, ink.size.height);
        cairo_clip(cr);
        cairo_paint_with_alpha(cr, alpha);
        cairo_restore(cr);
        c->didDraw();
        return;
    }
    // A device pixel takes ink when its filter, a box as wide as the pixel's footprint in the
    // picture but never under one picture pixel, reaches some; the clip must then hold all of that
    // footprint. So along each picture axis the ink widens by half of each, which a squeeze after
    // a turn or a shear makes far longer than the transform's own scales. Whole pixels keep the
    // clip on device pixels for plain scales.
    cairo_matrix_t back = m;
    if (cairo_matrix_invert(&back) != CAIRO_STATUS_SUCCESS) {
        cairo_restore(cr);
        return;
    }
    const auto reach = [](double a, double b) {
        return std::ceil((std::max(1.0, std::hypot(a, b)) + std::abs(a) + std::abs(b)) / 2);
    };
    const double reachX = reach(back.xx, back.xy), reachY = reach(back.yx, back.yy);
    const double left = std::max(0.0, ink.origin.x - reachX);
    const double top = std::max(0.0, ink.origin.y - reachY);
    const double right = std::min<double>(image.width(), ink.origin.x + ink.size.width + reachX);
    const double bottom = std::min<double>(image.height(), ink.origin.y + ink.size.height + reachY);
    cairo_new_path(cr);
    cairo_rectangle(cr, left, top, right - left, bottom - top);
    cairo_clip(cr);
    cairo_pattern_t* p = cairo_pattern_create_for_surface(CGImageGetCairoSurface(image));
    // Edge pixels extend instead of fading into transparency when scaled.
    cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
    cairo_set_source(cr, p);
    cairo_paint_with_alpha(cr, alpha);
    cairo_pattern_destroy(p);
    cairo_restore(cr);
    c->didDraw();
}

namespace {
void paintPart(cairo_t* cr, const CGImage& image, CGRect src, CGRect dst, CGFloat alpha) {
    if (src.size.width <= 0 || src.size.height <= 0 || dst.size.width <= 0 ||
        dst.size.height <= 0) {
        return;
    }
    cairo_save(cr);
    cairo_rectangle(cr, dst.origin.x, dst.origin.y, dst.size.width, dst.size.height);
    cairo_clip(cr);
    cairo_translate(cr, dst.origin.x, dst.origin.y);
    cairo_scale(cr, dst.size.width / src.size.width, dst.size.height / src.size.height);
    // Sampling stays inside the part, so a stretched middle does not pick up its caps' colour.
    cairo_surface_t* part = cairo_surface_create_for_rectangle(
        CGImageGetCairoSurface(image), src.origin.x, src.origin.y, src.size.width, src.size.height);
    cairo_pattern_t* p = cairo_pattern_create_for_surface(part);
    cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
    cairo_set_source(cr, p);
    cairo_paint_with_alpha(cr, alpha);
    cairo_pattern_destroy(p);
    cairo_surface_destroy(part);
    cairo_restore(cr);
}
}  // namespace

void CGPaintImageNineGrid(CGContextRef c, const CGImage& image, CGRect dest, CGEdgeInsetsPx caps,
                          CGFloat pointsPerPixel, CGFloat alpha) {
    const CGFloat iw = image.width(), ih = image.height();
    caps.left = std::clamp(caps.left, 0.0, iw);
    caps.right = std::clamp(caps.right, 0.0, iw - caps.left);
    caps.top = std::clamp(caps.top, 0.0, ih);
    caps.bottom = std::clamp(caps.bottom, 0.0, ih - caps.top);
    // Caps never overlap when the destination is smaller than they are: shrink them evenly.
    CGFloat l = caps.left * pointsPerPixel, r = caps.right * pointsPerPixel;
    CGFloat t = caps.top * pointsPerPixel, b = caps.bottom * pointsPerPixel;
    if (l + r > dest.size.width && l + r > 0) {
        const CGFloat k = dest.size.width / (l + r);
        l *= k;
        r *= k;
    }
    if (t + b > dest.size.height && t + b > 0) {
        const CGFloat k = dest.size.height / (t + b);
        t *= k;
        b *= k;
    }
    const CGFloat sx[] = {0, caps.left, iw - caps.right, iw};
    const CGFloat sy[] = {0, caps.top, ih - caps.bottom, ih};
    const CGFloat dx[] = {dest.origin.x, dest.origin.x + l, dest.origin.x + dest.size.width - r,
                          dest.origin.x + dest.size.width};
    const CGFloat dy[] = {dest.origin.y, dest.origin.y + t, dest.origin.y + dest.size.height - b,
                          dest.origin.y + dest.size.height};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            paintPart(CGContextGetCairo(c), image,
                      CGRectMake(sx[col], sy[row], sx[col + 1] - sx[col], sy[row + 1] - sy[row]),
                      CGRectMake(dx[col], dy[row], dx[col + 1] - dx[col], dy[row + 1] - dy[row]),
                      alpha);
        }
    }
    c->didDraw();
}

namespace {
// Three box blurs in each direction come close to a Gaussian.
void boxBlur(unsigned char* data, int w, int h, int stride, int radius) {
    if (radius <= 0) return;
    std::vector<int> line(static_cast<size_t>(std::max(w, h)));
    const int span = 2 * radius + 1;
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y) {
            unsigned char* row = data + static_cast<ptrdiff_t>(y) * stride;
            int sum = 0;
            for (int x = -radius; x <= radius; ++x) sum += row[std::clamp(x, 0, w - 1)];
            for (int x = 0; x < w; ++x) {
                line[static_cast<size_t>(x)] = sum / span;
                sum += row[std::min(x + radius + 1, w - 1)] - row[std::max(x - radius, 0)];
            }
            for (int x = 0; x < w; ++x)
                row[x] = static_cast<unsigned char>(line[static_cast<size_t>(x)]);
        }
        for (int x = 0; x < w; ++x) {
            auto at = [&](int y) -> unsigned char& {
                return data[static_cast<ptrdiff_t>(y) * stride + x];
            };
            int sum = 0;
            for (int y = -radius; y <= radius; ++y) sum += at(std::clamp(y, 0, h - 1));
            for (int y = 0; y < h; ++y) {
                line[static_cast<size_t>(y)] = sum / span;
                sum += at(std::min(y + radius + 1, h - 1)) - at(std::max(y - radius, 0));
            }
            for (int y = 0; y < h; ++y)
                at(y) = static_cast<unsigned char>(line[static_cast<size_t>(y)]);
        }
    }
}
}  // namespace

CGImageRef CGImageCreateBlurredMask(int width, int height, CGFloat radius,
                                    const std::function<void(CGContextRef)>& draw, CGFloat scale) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
    if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(mask);
        return nullptr;
    }
    {
        CGContext ctx(asBackend(mask), true, scale);
        draw(&ctx);
    }
    boxBlur(cairo_image_surface_get_data(mask), width, height, cairo_image_surface_get_stride(mask),
            static_cast<int>(std::lround(radius * scale / 2)));
    cairo_surface_mark_dirty(mask);
    return CGImageCreateWithCairoSurface(mask);
}

void CGContextFillThroughMask(CGContextRef c, const CGImageRef& mask, CGPoint origin,
                              CGColor colour, CGFloat scale) {
    if (!mask || !(scale > 0)) return;
    cairo_t* cr = CGContextGetCairo(c);
    cairo_save(cr);
    cairo_set_source_rgba(cr, colour.r, colour.g, colour.b, colour.a);
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    if (m.xx == scale && m.yy == scale && m.xy == 0 && m.yx == 0) {
        // A resampled mask is the slow way through the compositor, every frame.
        double x = origin.x, y = origin.y;
        cairo_user_to_device(cr, &x, &y);
        cairo_identity_matrix(cr);
        cairo_mask_surface(cr, CGImageGetCairoSurface(*mask), std::round(x), std::round(y));
    } else {
        cairo_scale(cr, 1 / scale, 1 / scale);
        cairo_mask_surface(cr, CGImageGetCairoSurface(*mask), origin.x * scale, origin.y * scale);
    }
    cairo_restore(cr);
    c->didDraw();
}
