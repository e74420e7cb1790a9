#include "CAAnimation.h"

#include <cmath>

#include "QuartzCore/CALayerAnimationEngine.h"

// Layers run animations only once the engine is their hooks; making the first animation is
// the moment it is needed.
CAAnimation::CAAnimation() { CALayerAnimationEngine::install(); }

void CAAnimation::setValue(const std::string& key, std::any value) {
    values_[key] = std::move(value);
}

const std::any* CAAnimation::valueForKey(const std::string& key) const {
    auto it = values_.find(key);
    return it == values_.end() ? nullptr : &it->second;
}

CFTimeInterval CAAnimation::effectiveDuration() const {
    return duration_ > 0 ? duration_ : kDefaultDuration;
}

CFTimeInterval CAAnimation::activeDuration() const {
    const double cycle = effectiveDuration() * (autoreverses_ ? 2.0 : 1.0);
    return cycle * (repeatCount_ > 0 ? static_cast<double>(repeatCount_) : 1.0);
}

std::optional<double> CAAnimation::cycleFractionAt(CFTimeInterval time, bool holdEnd) const {
    const double d = effectiveDuration();
    const double cycle = autoreverses_ ? 2.0 * d : d;
    const double total = activeDuration();
    const bool fillsBackwards = fillMode_ == kCAFillModeBackwards || fillMode_ == kCAFillModeBoth;
    const bool fillsForwards =
        holdEnd || fillMode_ == kCAFillModeForwards || fillMode_ == kCAFillModeBoth;
    double phase;
    if (time < 0) {
        if (!fillsBackwards) return std::nullopt;
        phase = 0;
    } else if (time >= total) {
        if (!fillsForwards) return std::nullopt;
        // A whole number of cycles ends at a cycle's end; a fraction stops part-way in.
        const double repeats = repeatCount_ > 0 ? static_cast<double>(repeatCount_) : 1.0;
        const double partial = repeats - std::floor(repeats);
        phase = partial > 0 ? partial * cycle : cycle;
    } else {
        phase = std::fmod(time, cycle);
    }
    const double fraction = autoreverses_ && phase > d ? (cycle - phase) / d : phase / d;
    return std::fmin(std::fmax(fraction, 0.0), 1.0);
}

double CAAnimation::timed(double fraction) const {
    return timing_ ? timing_->evaluate(fraction) : fraction;
}

void CAAnimation::notifyDidStart() {
    if (auto d = delegate()) d->animationDidStart(sharedSelf<CAAnimation>());
}

void CAAnimation::notifyDidStop(bool finished) {
    auto self = sharedSelf<CAAnimation>();
    if (auto d = delegate()) d->animationDidStop(self, finished);
    if (completion_) {
        // The block may drop the last other reference to the animation; keep it for the call.
        auto completion = completion_;
        completion(finished);
    }
}
