#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "UIKit/UIButton.h"
#include "UIKit/UIView.h"

// A white bar of titles side by side. Title i sits in a holder view tagged 10 + i whose first
// subview is its button, tagged the same; the selected title is black, the others grey, and the
// underline (tag 99) lies under the selected holder. A tap sends the action to the target; the
// screen moves the selection itself.
class MiddleNavView : public UIView {
  public:
    using Action = std::function<void(const std::shared_ptr<UIButton>& sender)>;
    static constexpr int kFirstTag = 10;
    static constexpr int kUnderlineTag = 99;

    static std::shared_ptr<MiddleNavView> create(CGRect frame);

    void creatMiddleNavWithClass(std::weak_ptr<NSObject> target, Action action,
                                 const std::vector<std::string>& btnArray, int selectBtnIndex);

  protected:
    MiddleNavView() = default;
    void initWithFrame(CGRect frame) override;
};
