#include "messages/MapViewController.h"

#include "UIKit/UINavigationController.h"
#include "UIKit/UITabBarController.h"
#include "VAvaSearchServices.h"
#include "VMMapServices.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/ShowAlertView.h"

std::shared_ptr<MapViewController> MapViewController::create() {
    auto screen = std::shared_ptr<MapViewController>(new MapViewController());
    screen->initMapView();
    return screen;
}

void MapViewController::viewDidLoad() {
    setEdgesForExtendedLayout(UIRectEdgeNone);
    view()->setBackgroundColor(UIColor::clearColor());
}

void MapViewController::viewWillAppear(bool animated) {
    UIViewController::viewWillAppear(animated);
    if (const auto navigation = navigationController()) {
        navigation->setNavigationBarHidden(true, animated);
        navigation->setToolbarHidden(true, animated);
    }
    if (const auto tabs = tabBarController()) tabs->tabBar()->setHidden(true);
}

void MapViewController::initMapView() {
    VMMapServices::sharedServices()->setApiKey(BrisfoldAppDelegate::kVendorApiKey);
    // The search that the lookup makes goes with the same vendor key.
    VAvaSearchServices::sharedServices()->setApiKey(BrisfoldAppDelegate::kVendorApiKey);
    std::weak_ptr<MapViewController> weak = sharedSelf<MapViewController>();
    lookup_ = PositionLookup::start(
        view()->bounds(),
        [weak](const std::string& address) {
            const auto self = weak.lock();
            if (!self) return;
            if (auto delegate = self->delegate_.lock()) delegate->getAddressFromMap(address);
        },
        [weak] {
            const auto self = weak.lock();
            if (!self) return;
            ShowAlertView::initializeAlertViewWithFrame(ShowAlertView::toastFrame(),
                                                        PositionLookup::kFailureMessage, 1, self)
                ->addAlertView();
        });
}
