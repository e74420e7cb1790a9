#pragma once

#include <functional>

#include "CGContext.h"
#include "CGImage.h"

// Shared by layer contents and UIImage: upright (top-left origin) image painting.
struct CGEdgeInsetsPx {
    CGFloat top = 0, left = 0, bottom = 0, right = 0;
};

// Paints the image stretched over dest in the current user space.
void CGPaintImage(CGContextRef c, const CGImage& image, CGRect dest, CGFloat alpha = 1);
// Nine-grid painting: the corner caps (in image pixels) keep their size at pointsPerPixel,
// the edges stretch one way and the centre both ways.
void CGPaintImageNineGrid(CGContextRef c, const CGImage& image, CGRect dest, CGEdgeInsetsPx caps,
                          CGFloat pointsPerPixel, CGFloat alpha = 1);

// An alpha mask, width x height pixels, of what draw paints into it (top-left origin, scale
// pixels per point), softened by a blur close to a Gaussian whose spread is radius points: a
// shadow's shape.
CGImageRef CGImageCreateBlurredMask(int width, int height, CGFloat radius,
                                    const std::function<void(CGContextRef)>& draw,
                                    CGFloat scale = 1);
// Paints colour through the alpha of mask, its top-left at origin, scale mask pixels per point.
// Where the context's transform is that scale and a move, the mask goes through unresampled, at
// the nearest whole pixel.
void CGContextFillThroughMask(CGContextRef c, const CGImageRef& mask, CGPoint origin,
                              CGColor colour, CGFloat scale = 1);
