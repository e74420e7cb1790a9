#pragma once

#include <memory>

#include "UIKit/UIView.h"
#include "UIKit/UIViewController.h"

// A panel of a screen that shows another screen (the side menu) as the owner's child.
class SideSlipView : public UIView {
  public:
    static std::shared_ptr<SideSlipView> create(CGRect frame,
                                                std::weak_ptr<UIViewController> owner);

    // Makes the screen a child of the owner and fills the panel with its view.
    void setContentVC(std::shared_ptr<UIViewController> controller);
    const std::shared_ptr<UIViewController>& contentVC() const { return content_; }

  protected:
    SideSlipView() = default;

  private:
    std::weak_ptr<UIViewController> owner_;
    std::shared_ptr<UIViewController> content_;
};
