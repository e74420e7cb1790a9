#pragma once

#include <memory>

#include "shell/TabContainerViewController.h"

// The home tab's container; its list screen is MiddleViewController, its right item opens the
// inquiry search.
class HomeViewController : public TabContainerViewController {
  public:
    static std::shared_ptr<HomeViewController> create();

  protected:
    // The search.
    std::string rightItemImage() const override { return "ic_search_normal.png"; }
    std::string rightItemSelectedImage() const override { return "ic_search_selected.png"; }
    void rightItemClick() override;

    HomeViewController()
        : TabContainerViewController("HomeViewController", "MiddleViewController") {}
};
