#include "CGPath.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "CGBackend.h"

namespace {
CGPoint apply(const CGAffineTransform* t, CGPoint p) {
    return t ? CGPointApplyAffineTransform(p, *t) : p;
}
}  // namespace

void CGPath::moveTo(CGPoint p) {
    elements_.push_back({Kind::Move, {p}});
    current_ = subpathStart_ = p;
}

void CGPath::lineTo(CGPoint p) {
    if (elements_.empty()) return moveTo(p);
    elements_.push_back({Kind::Line, {p}});
    current_ = p;
}

void CGPath::quadTo(CGPoint control, CGPoint end) {
    if (elements_.empty()) moveTo(control);
    elements_.push_back({Kind::Quad, {control, end}});
    current_ = end;
}

void CGPath::curveTo(CGPoint c1, CGPoint c2, CGPoint end) {
    if (elements_.empty()) moveTo(c1);
    elements_.push_back({Kind::Curve, {c1, c2, end}});
    current_ = end;
}

void CGPath::close() {
    if (elements_.empty() || elements_.back().kind == Kind::Close) return;
    elements_.push_back({Kind::Close, {}});
    current_ = subpathStart_;
}

void CGPath::arc(CGPoint c, CGFloat radius, CGFloat start, CGFloat end, bool clockwise) {
    // "Clockwise" means decreasing angle, as on the platform (clockwise in its y-up space).
    constexpr CGFloat twoPi = 2 * std::numbers::pi;
    CGFloat sweep = end - start;
    if (clockwise) {
        while (sweep > 0) sweep -= twoPi;
        if (sweep < -twoPi) sweep = -twoPi;
    } else {
        while (sweep < 0) sweep += twoPi;
        if (sweep > twoPi) sweep = twoPi;
    }
    const CGPoint first{c.x + radius * std::cos(start), c.y + radius * std::sin(start)};
    if (elements_.empty()) {
        moveTo(first);
    } else {
        lineTo(first);
    }
    const int pieces =
        std::max(1, static_cast<int>(std::ceil(std::abs(sweep) / (std::numbers::pi / 2))));
    const CGFloat step = sweep / pieces;
    const CGFloat k = 4.0 / 3.0 * std::tan(step / 4);
    CGFloat a = start;
    for (int i = 0; i < pieces; ++i) {
        const CGFloat b = a + step;
        const CGPoint p0{c.x + radius * std::cos(a), c.y + radius * std::sin(a)};
        const CGPoint p3{c.x + radius * std::cos(b), c.y + radius * std::sin(b)};
        const CGPoint c1{p0.x - k * radius * std::sin(a), p0.y + k * radius * std::cos(a)};
        const CGPoint c2{p3.x + k * radius * std::sin(b), p3.y - k * radius * std::cos(b)};
        curveTo(c1, c2, p3);
        a = b;
    }
}

void CGPath::addRect(CGRect r) {
    r = CGRectStandardize(r);
    moveTo(r.origin);
    lineTo({r.origin.x + r.size.width, r.origin.y});
    lineTo({r.origin.x + r.size.width, r.origin.y + r.size.height});
    lineTo({r.origin.x, r.origin.y + r.size.height});
    close();
}

void CGPath::addRoundedRect(CGRect r, CGFloat cw, CGFloat ch) {
    r = CGRectStandardize(r);
    cw = std::clamp(cw, 0.0, r.size.width / 2);
    ch = std::clamp(ch, 0.0, r.size.height / 2);
    if (cw <= 0 || ch <= 0) return addRect(r);
    constexpr CGFloat k = 0.5522847498;
    const CGFloat x0 = r.origin.x, y0 = r.origin.y;
    const CGFloat x1 = x0 + r.size.width, y1 = y0 + r.size.height;
    moveTo({x0 + cw, y0});
    lineTo({x1 - cw, y0});
    curveTo({x1 - cw + k * cw, y0}, {x1, y0 + ch - k * ch}, {x1, y0 + ch});
    lineTo({x1, y1 - ch});
    curveTo({x1, y1 - ch + k * ch}, {x1 - cw + k * cw, y1}, {x1 - cw, y1});
    lineTo({x0 + cw, y1});
    curveTo({x0 + cw - k * cw, y1}, {x0, y1 - ch + k * ch}, {x0, y1 - ch});
    lineTo({x0, y0 + ch});
    curveTo({x0, y0 + ch - k * ch}, {x0 + cw - k * cw, y0}, {x0 + cw, y0});
    close();
}

