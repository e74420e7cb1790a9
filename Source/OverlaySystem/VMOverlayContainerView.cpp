#include "VMOverlayContainerView.h"

std::shared_ptr<VMOverlayContainerView> VMOverlayContainerView::create(CGRect frame) {
    return finishCreate(std::shared_ptr<VMOverlayContainerView>(new VMOverlayContainerView()),
                        frame);
}
