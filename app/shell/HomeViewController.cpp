#include "shell/HomeViewController.h"

#include "UIKit/UINavigationController.h"
#include "shell/ViewControllerClasses.h"

std::shared_ptr<HomeViewController> HomeViewController::create() {
    return std::shared_ptr<HomeViewController>(new HomeViewController());
}

void HomeViewController::rightItemClick() {
    const auto navigation = navigationController();
    if (!navigation) return;
    if (auto search = ViewControllerClasses::create("SearchViewController", listScreen()))
        navigation->pushViewController(search, true);
}
