#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "CAPropertyAnimation.h"

inline constexpr std::string_view kCAAnimationLinear = "linear";
inline constexpr std::string_view kCAAnimationDiscrete = "discrete";
inline constexpr std::string_view kCAAnimationPaced = "paced";

// Through a list of values. keyTimes (fractions of the duration, one per value, rising from 0
// to 1) place them; without valid key times they are spread evenly, or by distance when paced.
// timingFunctions shape each segment; timingFunction shapes the whole.
class CAKeyframeAnimation : public CAPropertyAnimation {
  public:
    static std::shared_ptr<CAKeyframeAnimation> animationWithKeyPath(std::string_view keyPath);

    const std::vector<CAValue>& values() const { return values_; }
    void setValues(std::vector<CAValue> v) { values_ = std::move(v); }
    const std::vector<double>& keyTimes() const { return keyTimes_; }
    void setKeyTimes(std::vector<double> t) { keyTimes_ = std::move(t); }
    const std::vector<std::shared_ptr<CAMediaTimingFunction>>& timingFunctions() const {
        return timingFunctions_;
    }
    void setTimingFunctions(std::vector<std::shared_ptr<CAMediaTimingFunction>> f) {
        timingFunctions_ = std::move(f);
    }
    const std::string& calculationMode() const { return calculationMode_; }
    void setCalculationMode(std::string_view mode) { calculationMode_ = mode; }

    // The value at a progress fraction (after the whole-animation timing), or nullopt without
    // values or with values of mixed kinds.
    std::optional<CAValue> valueAtProgress(double progress) const;

  protected:
    using CAPropertyAnimation::CAPropertyAnimation;
    void apply(CFTimeInterval time, CAAnimationTarget& target, bool holdEnd) const override;

  private:
    std::vector<double> effectiveKeyTimes() const;

    std::vector<CAValue> values_;
    std::vector<double> keyTimes_;
    std::vector<std::shared_ptr<CAMediaTimingFunction>> timingFunctions_;
    std::string calculationMode_{kCAAnimationLinear};
};
