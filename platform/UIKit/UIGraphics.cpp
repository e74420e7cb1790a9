#include "UIGraphics.h"

#include <vector>

namespace {
std::vector<CGContextRef>& contextStack() {
    static std::vector<CGContextRef> stack;
    return stack;
}
}  // namespace

void UIGraphicsPushContext(CGContextRef ctx) { contextStack().push_back(ctx); }

void UIGraphicsPopContext() {
    if (!contextStack().empty()) contextStack().pop_back();
}

CGContextRef UIGraphicsGetCurrentContext() {
    return contextStack().empty() ? nullptr : contextStack().back();
}

void UIRectFill(CGRect rect) {
    if (CGContextRef c = UIGraphicsGetCurrentContext()) CGContextFillRect(c, rect);
}

void UIRectFrame(CGRect rect) {
    if (CGContextRef c = UIGraphicsGetCurrentContext()) {
        CGContextStrokeRectWithWidth(c, CGRectInset(rect, 0.5, 0.5), 1);
    }
}
