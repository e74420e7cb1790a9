#pragma once

#include <memory>

#include "shell/TabContainerViewController.h"

// The home tab's container; its list screen is MiddleViewController.
class HomeViewController : public TabContainerViewController {
  public:
    static std::shared_ptr<HomeViewController> create();

  protected:
    HomeViewController()
        : TabContainerViewController("HomeViewController", "MiddleViewController") {}
};
