#include "UIPinchGestureRecognizer.h"

#include <cmath>

CGFloat UIPinchGestureRecognizer::distance() const {
    const auto [a, b] = fingers();
    return std::hypot(b.x - a.x, b.y - a.y);
}

CGFloat UIPinchGestureRecognizer::valueAt(CGFloat distance, CGFloat scaleSet,
                                          CGFloat distanceAtSet) const {
    // Two fingers on one spot give no ratio; keep the last scale.
    return distanceAtSet > 0 ? scaleSet * distance / distanceAtSet : scale();
}
