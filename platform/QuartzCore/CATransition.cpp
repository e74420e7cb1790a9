#include "CATransition.h"

#include "CALayer.h"

std::shared_ptr<CATransition> CATransition::fadeFromLayer(const CALayer& layer) {
    return std::shared_ptr<CATransition>(
        new CATransition(layer.isHidden() ? 0.0F : layer.opacity()));
}

void CATransition::apply(CFTimeInterval time, CAAnimationTarget& target, bool holdEnd) const {
    const auto fraction = cycleFractionAt(time, holdEnd);
    if (!fraction) return;
    const auto hidden = target.valueForKeyPath("hidden");
    const auto opacity = target.valueForKeyPath("opacity");
    if (!hidden || !opacity) return;
    const double end = hidden->number() >= 0.5 ? 0.0 : opacity->number();
    const double f = timed(*fraction);
    target.setValueForKeyPath("hidden", CAValue(0.0));
    target.setValueForKeyPath("opacity", CAValue(startOpacity_ + (end - startOpacity_) * f));
}
