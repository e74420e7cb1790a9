#pragma once

#include <gtest/gtest.h>

#include "CoreGraphics/CGImage.h"

namespace testsupport {

// Colour of an image at a point given in points of a screen of the given scale.
CGColor screenPixel(const CGImageRef& image, CGFloat x, CGFloat y, CGFloat scale = 2);

// Whether every channel is within the tolerance (rounding of blends and conversions).
bool coloursClose(CGColor actual, CGColor expected, double tolerance = 0.02);

// The same as an assertion that says both colours when they differ. Loops over a picture's
// pixels use coloursClose: a message made for every pixel that differs costs seconds.
::testing::AssertionResult colourNear(CGColor actual, CGColor expected, double tolerance = 0.02);

inline const CGColor kRed{1, 0, 0, 1};
inline const CGColor kGreen{0, 1, 0, 1};
inline const CGColor kBlue{0, 0, 1, 1};
inline const CGColor kWhite{1, 1, 1, 1};
inline const CGColor kBlack{0, 0, 0, 1};

}  // namespace testsupport
