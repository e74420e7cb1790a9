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
    // The regular colours suit the standard map; the others stand out on satellite and night.
    bool useRegularStyle() const { return useRegularStyle_; }
    void setUseRegularStyle(bool regular) { useRegularStyle_ = regular; }

  protected:
    VMScaleView() = default;

  private:
    bool useRegularStyle_ = true;
};
