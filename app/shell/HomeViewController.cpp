#include "shell/HomeViewController.h"

std::shared_ptr<HomeViewController> HomeViewController::create() {
    return std::shared_ptr<HomeViewController>(new HomeViewController());
}
