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

// An alpha mask, width x height pixels, of what draw paints into it (top-left origin, one pixel
// per point), softened by a blur close to a Gaussian whose spread is radius: a shadow's shape.
CGImageRef CGImageCreateBlurredMask(int width, int height, CGFloat radius,
                                    const std::function<void(CGContextRef)>& draw);
// Paints colour through the alpha of mask, its top-left at origin, one mask pixel per point.
void CGContextFillThroughMask(CGContextRef c, const CGImageRef& mask, CGPoint origin,
                              CGColor colour);