void CGPath::addEllipse(CGRect r) {
    r = CGRectStandardize(r);
    addRoundedRect(r, r.size.width / 2, r.size.height / 2);
}

void CGPath::append(const CGPath& other, const CGAffineTransform* t) {
    for (Element e : other.elements_) {
        for (CGPoint& p : e.points) p = apply(t, p);
        elements_.push_back(e);
    }
    current_ = apply(t, other.current_);
    subpathStart_ = apply(t, other.subpathStart_);
}

void CGPathReplay(const CGPath& path, cairo_t* cr) {
    using Kind = CGPath::Kind;
    for (const CGPath::Element& e : path.elements()) {
        const CGPoint* p = e.points;
        switch (e.kind) {
            case Kind::Move:
                cairo_move_to(cr, p[0].x, p[0].y);
                break;
            case Kind::Line:
                cairo_line_to(cr, p[0].x, p[0].y);
                break;
            case Kind::Quad: {
                double cx = 0, cy = 0;
                cairo_get_current_point(cr, &cx, &cy);
                cairo_curve_to(cr, cx + 2.0 / 3 * (p[0].x - cx), cy + 2.0 / 3 * (p[0].y - cy),
                               p[1].x + 2.0 / 3 * (p[0].x - p[1].x),
                               p[1].y + 2.0 / 3 * (p[0].y - p[1].y), p[1].x, p[1].y);
                break;
            }
            case Kind::Curve:
                cairo_curve_to(cr, p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y);
                break;
            case Kind::Close:
                cairo_close_path(cr);
                break;
        }
    }
}

