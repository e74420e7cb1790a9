#pragma once

// The cairo objects behind CoreGraphics' opaque handles, for the platform's own sources only:
// this header is not installed, and no installed header may include it.

#include <cairo.h>

#include <memory>

#include "CGContext.h"
#include "CGImage.h"
#include "CGPath.h"

// A handle is the cairo object itself under our own name: no allocation, no indirection.
inline cairo_surface_t* asCairo(CGBackendSurface* s) {
    return reinterpret_cast<cairo_surface_t*>(s);
}
inline cairo_t* asCairo(CGBackendContext* c) { return reinterpret_cast<cairo_t*>(c); }
inline cairo_pattern_t* asCairo(CGBackendPattern* p) {
    return reinterpret_cast<cairo_pattern_t*>(p);
}
inline CGBackendSurface* asBackend(cairo_surface_t* s) {
    return reinterpret_cast<CGBackendSurface*>(s);
}
inline CGBackendContext* asBackend(cairo_t* c) { return reinterpret_cast<CGBackendContext*>(c); }
inline CGBackendPattern* asBackend(cairo_pattern_t* p) {
    return reinterpret_cast<CGBackendPattern*>(p);
}

// The same six numbers in the same order.
inline cairo_matrix_t CGCairoMatrix(CGAffineTransform t) {
    return {t.a, t.b, t.c, t.d, t.tx, t.ty};
}
inline CGAffineTransform CGAffineTransformFromCairo(const cairo_matrix_t& m) {
    return {m.xx, m.yx, m.xy, m.yy, m.x0, m.y0};
}

// Takes ownership of an image surface in good status.
inline CGImageRef CGImageCreateWithCairoSurface(cairo_surface_t* surface) {
    return std::make_shared<CGImage>(asBackend(surface));
}
inline cairo_surface_t* CGImageGetCairoSurface(const CGImage& image) {
    return asCairo(image.surface());
}
inline cairo_t* CGContextGetCairo(CGContextRef c) { return asCairo(c->drawing()); }
inline cairo_surface_t* CGContextGetCairoSurface(CGContextRef c) { return asCairo(c->surface()); }
// Paints the pattern honouring the context's alpha, blend mode and mask clip.
inline void CGContextPaintCairoPattern(CGContextRef c, cairo_pattern_t* pattern) {
    c->paintSource(asBackend(pattern));
}
// Replays the path into cairo's current path (after any transform already set there).
void CGPathReplay(const CGPath& path, cairo_t* cr);
