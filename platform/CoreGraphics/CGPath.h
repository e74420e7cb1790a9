#pragma once

#include <memory>
#include <vector>

#include "CGGeometry.h"

// A path kept as elements so it can be replayed into any context and measured.
class CGPath {
  public:
    enum class Kind { Move, Line, Quad, Curve, Close };
    struct Element {
        Kind kind;
        CGPoint points[3];
    };

    const std::vector<Element>& elements() const { return elements_; }
    bool isEmpty() const { return elements_.empty(); }
    CGPoint currentPoint() const { return current_; }

    void moveTo(CGPoint p);
    void lineTo(CGPoint p);
    void quadTo(CGPoint control, CGPoint end);
    void curveTo(CGPoint c1, CGPoint c2, CGPoint end);
    void close();
    // Arc about a centre, angles in radians, drawn as cubic pieces.
    void arc(CGPoint centre, CGFloat radius, CGFloat start, CGFloat end, bool clockwise);
    void addRect(CGRect r);
    void addRoundedRect(CGRect r, CGFloat cornerWidth, CGFloat cornerHeight);
    void addEllipse(CGRect r);
    void append(const CGPath& other, const CGAffineTransform* t = nullptr);

    CGRect boundingBox() const;
    bool containsPoint(CGPoint p, bool evenOdd) const;

  private:
    std::vector<Element> elements_;
    CGPoint current_;
    CGPoint subpathStart_;
};

using CGMutablePathRef = std::shared_ptr<CGPath>;
using CGPathRef = std::shared_ptr<const CGPath>;

CGMutablePathRef CGPathCreateMutable();
CGMutablePathRef CGPathCreateMutableCopy(const CGPathRef& path);
CGPathRef CGPathCreateWithRect(CGRect r, const CGAffineTransform* t);
CGPathRef CGPathCreateWithRoundedRect(CGRect r, CGFloat cornerWidth, CGFloat cornerHeight,
                                      const CGAffineTransform* t);
CGPathRef CGPathCreateWithEllipseInRect(CGRect r, const CGAffineTransform* t);
void CGPathMoveToPoint(const CGMutablePathRef& path, const CGAffineTransform* t, CGFloat x,
                       CGFloat y);
void CGPathAddLineToPoint(const CGMutablePathRef& path, const CGAffineTransform* t, CGFloat x,
                          CGFloat y);
void CGPathAddQuadCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* t, CGFloat cx,
                               CGFloat cy, CGFloat x, CGFloat y);
void CGPathAddCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* t, CGFloat c1x,
                           CGFloat c1y, CGFloat c2x, CGFloat c2y, CGFloat x, CGFloat y);
void CGPathAddArc(const CGMutablePathRef& path, const CGAffineTransform* t, CGFloat x, CGFloat y,
                  CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise);
void CGPathAddRect(const CGMutablePathRef& path, const CGAffineTransform* t, CGRect r);
void CGPathAddRoundedRect(const CGMutablePathRef& path, const CGAffineTransform* t, CGRect r,
                          CGFloat cornerWidth, CGFloat cornerHeight);
void CGPathAddEllipseInRect(const CGMutablePathRef& path, const CGAffineTransform* t, CGRect r);
void CGPathAddPath(const CGMutablePathRef& path, const CGAffineTransform* t,
                   const CGPathRef& other);
void CGPathCloseSubpath(const CGMutablePathRef& path);
CGRect CGPathGetBoundingBox(const CGPathRef& path);
bool CGPathContainsPoint(const CGPathRef& path, const CGAffineTransform* t, CGPoint p, bool eoFill);
bool CGPathIsEmpty(const CGPathRef& path);
// True when the path is one axis-aligned rectangle, which it then stores in rect (if given).
bool CGPathIsRect(const CGPathRef& path, CGRect* rect);
