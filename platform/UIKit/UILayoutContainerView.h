#pragma once

#include <functional>
#include <memory>

#include "UIKit/UIView.h"

// The root view of a container controller: lays its children out through the controller.
class UILayoutContainerView : public UIView {
  public:
    static std::shared_ptr<UILayoutContainerView> create(CGRect frame,
                                                         std::function<void()> layout) {
        auto v = finishCreate(std::shared_ptr<UILayoutContainerView>(new UILayoutContainerView()),
                              frame);
        v->layout_ = std::move(layout);
        return v;
    }
    void layoutSubviews() override {
        if (layout_) layout_();
    }

  private:
    UILayoutContainerView() = default;
    std::function<void()> layout_;
};
