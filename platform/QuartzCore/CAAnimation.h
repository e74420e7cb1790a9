#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "CAMediaTimingFunction.h"
#include "CAValue.h"
#include "Foundation/Clock.h"
#include "Foundation/NSObject.h"

inline constexpr std::string_view kCAFillModeRemoved = "removed";
inline constexpr std::string_view kCAFillModeForwards = "forwards";
inline constexpr std::string_view kCAFillModeBackwards = "backwards";
inline constexpr std::string_view kCAFillModeBoth = "both";

class CAAnimation;

// Told when an animation on a layer starts and when it stops (finished is false when it was
// removed or replaced before its end).
class CAAnimationDelegate {
  public:
    virtual ~CAAnimationDelegate() = default;
    virtual void animationDidStart(const std::shared_ptr<CAAnimation>& /*anim*/) {}
    virtual void animationDidStop(const std::shared_ptr<CAAnimation>& /*anim*/, bool /*finished*/) {
    }
};

// What animations read and write: the presentation values of one layer, by key path.
class CAAnimationTarget {
  public:
    virtual ~CAAnimationTarget() = default;
    virtual std::optional<CAValue> valueForKeyPath(std::string_view keyPath) const = 0;
    virtual void setValueForKeyPath(std::string_view keyPath, const CAValue& value) = 0;
};

// Timing shared by every animation: when it starts, how long a cycle lasts, how often it
// repeats and reverses, and whether it holds its values outside its active time.
class CAAnimation : public NSObject {
  public:
    using Completion = std::function<void(bool finished)>;

    // The duration a zero or negative duration stands for.
    static constexpr CFTimeInterval kDefaultDuration = 0.25;

    // Media time of the start; 0 means when the animation is added. Within a group, the
    // offset from the group's start.
    CFTimeInterval beginTime() const { return beginTime_; }
    void setBeginTime(CFTimeInterval t) { beginTime_ = t; }
    CFTimeInterval duration() const { return duration_; }
    void setDuration(CFTimeInterval d) { duration_ = d; }
    // 0 means once; HUGE_VALF repeats for ever; fractions end part-way through a cycle.
    float repeatCount() const { return repeatCount_; }
    void setRepeatCount(float count) { repeatCount_ = count; }
    bool autoreverses() const { return autoreverses_; }
    void setAutoreverses(bool on) { autoreverses_ = on; }
    const std::string& fillMode() const { return fillMode_; }
    void setFillMode(std::string_view mode) { fillMode_ = mode; }
    const std::shared_ptr<CAMediaTimingFunction>& timingFunction() const { return timing_; }
    void setTimingFunction(std::shared_ptr<CAMediaTimingFunction> f) { timing_ = std::move(f); }
    bool isRemovedOnCompletion() const { return removedOnCompletion_; }
    void setRemovedOnCompletion(bool on) { removedOnCompletion_ = on; }

    std::shared_ptr<CAAnimationDelegate> delegate() const { return delegate_.lock(); }
    // Held weakly: a view that animates its own layer and listens would otherwise keep itself.
    void setDelegate(const std::shared_ptr<CAAnimationDelegate>& d) { delegate_ = d; }
    const Completion& completion() const { return completion_; }
    void setCompletion(Completion c) { completion_ = std::move(c); }

    // Free key-value storage for whoever made the animation.
    void setValue(const std::string& key, std::any value);
    const std::any* valueForKey(const std::string& key) const;

    CFTimeInterval effectiveDuration() const;
    // Cycles × repeats: infinity when repeating for ever.
    CFTimeInterval activeDuration() const;

    // Writes the animation's values at `time` seconds after its start into the target.
    void applyAt(CFTimeInterval time, CAAnimationTarget& target) const {
        apply(time, target, false);
    }

    // Called by the layer that runs the animation.
    void notifyDidStart();
    void notifyDidStop(bool finished);

  protected:
    // A group runs its children's apply() on its own time line.
    friend class CAAnimationGroup;

    CAAnimation();

    // holdEnd: a group frozen at its end holds its children's end values as well.
    virtual void apply(CFTimeInterval time, CAAnimationTarget& target, bool holdEnd) const = 0;
    // The fraction of the current cycle at `time`, before the timing function, or nullopt when
    // the animation has no effect then.
    std::optional<double> cycleFractionAt(CFTimeInterval time, bool holdEnd) const;
    double timed(double fraction) const;

  private:
    CFTimeInterval beginTime_ = 0;
    CFTimeInterval duration_ = 0;
    float repeatCount_ = 0;
    bool autoreverses_ = false;
    std::string fillMode_{kCAFillModeRemoved};
    std::shared_ptr<CAMediaTimingFunction> timing_;
    bool removedOnCompletion_ = true;
    std::weak_ptr<CAAnimationDelegate> delegate_;
    Completion completion_;
    std::map<std::string, std::any, std::less<>> values_;
};
