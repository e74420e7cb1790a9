#pragma once

#include <memory>

#include "UIKit/UIView.h"

class VMAnnotationView;

// The superview of the annotation views, above the GL view; the selected one stays in front of
// the views that were there before it.
class VMAnnotationFloor : public UIView {
  public:
    static std::shared_ptr<VMAnnotationFloor> create(CGRect frame) {
        return finishCreate(std::shared_ptr<VMAnnotationFloor>(new VMAnnotationFloor()), frame);
    }

    const std::shared_ptr<VMAnnotationView>& selectedAnnotationView() const { return selected_; }
    void setSelectedAnnotationView(std::shared_ptr<VMAnnotationView> view);
    void didAddSubview(const std::shared_ptr<UIView>& view) override;

  protected:
    VMAnnotationFloor() = default;

  private:
    std::shared_ptr<VMAnnotationView> selected_;
};