namespace {
// A 1x1 recording surface is enough for cairo's path geometry queries.
struct ScratchContext {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* cr = cairo_create(surface);
    ~ScratchContext() {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
};
}  // namespace

CGRect CGPath::boundingBox() const {
    if (elements_.empty()) return CGRectNull;
    ScratchContext s;
    CGPathReplay(*this, s.cr);
    double x0, y0, x1, y1;
    cairo_path_extents(s.cr, &x0, &y0, &x1, &y1);
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

bool CGPath::containsPoint(CGPoint p, bool evenOdd) const {
    ScratchContext s;
    cairo_set_fill_rule(s.cr, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    CGPathReplay(*this, s.cr);
    return cairo_in_fill(s.cr, p.x, p.y);
}

CGMutablePathRef CGPathCreateMutable() { return std::make_shared<CGPath>(); }
CGMutablePathRef CGPathCreateMutableCopy(const CGPathRef& path) {
    return path ? std::make_shared<CGPath>(*path) : CGPathCreateMutable();
}
CGPathRef CGPathCreateWithRect(CGRect r, const CGAffineTransform* t) {
    auto p = CGPathCreateMutable();
    CGPathAddRect(p, t, r);
    return p;
}
CGPathRef CGPathCreateWithRoundedRect(CGRect r, CGFloat cw, CGFloat ch,
                                      const CGAffineTransform* t) {
    auto p = CGPathCreateMutable();
    CGPathAddRoundedRect(p, t, r, cw, ch);
    return p;
}
CGPathRef CGPathCreateWithEllipseInRect(CGRect r, const CGAffineTransform* t) {
    auto p = CGPathCreateMutable();
    CGPathAddEllipseInRect(p, t, r);
    return p;
}
void CGPathMoveToPoint(const CGMutablePathRef& path, const CGAffineTransform* t, CGFloat x,
                       CGFloat y) {
    path->moveTo(apply(t, {x, y}));
}
void CGPathAddLineToPoint(const CGMutablePathRef& path, const CGAffineTransform* t, CGFloat x,
                          CGFloat y) {
    path->lineTo(apply(t, {x, y}));
}
void CGPathAddQuadCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* t, CGFloat cx,
                               CGFloat cy, CGFloat x, CGFloat y) {
    path->quadTo(apply(t, {cx, cy}), apply(t, {x, y}));
}
void CGPathAddCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* t, CGFloat c1x,
                           CGFloat c1y, CGFloat c2x, CGFloat c2y, CGFloat x, CGFloat y) {
    path->curveTo(apply(t, {c1x, c1y}), apply(t, {c2x, c2y}), apply(t, {x, y}));
}
void CGPathAddArc(const CGMutablePathRef& path, const CGAffineTransform* t, CGFloat x, CGFloat y,
                  CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise) {
    CGPath arc;
    arc.arc({x, y}, radius, startAngle, endAngle, clockwise);
    const bool join = !path->isEmpty();
    for (const auto& e : arc.elements()) {
        if (e.kind == CGPath::Kind::Move) {
            // An arc continues the current subpath with a straight line to its start.
            if (join) {
                path->lineTo(apply(t, e.points[0]));
            } else {
                path->moveTo(apply(t, e.points[0]));
            }
        } else if (e.kind == CGPath::Kind::Curve) {
            path->curveTo(apply(t, e.points[0]), apply(t, e.points[1]), apply(t, e.points[2]));
        }
    }
}
void CGPathAddRect(const CGMutablePathRef& path, const CGAffineTransform* t, CGRect r) {
    CGPath p;
    p.addRect(r);
    path->append(p, t);
}
void CGPathAddRoundedRect(const CGMutablePathRef& path, const CGAffineTransform* t, CGRect r,
                          CGFloat cw, CGFloat ch) {
    CGPath p;
    p.addRoundedRect(r, cw, ch);
    path->append(p, t);
}
void CGPathAddEllipseInRect(const CGMutablePathRef& path, const CGAffineTransform* t, CGRect r) {
    CGPath p;
    p.addEllipse(r);
    path->append(p, t);
}
void CGPathAddPath(const CGMutablePathRef& path, const CGAffineTransform* t,
                   const CGPathRef& other) {
    if (other) path->append(*other, t);
}
void CGPathCloseSubpath(const CGMutablePathRef& path) { path->close(); }
CGRect CGPathGetBoundingBox(const CGPathRef& path) {
    return path ? path->boundingBox() : CGRectNull;
}
bool CGPathContainsPoint(const CGPathRef& path, const CGAffineTransform* t, CGPoint p,
                         bool eoFill) {
    if (!path) return false;
    if (t) p = CGPointApplyAffineTransform(p, CGAffineTransformInvert(*t));
    return path->containsPoint(p, eoFill);
}
bool CGPathIsEmpty(const CGPathRef& path) { return !path || path->isEmpty(); }

bool CGPathIsRect(const CGPathRef& path, CGRect* rect) {
    if (!path) return false;
    using Kind = CGPath::Kind;
    const auto& e = path->elements();
    std::size_t n = e.size();
    if (n > 0 && e[n - 1].kind == Kind::Close) --n;
    // A fourth line back to the start is the same rectangle.
    if (n == 5 && e[4].kind == Kind::Line && e[4].points[0] == e[0].points[0]) --n;
    if (n != 4 || e[0].kind != Kind::Move) return false;
    for (std::size_t i = 1; i < 4; ++i)
        if (e[i].kind != Kind::Line) return false;
    const CGPoint a = e[0].points[0], b = e[1].points[0], c = e[2].points[0], d = e[3].points[0];
    const bool horizontalFirst = a.y == b.y && b.x == c.x && c.y == d.y && d.x == a.x;
    const bool verticalFirst = a.x == b.x && b.y == c.y && c.x == d.x && d.y == a.y;
    if (!horizontalFirst && !verticalFirst) return false;
    if (rect) *rect = CGRectStandardize(CGRectMake(a.x, a.y, c.x - a.x, c.y - a.y));
    return true;
}
