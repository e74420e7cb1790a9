#pragma once

#include <cairo.h>

#include "CGImage.h"

// Shared by layer contents and UIImage: upright (top-left origin) image painting.
struct CGEdgeInsetsPx {
    CGFloat top = 0, left = 0, bottom = 0, right = 0;
};

// Paints the image stretched over dest in the current user space.
void CGPaintImage(cairo_t* cr, const CGImage& image, CGRect dest, CGFloat alpha = 1);
// Nine-grid painting: the corner caps (in image pixels) keep their size at pointsPerPixel,
// the edges stretch one way and the centre both ways.
void CGPaintImageNineGrid(cairo_t* cr, const CGImage& image, CGRect dest, CGEdgeInsetsPx caps,
                          CGFloat pointsPerPixel, CGFloat alpha = 1);
