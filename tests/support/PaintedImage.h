#pragma once

#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGeometry.h"
#include "CoreGraphics/CGImage.h"

namespace testsupport {

// A width x height image filled with one colour, and the patch (pixels, first row on top) in
// another when one is given.
inline CGImageRef paintedImage(int width, int height, CGColor fill, CGRect patch = CGRectNull,
                               CGColor patchColour = {}) {
    auto image = CGImage::create(width, height);
    CGContext context(*image, 1);
    // Copied, not blended: the colours land in the pixels as they are given.
    CGContextSetBlendMode(&context, kCGBlendModeCopy);
    CGContextSetFillColorWithColor(&context, fill);
    CGContextFillRect(&context, CGRectMake(0, 0, width, height));
    if (!CGRectIsNull(patch)) {
        CGContextSetFillColorWithColor(&context, patchColour);
        CGContextFillRect(&context, patch);
    }
    return image;
}

}  // namespace testsupport
