#include "shell/ViewControllerClasses.h"

#include <map>

#include "inquiries/FavoritaViewController.h"
#include "inquiries/MiddleViewController.h"
#include "inquiries/OfferMiddleViewController.h"
#include "inquiries/SearchViewController.h"
#include "orders/OrderMiddleViewController.h"
#include "shell/HomeViewController.h"
#include "shell/OfferViewController.h"
#include "shell/OrderViewController.h"

namespace {

// Listed here rather than registered from each class's own file: a static library drops object
// files that nothing refers to, and their registrations with them.
std::map<std::string, ViewControllerClasses::Factory>& classes() {
    static std::map<std::string, ViewControllerClasses::Factory> known = {
        {"FavoritaViewController", [](const auto&) { return FavoritaViewController::create(); }},
        {"HomeViewController", [](const auto&) { return HomeViewController::create(); }},
        {"MiddleViewController",
         [](const auto& superClass) { return MiddleViewController::create(superClass); }},
        {"OrderViewController", [](const auto&) { return OrderViewController::create(); }},
        {"OrderMiddleViewController",
         [](const auto& superClass) { return OrderMiddleViewController::create(superClass); }},
        {"OfferViewController", [](const auto&) { return OfferViewController::create(); }},
        {"OfferMiddleViewController",
         [](const auto& superClass) { return OfferMiddleViewController::create(superClass); }},
        {"SearchViewController",
         [](const auto& superClass) { return SearchViewController::create(superClass); }},
    };
    return known;
}

}  // namespace

void ViewControllerClasses::registerClass(const std::string& name, Factory factory) {
    classes()[name] = std::move(factory);
}

std::shared_ptr<UIViewController> ViewControllerClasses::create(
    const std::string& name, const std::shared_ptr<UIViewController>& superClass) {
    const auto found = classes().find(name);
    return found == classes().end() ? nullptr : found->second(superClass);
}
