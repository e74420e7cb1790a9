#pragma once

#include <memory>

#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGeometry.h"

// The stack of current contexts that drawRect and image contexts draw into.
void UIGraphicsPushContext(CGContextRef ctx);
void UIGraphicsPopContext();
CGContextRef UIGraphicsGetCurrentContext();

void UIRectFill(CGRect rect);
void UIRectFrame(CGRect rect);

class UIImage;

// An offscreen context of size points at scale (0 = the main screen's); top-left origin.
void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, CGFloat scale);
void UIGraphicsBeginImageContext(CGSize size);
std::shared_ptr<UIImage> UIGraphicsGetImageFromCurrentImageContext();
void UIGraphicsEndImageContext();
