#pragma once

#include <memory>

#include "UIKit/UIView.h"

// The scale bar; its origin is the top-left corner of its frame.
class VMScaleView : public UIView {
  public:
    static std::shared_ptr<VMScaleView> create() {
        return finishCreate(std::shared_ptr<VMScaleView>(new VMScaleView()), CGRectZero);
    }
    void updateOrigin(CGPoint origin) {
        CGRect f = frame();
        f.origin = origin;
        setFrame(f);
    }

  protected:
    VMScaleView() = default;
};
