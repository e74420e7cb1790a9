#pragma once

#include <array>
#include <cstddef>
#include <optional>

#include "CoreGraphics/CGColor.h"
#include "CoreGraphics/CGGeometry.h"
#include "QuartzCore/CATransform3D.h"

// An animatable value: what an animation's fromValue, toValue and key-frame values hold.
// Components are doubles; a transform is the 4×4 matrix m11…m44 in row order.
struct CAValue {
    enum class Kind { Number, Point, Size, Rect, Transform, Color };

    Kind kind = Kind::Number;
    std::array<double, 16> v{};

    static CAValue number(double x);
    static CAValue point(double x, double y);
    static CAValue size(double width, double height);
    static CAValue rect(double x, double y, double width, double height);
    static CAValue color(double r, double g, double b, double a);
    static CAValue transform(const std::array<double, 16>& m);
    static CAValue identityTransform();

    // From and to the platform's value types.
    CAValue() = default;
    CAValue(double x) : CAValue(number(x)) {}
    CAValue(CGPoint p) : CAValue(point(p.x, p.y)) {}
    CAValue(CGSize s) : CAValue(size(s.width, s.height)) {}
    CAValue(CGRect r) : CAValue(rect(r.origin.x, r.origin.y, r.size.width, r.size.height)) {}
    CAValue(const CATransform3D& t);
    CAValue(CGAffineTransform t) : CAValue(CATransform3DMakeAffineTransform(t)) {}
    CAValue(CGColor c) : CAValue(color(c.r, c.g, c.b, c.a)) {}
    CGPoint pointValue() const { return {v[0], v[1]}; }
    CGSize sizeValue() const { return {v[0], v[1]}; }
    CGRect rectValue() const { return {{v[0], v[1]}, {v[2], v[3]}}; }
    CATransform3D transformValue() const;
    CGColor colorValue() const { return {v[0], v[1], v[2], v[3]}; }

    // The number of meaningful components for the kind.
    std::size_t count() const;
    double number() const { return v[0]; }

    friend bool operator==(const CAValue& a, const CAValue& b);
};

// Values of different kinds do not mix: these answer nullopt for them.
// t may leave [0, 1] for curves that overshoot; colours stay within [0, 1].
std::optional<CAValue> CAValueInterpolate(const CAValue& from, const CAValue& to, double t);
// Sum and difference for by-values; a transform's sum is the concatenation (b applied after a).
std::optional<CAValue> CAValueAdd(const CAValue& a, const CAValue& b);
std::optional<CAValue> CAValueSubtract(const CAValue& a, const CAValue& b);
// Straight-line distance between the components, for paced key-frame timing.
std::optional<double> CAValueDistance(const CAValue& a, const CAValue& b);
