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
