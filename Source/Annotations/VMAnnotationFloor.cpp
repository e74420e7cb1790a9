#include "VMAnnotationFloor.h"

#include "VMAnnotationView.h"

void VMAnnotationFloor::setSelectedAnnotationView(std::shared_ptr<VMAnnotationView> view) {
    selected_ = std::move(view);
    if (selected_) bringSubviewToFront(selected_.get());
}

void VMAnnotationFloor::didAddSubview(const std::shared_ptr<UIView>& view) {
    UIView::didAddSubview(view);
    if (selected_ && view == selected_) bringSubviewToFront(selected_.get());
}
