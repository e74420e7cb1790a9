#pragma once

#include <memory>

#include "Foundation/NSObject.h"

// Maps the elapsed fraction of a map animation to its value: the classic easing curves,
// selected by number (0 and any number outside 1..21 is linear).
class VMMediaTimingFunction : public NSObject {
  public:
    static std::shared_ptr<VMMediaTimingFunction> functionWithType(int type);

    int type() const { return type_; }
    // The slice is clamped to [0, 1] first.
    double interpolateBySlice(double slice, double start, double end) const;
    static double normalizeValue(double slice);
    // The curves themselves, callable directly; they do not clamp the slice.
    static double linearInterpolateBySlice(double s, double b, double e);
    static double easeInQuadraticInterpolateBySlice(double s, double b, double e);
    static double easeOutQuadraticInterpolateBySlice(double s, double b, double e);
    static double easeInEaseOutQuadraticInterpolateBySlice(double s, double b, double e);
    static double easeInCubicInterpolateBySlice(double s, double b, double e);
    static double easeOutCubicInterpolateBySlice(double s, double b, double e);
    static double easeInEaseOutCubicInterpolateBySlice(double s, double b, double e);
    static double easeInQuarticInterpolateBySlice(double s, double b, double e);
    static double easeOutQuarticInterpolateBySlice(double s, double b, double e);
    static double easeInEaseOutQuarticInterpolateBySlice(double s, double b, double e);
    static double easeInQuinticInterpolateBySlice(double s, double b, double e);
    static double easeOutQuinticInterpolateBySlice(double s, double b, double e);
    static double easeInEaseOutQuinticInterpolateBySlice(double s, double b, double e);
    static double easeInSinInterpolateBySlice(double s, double b, double e);
    static double easeOutSinInterpolateBySlice(double s, double b, double e);
    static double easeInEaseOutSinInterpolateBySlice(double s, double b, double e);
    static double easeInExpInterpolateBySlice(double s, double b, double e);
    static double easeOutExpInterpolateBySlice(double s, double b, double e);
    static double easeInEaseOutExpInterpolateBySlice(double s, double b, double e);
    static double easeInCircularInterpolateBySlice(double s, double b, double e);
    static double easeOutCircularInterpolateBySlice(double s, double b, double e);
    static double easeInEaseOutCircularInterpolateBySlice(double s, double b, double e);
    // The curve of a type number, unclamped.
    static double interpolateWithType(int type, double s, double b, double e);

  private:
    explicit VMMediaTimingFunction(int type) : type_(type) {}
    int type_;
};
