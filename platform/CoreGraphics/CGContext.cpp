#include "CGContext.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "CGBackend.h"

CGGradientRef CGGradientCreateWithColorComponents(CGColorSpaceRef, const CGFloat* components,
                                                  const CGFloat* locations, size_t count) {
    auto g = std::make_shared<CGGradient>();
    for (size_t i = 0; i < count; ++i) {
        const CGFloat loc = locations ? locations[i] : (count > 1 ? CGFloat(i) / (count - 1) : 0);
        const CGFloat* c = components + i * 4;
        g->stops.push_back({loc, {c[0], c[1], c[2], c[3]}});
    }
    return g;
}

CGGradientRef CGGradientCreateWithColors(const std::vector<CGColor>& colors,
                                         const CGFloat* locations) {
    auto g = std::make_shared<CGGradient>();
    const size_t n = colors.size();
    for (size_t i = 0; i < n; ++i) {
        const CGFloat loc = locations ? locations[i] : (n > 1 ? CGFloat(i) / (n - 1) : 0);
        g->stops.push_back({loc, colors[i]});
    }
    return g;
}

CGContext::CGContext(CGBackendSurface* surface, bool topLeftOrigin, CGFloat scale)
    : surface_(asBackend(cairo_surface_reference(asCairo(surface)))),
      cr_(asBackend(cairo_create(asCairo(surface)))),
      scale_(scale) {
    cairo_t* const cr = asCairo(cr_);
    height_ = cairo_image_surface_get_height(asCairo(surface)) / scale;
    cairo_scale(cr, scale, scale);
    if (!topLeftOrigin) {
        cairo_translate(cr, 0, height_);
        cairo_scale(cr, 1, -1);
    }
}

CGContext::CGContext(const CGImage& image, CGFloat scale)
    : CGContext(image.surface(), true, scale) {}

CGContext::~CGContext() {
    cairo_t* const cr = asCairo(cr_);
    cairo_surface_t* const surface = asCairo(surface_);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
}

void* CGContext::bitmapData() const {
    return mirror_ ? static_cast<void*>(mirror_) : cairo_image_surface_get_data(asCairo(surface_));
}

void CGContext::setMirror(unsigned char* bytes, size_t bytesPerRow, ByteLayout layout) {
    cairo_surface_t* const surface = asCairo(surface_);
    mirror_ = bytes;
    mirrorStride_ = bytesPerRow;
    layout_ = layout;
    cairo_surface_flush(surface);
    unsigned char* base = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const int w = cairo_image_surface_get_width(surface),
              h = cairo_image_surface_get_height(surface);
    for (int y = 0; y < h; ++y) {
        const unsigned char* in = bytes + static_cast<size_t>(y) * bytesPerRow;
        auto* out = reinterpret_cast<uint32_t*>(base + static_cast<ptrdiff_t>(y) * stride);
        for (int x = 0; x < w; ++x, in += 4) {
            const uint32_t a = layout.opaque ? 255 : in[layout.a];
            out[x] =
                a << 24 | uint32_t(in[layout.r]) << 16 | uint32_t(in[layout.g]) << 8 | in[layout.b];
        }
    }
    cairo_surface_mark_dirty(surface);
}

void CGContext::didDraw() {
    if (!mirror_) return;
    cairo_surface_t* const surface = asCairo(surface_);
    cairo_surface_flush(surface);
    const unsigned char* base = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const int w = cairo_image_surface_get_width(surface),
              h = cairo_image_surface_get_height(surface);
    for (int y = 0; y < h; ++y) {
        const auto* in =
            reinterpret_cast<const uint32_t*>(base + static_cast<ptrdiff_t>(y) * stride);
        unsigned char* out = mirror_ + static_cast<size_t>(y) * mirrorStride_;
        for (int x = 0; x < w; ++x, out += 4) {
            const uint32_t p = in[x];
            out[layout_.a] = layout_.opaque ? 255 : static_cast<unsigned char>(p >> 24);
            out[layout_.r] = static_cast<unsigned char>(p >> 16);
            out[layout_.g] = static_cast<unsigned char>(p >> 8);
            out[layout_.b] = static_cast<unsigned char>(p);
        }
    }
}

void CGContext::save() {
    cairo_save(asCairo(cr_));
    states_.push_back(states_.back());
}

