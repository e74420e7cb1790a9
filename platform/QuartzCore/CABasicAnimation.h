#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "CAPropertyAnimation.h"

// From one value to another. Missing ends come from the layer's value, as the platform does:
// from+to, from+by, by+to, from alone (to the layer's value), to alone (from the layer's value),
// by alone (from the layer's value by the amount).
class CABasicAnimation : public CAPropertyAnimation {
  public:
    static std::shared_ptr<CABasicAnimation> animationWithKeyPath(std::string_view keyPath);

    const std::optional<CAValue>& fromValue() const { return from_; }
    void setFromValue(std::optional<CAValue> v) { from_ = std::move(v); }
    const std::optional<CAValue>& toValue() const { return to_; }
    void setToValue(std::optional<CAValue> v) { to_ = std::move(v); }
    const std::optional<CAValue>& byValue() const { return by_; }
    void setByValue(std::optional<CAValue> v) { by_ = std::move(v); }

  protected:
    using CAPropertyAnimation::CAPropertyAnimation;
    void apply(CFTimeInterval time, CAAnimationTarget& target, bool holdEnd) const override;

  private:
    std::optional<CAValue> from_, to_, by_;
};
