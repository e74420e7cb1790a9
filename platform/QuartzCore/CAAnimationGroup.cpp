#include "CAAnimationGroup.h"

std::shared_ptr<CAAnimationGroup> CAAnimationGroup::animation() {
    return std::shared_ptr<CAAnimationGroup>(new CAAnimationGroup());
}

void CAAnimationGroup::apply(CFTimeInterval time, CAAnimationTarget& target, bool holdEnd) const {
    const auto fraction = cycleFractionAt(time, holdEnd);
    if (!fraction) return;
    const double local = timed(*fraction) * effectiveDuration();
    const bool frozen = time >= activeDuration();
    for (const auto& child : animations_) {
        if (!child) continue;
        child->apply(local - child->beginTime(), target, frozen || holdEnd);
    }
}
