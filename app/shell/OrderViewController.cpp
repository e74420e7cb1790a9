#include "shell/OrderViewController.h"

std::shared_ptr<OrderViewController> OrderViewController::create() {
    return std::shared_ptr<OrderViewController>(new OrderViewController());
}