void CGContext::restore() {
    if (states_.size() == 1) return;
    cairo_restore(asCairo(cr_));
    states_.pop_back();
}

void CGContext::applyBlend() {
    cairo_t* const cr = asCairo(cr_);
    switch (state().blend) {
        case kCGBlendModeNormal:
            cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
            break;
        case kCGBlendModeMultiply:
            cairo_set_operator(cr, CAIRO_OPERATOR_MULTIPLY);
            break;
        case kCGBlendModeClear:
            cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
            break;
        case kCGBlendModeCopy:
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            break;
        case kCGBlendModeSourceIn:
            cairo_set_operator(cr, CAIRO_OPERATOR_IN);
            break;
        case kCGBlendModeDestinationIn:
            cairo_set_operator(cr, CAIRO_OPERATOR_DEST_IN);
            break;
    }
}

template <class Op>
void CGContext::withMask(Op op) {
    cairo_t* const cr = asCairo(cr_);
    const State& s = state();
    if (!s.mask) {
        applyBlend();
        op();
        return;
    }
    cairo_push_group(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    op();
    cairo_pop_group_to_source(cr);
    cairo_save(cr);
    const cairo_matrix_t maskMatrix = CGCairoMatrix(s.maskMatrix);
    cairo_set_matrix(cr, &maskMatrix);
    // Mask images follow the y-up rule of CGContextDrawImage.
    cairo_translate(cr, s.maskRect.origin.x, s.maskRect.origin.y + s.maskRect.size.height);
    cairo_scale(cr, s.maskRect.size.width / s.mask->width(),
                -s.maskRect.size.height / s.mask->height());
    applyBlend();
    cairo_pattern_t* mask = cairo_pattern_create_for_surface(CGImageGetCairoSurface(*s.mask));
    cairo_pattern_set_extend(mask, CAIRO_EXTEND_PAD);
    cairo_mask(cr, mask);
    cairo_pattern_destroy(mask);
    cairo_restore(cr);
}

void CGContext::fillCurrentPath(bool evenOdd, bool preserve) {
    cairo_t* const cr = asCairo(cr_);
    cairo_path_t* path = cairo_copy_path(cr);
    cairo_new_path(cr);
    const CGColor f = state().fill;
    const CGFloat alpha = state().alpha;
    withMask([&] {
        cairo_append_path(cr, path);
        cairo_set_fill_rule(cr, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        cairo_set_source_rgba(cr, f.r, f.g, f.b, f.a * alpha);
        cairo_fill(cr);
    });
    if (preserve) cairo_append_path(cr, path);
    cairo_path_destroy(path);
    didDraw();
}

void CGContext::strokeCurrentPath(bool preserve) {
    cairo_t* const cr = asCairo(cr_);
    cairo_path_t* path = cairo_copy_path(cr);
    cairo_new_path(cr);
    const CGColor s = state().stroke;
    const CGFloat alpha = state().alpha;
    withMask([&] {
        cairo_append_path(cr, path);
        cairo_set_source_rgba(cr, s.r, s.g, s.b, s.a * alpha);
        cairo_stroke(cr);
    });
    if (preserve) cairo_append_path(cr, path);
    cairo_path_destroy(path);
    didDraw();
}

void CGContext::paintSource(CGBackendPattern* pattern) {
    cairo_t* const cr = asCairo(cr_);
    const CGFloat alpha = state().alpha;
    withMask([&] {
        cairo_set_source(cr, asCairo(pattern));
        cairo_paint_with_alpha(cr, alpha);
    });
    didDraw();
}

void CGContext::beginTransparencyLayer() {
    ++openLayers_;
    save();
    cairo_push_group(asCairo(cr_));
    State& inside = state();
    inside.alpha = 1;
    inside.blend = kCGBlendModeNormal;
    inside.mask = nullptr;
}

CGTransparencyLayerPicture::~CGTransparencyLayerPicture() { clear(); }

void CGTransparencyLayerPicture::clear() {
    if (pattern_) cairo_pattern_destroy(asCairo(pattern_));
    pattern_ = nullptr;
}

bool CGTransparencyLayerPicture::Situation::operator==(const Situation& o) const {
    return ctm == o.ctm && clip == o.clip && targetX == o.targetX && targetY == o.targetY &&
           targetWidth == o.targetWidth && targetHeight == o.targetHeight && fill == o.fill &&
           stroke == o.stroke && textMode == o.textMode && lineWidth == o.lineWidth &&
           lineCap == o.lineCap && lineJoin == o.lineJoin && antialias == o.antialias;
}

std::optional<CGTransparencyLayerPicture::Situation> CGContext::situation() const {
    cairo_t* const cr = asCairo(cr_);
    if (cairo_get_dash_count(cr) != 0) return std::nullopt;
    cairo_surface_t* target = cairo_get_group_target(cr);
    if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE) return std::nullopt;
    cairo_rectangle_list_t* rects = cairo_copy_clip_rectangle_list(cr);
    const bool representable = rects->status == CAIRO_STATUS_SUCCESS;
    CGTransparencyLayerPicture::Situation s;
    if (representable) {
        for (int i = 0; i < rects->num_rectangles; ++i) {
            const cairo_rectangle_t& r = rects->rectangles[i];
            s.clip.push_back(CGRectMake(r.x, r.y, r.width, r.height));
        }
    }
    cairo_rectangle_list_destroy(rects);
    if (!representable) return std::nullopt;
    cairo_matrix_t ctm;
    cairo_get_matrix(cr, &ctm);
    s.ctm = CGAffineTransformFromCairo(ctm);
    cairo_surface_get_device_offset(target, &s.targetX, &s.targetY);
    s.targetWidth = cairo_image_surface_get_width(target);
    s.targetHeight = cairo_image_surface_get_height(target);
    const State& st = states_.back();
    s.fill = st.fill;
    s.stroke = st.stroke;
    s.textMode = st.textMode;
    s.lineWidth = cairo_get_line_width(cr);
    s.lineCap = cairo_get_line_cap(cr);
    s.lineJoin = cairo_get_line_join(cr);
    s.antialias = cairo_get_antialias(cr);
    return s;
}

bool CGContext::drawTransparencyLayerPicture(const CGTransparencyLayerPicture& picture,
                                             uint64_t stamp) {
    if (!picture.pattern_ || picture.stamp_ != stamp) return false;
    const auto now = situation();
    if (!now || !(*now == picture.situation_)) return false;
    paintSource(picture.pattern_);
    return true;
}

void CGContext::endTransparencyLayer(const std::function<void()>& drawMask,
                                     CGTransparencyLayerPicture* keep, uint64_t stamp) {
    cairo_t* const cr = asCairo(cr_);
    if (openLayers_ == 0) return;
    --openLayers_;
    cairo_pattern_t* layer = cairo_pop_group(cr);
    if (drawMask) {
        cairo_push_group(cr);
        drawMask();
        cairo_pattern_t* mask = cairo_pop_group(cr);
        cairo_push_group(cr);
        cairo_set_source(cr, layer);
        cairo_mask(cr, mask);
        cairo_pattern_destroy(mask);
        cairo_pattern_destroy(layer);
        layer = cairo_pop_group(cr);
    }
    restore();
    paintSource(asBackend(layer));
    if (keep) {
        keep->clear();
        // Kept only where the same situation can be recognised again.
        if (auto now = situation()) {
            keep->pattern_ = asBackend(cairo_pattern_reference(layer));
            keep->situation_ = std::move(*now);
            keep->stamp_ = stamp;
        }
    }
    cairo_pattern_destroy(layer);
}

std::unique_ptr<CGContext> CGBitmapContextCreate(void* data, size_t width, size_t height, size_t,
                                                 size_t bytesPerRow, CGColorSpaceRef,
                                                 uint32_t bitmapInfo) {
    const uint32_t alphaInfo = bitmapInfo & 0x1f;
    const uint32_t order = bitmapInfo & 0x7000;
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    if (w <= 0 || h <= 0) return nullptr;
    const bool first =
        alphaInfo == kCGImageAlphaPremultipliedFirst || alphaInfo == kCGImageAlphaNoneSkipFirst;
    const bool last =
        alphaInfo == kCGImageAlphaPremultipliedLast || alphaInfo == kCGImageAlphaNoneSkipLast;
    if (alphaInfo != kCGImageAlphaOnly && !first && !last) {
        std::fprintf(stderr, "CGBitmapContextCreate: unsupported bitmap layout %u\n", bitmapInfo);
        return nullptr;
    }
    const cairo_format_t format =
        alphaInfo == kCGImageAlphaOnly ? CAIRO_FORMAT_A8 : CAIRO_FORMAT_ARGB32;
    // Cairo's own layouts: alpha bytes, and a native 32-bit word with alpha first (BGRA bytes).
    const bool native = format == CAIRO_FORMAT_A8 || (first && order == kCGBitmapByteOrder32Little);
    const int stride = cairo_format_stride_for_width(format, w);
    const size_t minRow = static_cast<size_t>(w) * (format == CAIRO_FORMAT_A8 ? 1 : 4);
    if (data && bytesPerRow < minRow) {
        std::fprintf(stderr, "CGBitmapContextCreate: row length %zu is too short\n", bytesPerRow);
        return nullptr;
    }
    cairo_surface_t* surface;
    if (native && data && static_cast<int>(bytesPerRow) == stride) {
        surface = cairo_image_surface_create_for_data(static_cast<unsigned char*>(data), format, w,
                                                      h, stride);
    } else if (native && data) {
        std::fprintf(stderr, "CGBitmapContextCreate: row length %zu is not addressable\n",
                     bytesPerRow);
        return nullptr;
    } else {
        surface = cairo_image_surface_create(format, w, h);
    }
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    auto ctx = std::make_unique<CGContext>(asBackend(surface), false, 1.0);
    cairo_surface_destroy(surface);
    if (!native) {
        CGContext::ByteLayout layout{};
        const bool opaque =
            alphaInfo == kCGImageAlphaNoneSkipFirst || alphaInfo == kCGImageAlphaNoneSkipLast;
        if (order == kCGBitmapByteOrder32Little) {
            layout = {0, 3, 2, 1, opaque};  // alpha last in a little-endian word: A B G R bytes
        } else if (first) {
            layout = {0, 1, 2, 3, opaque};  // A R G B bytes
        } else {
            layout = {3, 0, 1, 2, opaque};  // R G B A bytes
        }
        if (!data) {
            ctx->ownBuffer(static_cast<size_t>(w) * 4 * static_cast<size_t>(h));
            ctx->setMirror(ctx->ownedBuffer(), static_cast<size_t>(w) * 4, layout);
        } else {
            ctx->setMirror(static_cast<unsigned char*>(data), bytesPerRow, layout);
        }
    }
    return ctx;
}

void* CGBitmapContextGetData(CGContextRef c) {
    cairo_surface_flush(CGContextGetCairoSurface(c));
    return c->bitmapData();
}
size_t CGBitmapContextGetWidth(CGContextRef c) {
    return static_cast<size_t>(cairo_image_surface_get_width(CGContextGetCairoSurface(c)));
}
size_t CGBitmapContextGetHeight(CGContextRef c) {
    return static_cast<size_t>(cairo_image_surface_get_height(CGContextGetCairoSurface(c)));
}

CGImageRef CGBitmapContextCreateImage(CGContextRef c) {
    cairo_surface_t* src = CGContextGetCairoSurface(c);
    cairo_surface_flush(src);
    const cairo_format_t format = cairo_image_surface_get_format(src);
    const int w = cairo_image_surface_get_width(src), h = cairo_image_surface_get_height(src);
    cairo_surface_t* copy = cairo_image_surface_create(format, w, h);
    const int stride = cairo_image_surface_get_stride(src);
    std::memcpy(cairo_image_surface_get_data(copy), cairo_image_surface_get_data(src),
                static_cast<size_t>(stride) * h);
    cairo_surface_mark_dirty(copy);
    return CGImageCreateWithCairoSurface(copy);
}

void CGContextSaveGState(CGContextRef c) { c->save(); }
void CGContextRestoreGState(CGContextRef c) { c->restore(); }
void CGContextSetRGBFillColor(CGContextRef c, CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
    c->state().fill = {r, g, b, a};
}
void CGContextSetRGBStrokeColor(CGContextRef c, CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
    c->state().stroke = {r, g, b, a};
}
void CGContextSetGrayFillColor(CGContextRef c, CGFloat gray, CGFloat a) {
    c->state().fill = {gray, gray, gray, a};
}
void CGContextSetGrayStrokeColor(CGContextRef c, CGFloat gray, CGFloat a) {
    c->state().stroke = {gray, gray, gray, a};
}
void CGContextSetFillColorWithColor(CGContextRef c, CGColor color) { c->state().fill = color; }
void CGContextSetStrokeColorWithColor(CGContextRef c, CGColor color) { c->state().stroke = color; }
void CGContextSetLineWidth(CGContextRef c, CGFloat width) {
    cairo_set_line_width(CGContextGetCairo(c), width);
}
void CGContextSetLineCap(CGContextRef c, CGLineCap cap) {
    static constexpr cairo_line_cap_t caps[] = {CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_ROUND,
                                                CAIRO_LINE_CAP_SQUARE};
    cairo_set_line_cap(CGContextGetCairo(c), caps[cap]);
}
void CGContextSetLineJoin(CGContextRef c, CGLineJoin join) {
    static constexpr cairo_line_join_t joins[] = {CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_ROUND,
                                                  CAIRO_LINE_JOIN_BEVEL};
    cairo_set_line_join(CGContextGetCairo(c), joins[join]);
}
void CGContextSetLineDash(CGContextRef c, CGFloat phase, const CGFloat* lengths, size_t count) {
    cairo_set_dash(CGContextGetCairo(c), lengths, static_cast<int>(count), phase);
}
void CGContextSetAlpha(CGContextRef c, CGFloat alpha) { c->state().alpha = alpha; }
void CGContextSetBlendMode(CGContextRef c, CGBlendMode mode) { c->state().blend = mode; }
void CGContextSetShouldAntialias(CGContextRef c, bool on) {
    cairo_set_antialias(CGContextGetCairo(c), on ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
}
void CGContextSetTextDrawingMode(CGContextRef c, CGTextDrawingMode mode) {
    c->state().textMode = mode;
}
void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty) {
    cairo_translate(CGContextGetCairo(c), tx, ty);
}
void CGContextScaleCTM(CGContextRef c, CGFloat sx, CGFloat sy) {
    cairo_scale(CGContextGetCairo(c), sx, sy);
}
void CGContextRotateCTM(CGContextRef c, CGFloat angle) {
    cairo_rotate(CGContextGetCairo(c), angle);
}
void CGContextConcatCTM(CGContextRef c, CGAffineTransform t) {
    const cairo_matrix_t m = CGCairoMatrix(t);
    cairo_transform(CGContextGetCairo(c), &m);
}
CGAffineTransform CGContextGetCTM(CGContextRef c) {
    cairo_matrix_t m;
    cairo_get_matrix(CGContextGetCairo(c), &m);
    return CGAffineTransformFromCairo(m);
}

void CGContextBeginPath(CGContextRef c) { cairo_new_path(CGContextGetCairo(c)); }
void CGContextMoveToPoint(CGContextRef c, CGFloat x, CGFloat y) {
    cairo_move_to(CGContextGetCairo(c), x, y);
}
void CGContextAddLineToPoint(CGContextRef c, CGFloat x, CGFloat y) {
    cairo_line_to(CGContextGetCairo(c), x, y);
}
void CGContextAddCurveToPoint(CGContextRef c, CGFloat c1x, CGFloat c1y, CGFloat c2x, CGFloat c2y,
                              CGFloat x, CGFloat y) {
    cairo_curve_to(CGContextGetCairo(c), c1x, c1y, c2x, c2y, x, y);
}
void CGContextAddQuadCurveToPoint(CGContextRef c, CGFloat cx, CGFloat cy, CGFloat x, CGFloat y) {
    cairo_t* cr = CGContextGetCairo(c);
    double x0 = 0, y0 = 0;
    cairo_get_current_point(cr, &x0, &y0);
    cairo_curve_to(cr, x0 + 2.0 / 3 * (cx - x0), y0 + 2.0 / 3 * (cy - y0), x + 2.0 / 3 * (cx - x),
                   y + 2.0 / 3 * (cy - y), x, y);
}
void CGContextAddArc(CGContextRef c, CGFloat x, CGFloat y, CGFloat radius, CGFloat start,
                     CGFloat end, int clockwise) {
    CGPath arc;
    arc.arc({x, y}, radius, start, end, clockwise != 0);
    cairo_t* cr = CGContextGetCairo(c);
    for (const auto& e : arc.elements()) {
        const CGPoint* p = e.points;
        if (e.kind == CGPath::Kind::Move) {
            if (cairo_has_current_point(cr)) {
                cairo_line_to(cr, p[0].x, p[0].y);
            } else {
                cairo_move_to(cr, p[0].x, p[0].y);
            }
        } else if (e.kind == CGPath::Kind::Curve) {
            cairo_curve_to(cr, p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y);
        }
    }
}
void CGContextAddRect(CGContextRef c, CGRect r) {
    cairo_rectangle(CGContextGetCairo(c), r.origin.x, r.origin.y, r.size.width, r.size.height);
}
void CGContextAddEllipseInRect(CGContextRef c, CGRect r) {
    CGPath p;
    p.addEllipse(r);
    CGPathReplay(p, CGContextGetCairo(c));
}
void CGContextAddPath(CGContextRef c, const CGPathRef& path) {
    if (path) CGPathReplay(*path, CGContextGetCairo(c));
}
void CGContextClosePath(CGContextRef c) { cairo_close_path(CGContextGetCairo(c)); }
void CGContextFillPath(CGContextRef c) { c->fillCurrentPath(false, false); }
void CGContextEOFillPath(CGContextRef c) { c->fillCurrentPath(true, false); }
void CGContextStrokePath(CGContextRef c) { c->strokeCurrentPath(false); }
void CGContextDrawPath(CGContextRef c, CGPathDrawingMode mode) {
    switch (mode) {
        case kCGPathFill:
            return c->fillCurrentPath(false, false);
        case kCGPathEOFill:
            return c->fillCurrentPath(true, false);
        case kCGPathStroke:
            return c->strokeCurrentPath(false);
        case kCGPathFillStroke:
            c->fillCurrentPath(false, true);
            return c->strokeCurrentPath(false);
        case kCGPathEOFillStroke:
            c->fillCurrentPath(true, true);
            return c->strokeCurrentPath(false);
    }
}
void CGContextFillRect(CGContextRef c, CGRect r) {
    cairo_new_path(CGContextGetCairo(c));
    CGContextAddRect(c, r);
    c->fillCurrentPath(false, false);
}
void CGContextStrokeRect(CGContextRef c, CGRect r) {
    cairo_new_path(CGContextGetCairo(c));
    CGContextAddRect(c, r);
    c->strokeCurrentPath(false);
}
void CGContextStrokeRectWithWidth(CGContextRef c, CGRect r, CGFloat width) {
    cairo_save(CGContextGetCairo(c));
    cairo_set_line_width(CGContextGetCairo(c), width);
    CGContextStrokeRect(c, r);
    cairo_restore(CGContextGetCairo(c));
}
void CGContextClearRect(CGContextRef c, CGRect r) {
    cairo_t* cr = CGContextGetCairo(c);
    cairo_save(cr);
    cairo_new_path(cr);
    CGContextAddRect(c, r);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_fill(cr);
    cairo_restore(cr);
    c->didDraw();
}
void CGContextFillEllipseInRect(CGContextRef c, CGRect r) {
    cairo_new_path(CGContextGetCairo(c));
    CGContextAddEllipseInRect(c, r);
    c->fillCurrentPath(false, false);
}
void CGContextStrokeEllipseInRect(CGContextRef c, CGRect r) {
    cairo_new_path(CGContextGetCairo(c));
    CGContextAddEllipseInRect(c, r);
    c->strokeCurrentPath(false);
}
void CGContextStrokeLineSegments(CGContextRef c, const CGPoint* points, size_t count) {
    cairo_new_path(CGContextGetCairo(c));
    for (size_t i = 0; i + 1 < count; i += 2) {
        cairo_move_to(CGContextGetCairo(c), points[i].x, points[i].y);
        cairo_line_to(CGContextGetCairo(c), points[i + 1].x, points[i + 1].y);
    }
    c->strokeCurrentPath(false);
}
void CGContextClip(CGContextRef c) {
    cairo_set_fill_rule(CGContextGetCairo(c), CAIRO_FILL_RULE_WINDING);
    cairo_clip(CGContextGetCairo(c));
    c->state().clipped = true;
}
void CGContextEOClip(CGContextRef c) {
    cairo_set_fill_rule(CGContextGetCairo(c), CAIRO_FILL_RULE_EVEN_ODD);
    cairo_clip(CGContextGetCairo(c));
    cairo_set_fill_rule(CGContextGetCairo(c), CAIRO_FILL_RULE_WINDING);
    c->state().clipped = true;
}
void CGContextClipToRect(CGContextRef c, CGRect r) {
    cairo_new_path(CGContextGetCairo(c));
    CGContextAddRect(c, r);
    cairo_clip(CGContextGetCairo(c));
    c->state().clipped = true;
}
void CGContextClipToMask(CGContextRef c, CGRect r, const CGImageRef& mask) {
    CGContextClipToRect(c, r);
    if (!mask) return;
    auto& s = c->state();
    s.mask = mask;
    s.maskRect = r;
    s.maskMatrix = CGContextGetCTM(c);
}
CGRect CGContextGetClipBoundingBox(CGContextRef c) {
    double x0, y0, x1, y1;
    cairo_clip_extents(CGContextGetCairo(c), &x0, &y0, &x1, &y1);
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

void CGContextBeginTransparencyLayer(CGContextRef c) { c->beginTransparencyLayer(); }
void CGContextEndTransparencyLayer(CGContextRef c) { c->endTransparencyLayer(nullptr); }
void CGContextEndTransparencyLayerKeeping(CGContextRef c, const std::function<void()>& drawMask,
                                          CGTransparencyLayerPicture& keep, uint64_t stamp) {
    c->endTransparencyLayer(drawMask, &keep, stamp);
}
bool CGContextDrawTransparencyLayerPicture(CGContextRef c,
                                           const CGTransparencyLayerPicture& picture,
                                           uint64_t stamp) {
    return c->drawTransparencyLayerPicture(picture, stamp);
}
void CGContextEndTransparencyLayerWithMask(CGContextRef c, const std::function<void()>& drawMask) {
    c->endTransparencyLayer(drawMask);
}

void CGContextDrawImage(CGContextRef c, CGRect r, const CGImageRef& image) {
    if (!image || image->width() == 0 || image->height() == 0) return;
    cairo_t* cr = CGContextGetCairo(c);
    cairo_save(cr);
    cairo_translate(cr, r.origin.x, r.origin.y + r.size.height);
    cairo_scale(cr, r.size.width / image->width(), -r.size.height / image->height());
    cairo_pattern_t* p = cairo_pattern_create_for_surface(CGImageGetCairoSurface(*image));
    cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
    cairo_new_path(cr);
    cairo_rectangle(cr, 0, 0, image->width(), image->height());
    cairo_clip(cr);
    CGContextPaintCairoPattern(c, p);
    cairo_pattern_destroy(p);
    cairo_restore(cr);
}

namespace {
void addStops(cairo_pattern_t* p, const CGGradient& g, uint32_t options) {
    for (const auto& s : g.stops) {
        cairo_pattern_add_color_stop_rgba(p, s.location, s.color.r, s.color.g, s.color.b,
                                          s.color.a);
    }
    // Cairo extends one way or the other for both ends; the platform's default draws neither.
    const bool extend =
        options & (kCGGradientDrawsBeforeStartLocation | kCGGradientDrawsAfterEndLocation);
    cairo_pattern_set_extend(p, extend ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
}
}  // namespace

void CGContextDrawLinearGradient(CGContextRef c, const CGGradientRef& g, CGPoint start, CGPoint end,
                                 uint32_t options) {
    if (!g) return;
    cairo_pattern_t* p = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
    addStops(p, *g, options);
    CGContextPaintCairoPattern(c, p);
    cairo_pattern_destroy(p);
}

void CGContextDrawRadialGradient(CGContextRef c, const CGGradientRef& g, CGPoint startCentre,
                                 CGFloat startRadius, CGPoint endCentre, CGFloat endRadius,
                                 uint32_t options) {
    if (!g) return;
    cairo_pattern_t* p = cairo_pattern_create_radial(startCentre.x, startCentre.y, startRadius,
                                                     endCentre.x, endCentre.y, endRadius);
    addStops(p, *g, options);
    CGContextPaintCairoPattern(c, p);
    cairo_pattern_destroy(p);
}
