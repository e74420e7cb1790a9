#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "Foundation/Clock.h"
#include "Foundation/NSObject.h"

// The names of the platform's predefined timing curves.
inline constexpr std::string_view kCAMediaTimingFunctionLinear = "linear";
inline constexpr std::string_view kCAMediaTimingFunctionEaseIn = "easeIn";
inline constexpr std::string_view kCAMediaTimingFunctionEaseOut = "easeOut";
inline constexpr std::string_view kCAMediaTimingFunctionEaseInEaseOut = "easeInEaseOut";
inline constexpr std::string_view kCAMediaTimingFunctionDefault = "default";

// The media time that layers and animations run on: the platform clock.
CFTimeInterval CACurrentMediaTime();

// A cubic Bézier from (0, 0) to (1, 1) mapping an animation's time fraction to its progress.
class CAMediaTimingFunction : public NSObject {
  public:
    // One shared instance per predefined name, so callers may compare them by identity;
    // nullptr for an unknown name.
    static std::shared_ptr<CAMediaTimingFunction> functionWithName(std::string_view name);
    // The x coordinates are kept within [0, 1] so that time never runs backwards.
    static std::shared_ptr<CAMediaTimingFunction> functionWithControlPoints(float c1x, float c1y,
                                                                            float c2x, float c2y);

    // The predefined name, or empty for a curve made from control points.
    const std::string& name() const { return name_; }
    // Index 0 to 3: the start, the two control points, the end. Returns false (and leaves
    // values alone) for any other index.
    bool getControlPointAtIndex(std::size_t index, float values[2]) const;
    // Progress at time fraction x; x outside [0, 1] is clamped.
    double evaluate(double x) const;
    // Same curve, whatever the instance or the name.
    bool isEqual(const CAMediaTimingFunction& other) const;

  private:
    CAMediaTimingFunction(std::string name, double c1x, double c1y, double c2x, double c2y);

    double solveCurveX(double x) const;

    std::string name_;
    std::array<double, 4> points_;
    // Polynomial coefficients of x(t) and y(t) = a·t³ + b·t² + c·t.
    double ax_, bx_, cx_, ay_, by_, cy_;
};
