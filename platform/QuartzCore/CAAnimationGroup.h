#pragma once

#include <memory>
#include <vector>

#include "CAAnimation.h"

// Runs its animations on its own time line: a child's beginTime is an offset into the group,
// and the group's duration cuts its children off.
class CAAnimationGroup : public CAAnimation {
  public:
    static std::shared_ptr<CAAnimationGroup> animation();

    const std::vector<std::shared_ptr<CAAnimation>>& animations() const { return animations_; }
    void setAnimations(std::vector<std::shared_ptr<CAAnimation>> a) { animations_ = std::move(a); }

  protected:
    CAAnimationGroup() = default;
    void apply(CFTimeInterval time, CAAnimationTarget& target, bool holdEnd) const override;

  private:
    std::vector<std::shared_ptr<CAAnimation>> animations_;
};
