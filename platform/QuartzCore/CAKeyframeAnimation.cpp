#include "CAKeyframeAnimation.h"

#include <algorithm>

std::shared_ptr<CAKeyframeAnimation> CAKeyframeAnimation::animationWithKeyPath(
    std::string_view keyPath) {
    return std::shared_ptr<CAKeyframeAnimation>(new CAKeyframeAnimation(keyPath));
}

std::vector<double> CAKeyframeAnimation::effectiveKeyTimes() const {
    const std::size_t n = values_.size();
    const bool discrete = calculationMode_ == kCAAnimationDiscrete;
    std::vector<double> times;
    if (calculationMode_ == kCAAnimationPaced) {
        times.push_back(0);
        double total = 0;
        for (std::size_t i = 1; i < n; ++i) {
            total += CAValueDistance(values_[i - 1], values_[i]).value_or(0);
            times.push_back(total);
        }
        if (total > 0) {
            for (auto& t : times) t /= total;
            return times;
        }
        times.clear();
    } else {
        // Discrete timing takes one more key time than values, the last closing the final step.
        const std::size_t want = discrete ? n + 1 : n;
        const bool valid = !keyTimes_.empty() &&
                           (keyTimes_.size() == want || (discrete && keyTimes_.size() == n)) &&
                           std::is_sorted(keyTimes_.begin(), keyTimes_.end()) &&
                           keyTimes_.front() >= 0 && keyTimes_.back() <= 1;
        if (valid) return keyTimes_;
    }
    const std::size_t steps = discrete ? n : n - 1;
    for (std::size_t i = 0; i < n; ++i)
        times.push_back(steps ? static_cast<double>(i) / static_cast<double>(steps) : 0.0);
    return times;
}

std::optional<CAValue> CAKeyframeAnimation::valueAtProgress(double p) const {
    const std::size_t n = values_.size();
    if (n == 0) return std::nullopt;
    if (n == 1) return values_[0];
    const auto times = effectiveKeyTimes();
    if (calculationMode_ == kCAAnimationDiscrete) {
        std::size_t i = 0;
        while (i + 1 < n && times[i + 1] <= p) ++i;
        return values_[i];
    }
    if (p <= times.front()) return values_.front();
    if (p >= times[n - 1]) return values_.back();
    std::size_t k = 1;
    while (k < n - 1 && times[k] < p) ++k;
    const double span = times[k] - times[k - 1];
    double local = span > 0 ? (p - times[k - 1]) / span : 1.0;
    if (calculationMode_ != kCAAnimationPaced && k - 1 < timingFunctions_.size() &&
        timingFunctions_[k - 1])
        local = timingFunctions_[k - 1]->evaluate(local);
    return CAValueInterpolate(values_[k - 1], values_[k], local);
}

void CAKeyframeAnimation::apply(CFTimeInterval time, CAAnimationTarget& target,
                                bool holdEnd) const {
    const auto fraction = cycleFractionAt(time, holdEnd);
    if (!fraction) return;
    if (auto value = valueAtProgress(timed(*fraction)))
        target.setValueForKeyPath(keyPath(), *value);
}
