#pragma once

#include <memory>

#include "UIKit/UIView.h"

// The superview of the annotation views, above the GL view.
class VMAnnotationFloor : public UIView {
  public:
    static std::shared_ptr<VMAnnotationFloor> create(CGRect frame) {
        return finishCreate(std::shared_ptr<VMAnnotationFloor>(new VMAnnotationFloor()), frame);
    }

  protected:
    VMAnnotationFloor() = default;
};
