#include "shell/OfferViewController.h"

std::shared_ptr<OfferViewController> OfferViewController::create() {
    return std::shared_ptr<OfferViewController>(new OfferViewController());
}
