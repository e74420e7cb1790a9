#include "CABasicAnimation.h"

std::shared_ptr<CABasicAnimation> CABasicAnimation::animationWithKeyPath(std::string_view keyPath) {
    return std::shared_ptr<CABasicAnimation>(new CABasicAnimation(keyPath));
}

void CABasicAnimation::apply(CFTimeInterval time, CAAnimationTarget& target, bool holdEnd) const {
    const auto fraction = cycleFractionAt(time, holdEnd);
    if (!fraction) return;
    const auto current = target.valueForKeyPath(keyPath());
    std::optional<CAValue> from, to;
    if (from_ && to_) {
        from = from_, to = to_;
    } else if (from_ && by_) {
        from = from_, to = CAValueAdd(*from_, *by_);
    } else if (by_ && to_) {
        from = CAValueSubtract(*to_, *by_), to = to_;
    } else if (from_) {
        from = from_, to = current;
    } else if (to_) {
        from = current, to = to_;
    } else if (by_) {
        from = current;
        if (current) to = CAValueAdd(*current, *by_);
    } else {
        return;
    }
    if (!from || !to) return;
    if (auto value = CAValueInterpolate(*from, *to, timed(*fraction)))
        target.setValueForKeyPath(keyPath(), *value);
}
