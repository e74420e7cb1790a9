#pragma once

#include <memory>

#include "shell/TabContainerViewController.h"

// The order tab's container; its list screen is OrderMiddleViewController.
class OrderViewController : public TabContainerViewController {
  public:
    static std::shared_ptr<OrderViewController> create();

  protected:
    OrderViewController()
        : TabContainerViewController("OrderViewController", "OrderMiddleViewController") {}
};
