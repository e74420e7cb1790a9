#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "CAAnimation.h"

// The animations running on one layer, in the order they were added. Start and stop reach the
// animation's delegate and completion on later turns of the run loop the animation was added
// on, each exactly once: stop(true) when the animation's active time ends, stop(false) when it
// is removed or replaced before that.
class CALayerAnimations {
  public:
    CALayerAnimations();
    ~CALayerAnimations();
    CALayerAnimations(const CALayerAnimations&) = delete;
    CALayerAnimations& operator=(const CALayerAnimations&) = delete;

    // An animation under a key that is already used replaces the one there. An empty key is
    // allowed; such animations are not listed by animationKeys().
    void addAnimation(const std::shared_ptr<CAAnimation>& anim, std::string_view key);
    std::shared_ptr<CAAnimation> animationForKey(std::string_view key) const;
    void removeAnimationForKey(std::string_view key);
    void removeAllAnimations();
    std::vector<std::string> animationKeys() const;
    bool empty() const;

    // Writes every animation's value at media time `now` over the target's values.
    void applyAt(CFTimeInterval now, CAAnimationTarget& target) const;

  private:
    struct State;
    std::shared_ptr<State> state_;
};
