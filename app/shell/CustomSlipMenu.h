#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "UIKit/UIButton.h"
#include "UIKit/UIScrollView.h"

// A white menu of tabs that scrolls sideways when there are more than it shows at once. Tab i
// sits in a holder view tagged 10 + i whose first subview is its button, tagged the same; the
// first tab starts selected, with the selection bar (tag 99) under it. A tap sends the action to
// the target.
class CustomSlipMenu : public UIScrollView {
  public:
    using Action = std::function<void(const std::shared_ptr<UIButton>& sender)>;
    static constexpr int kFirstTag = 10;
    static constexpr int kBarTag = 99;
    static constexpr int kDefaultShown = 5;

    // numOfShow: how many tabs fit the width (0 means 5).
    static std::shared_ptr<CustomSlipMenu> create(CGRect frame,
                                                  const std::vector<std::string>& array,
                                                  std::weak_ptr<NSObject> target, Action action,
                                                  int numOfShow);

  protected:
    CustomSlipMenu() = default;
};
