#include "UIBezierPath.h"

#include "UIGraphics.h"

std::shared_ptr<UIBezierPath> UIBezierPath::bezierPathWithRect(CGRect rect) {
    return std::shared_ptr<UIBezierPath>(new UIBezierPath(CGPathCreateWithRect(rect, nullptr)));
}

std::shared_ptr<UIBezierPath> UIBezierPath::bezierPathWithOvalInRect(CGRect rect) {
    return std::shared_ptr<UIBezierPath>(
        new UIBezierPath(CGPathCreateWithEllipseInRect(rect, nullptr)));
}

void UIBezierPath::addClip() const {
    CGContextRef c = UIGraphicsGetCurrentContext();
    if (!c) return;
    CGContextAddPath(c, path_);
    CGContextClip(c);
}
