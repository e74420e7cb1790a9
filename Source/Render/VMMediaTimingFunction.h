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

  private:
    explicit VMMediaTimingFunction(int type) : type_(type) {}
    int type_;
};
