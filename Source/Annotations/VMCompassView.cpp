#include "VMCompassView.h"

std::shared_ptr<VMCompassView> VMCompassView::compassViewWithDegree(double degree) {
    auto view = finishCreate(std::shared_ptr<VMCompassView>(new VMCompassView()),
                             CGRectMake(0, 0, kSide, kSide));
    view->degree_ = degree;
    return view;
}
