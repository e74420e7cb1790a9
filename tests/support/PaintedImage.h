#pragma once

#include <cairo.h>

#include "CoreGraphics/CGGeometry.h"
#include "CoreGraphics/CGImage.h"

namespace testsupport {

// A width x height image filled with one colour, and the patch (pixels, first row on top) in
// another when one is given.
inline CGImageRef paintedImage(int width, int height, CGColor fill, CGRect patch = CGRectNull,
                               CGColor patchColour = {}) {
    auto image = CGImage::create(width, height);
    cairo_t* cr = cairo_create(image->surface());
    cairo_set_source_rgba(cr, fill.r, fill.g, fill.b, fill.a);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    if (!CGRectIsNull(patch)) {
        cairo_set_source_rgba(cr, patchColour.r, patchColour.g, patchColour.b, patchColour.a);
        cairo_rectangle(cr, patch.origin.x, patch.origin.y, patch.size.width, patch.size.height);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    return image;
}

}  // namespace testsupport
