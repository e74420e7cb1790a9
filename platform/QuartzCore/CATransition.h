#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "CAAnimation.h"

class CALayer;

inline constexpr std::string_view kCATransitionFade = "fade";

// A cross-dissolve of a layer between how it looked when the transition was made and its model
// values: a layer hidden or shown (or given another opacity) after it fades instead of popping.
// Make it, change the layer, then add it to the layer.
class CATransition : public CAAnimation {
  public:
    static std::shared_ptr<CATransition> fadeFromLayer(const CALayer& layer);

    const std::string& type() const { return type_; }
    // The opacity the layer dissolves from; 0 when it was hidden.
    float startOpacity() const { return startOpacity_; }

  protected:
    void apply(CFTimeInterval time, CAAnimationTarget& target, bool holdEnd) const override;

  private:
    explicit CATransition(float startOpacity) : startOpacity_(startOpacity) {}
    std::string type_{kCATransitionFade};
    float startOpacity_;
};
