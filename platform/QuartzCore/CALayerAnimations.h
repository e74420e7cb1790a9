#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "CAAnimation.h"

// The running animations of one layer, in the order they were added. Start and stop reach the
// animation's delegate and completion on later turns of the run loop the animation was added
// on, each exactly once: stop(true) when the animation's active time ends, stop(false) when it
// is removed (or replaced) before that.
class CALayerAnimations {
  public:
    // Told when an animation that is removed on completion has ended, before its stop is told,
    // so that the layer drops it.
    using FinishedHandler =
        std::function<void(const std::shared_ptr<CAAnimation>&, const std::string& key)>;

    // With an owner (the layer), nothing more is told once the owner is gone.
    explicit CALayerAnimations(FinishedHandler onFinished = {},
                               std::optional<std::weak_ptr<const NSObject>> owner = {});
    ~CALayerAnimations();
    CALayerAnimations(const CALayerAnimations&) = delete;
    CALayerAnimations& operator=(const CALayerAnimations&) = delete;

    // onStop hears the stop after the animation's delegate and completion, exactly once, also
    // (unfinished, on a later turn) when the owner or this list goes first.
    using StopObserver = std::function<void(bool finished)>;
    void addAnimation(const std::shared_ptr<CAAnimation>& anim, std::string_view key,
                      StopObserver onStop = {});
    void removeAnimation(const std::shared_ptr<CAAnimation>& anim, std::string_view key);
    bool empty() const;
    // Whether any animation has not ended yet (one held at its end by its fill mode has).
    bool isRunning() const;

    // Writes every animation's value at media time `now` over the target's values.
    void applyAt(CFTimeInterval now, CAAnimationTarget& target) const;

  private:
    struct State;
    std::shared_ptr<State> state_;
};
