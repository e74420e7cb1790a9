#pragma once

#include <memory>

#include "shell/TabContainerViewController.h"

// The quotation tab's container, the home container's twin; its list screen is
// OfferMiddleViewController.
class OfferViewController : public TabContainerViewController {
  public:
    static std::shared_ptr<OfferViewController> create();

  protected:
    OfferViewController()
        : TabContainerViewController("OfferViewController", "OfferMiddleViewController") {}
};
