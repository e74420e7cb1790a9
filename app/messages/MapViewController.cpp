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
    std::weak_ptr<MapViewController> weak = sharedSelf<MapViewController>();
    lookup_ = PositionLookup::create(
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
    lookup_->initMapView(view()->bounds());
    initSearch();
}

// The search goes with the same vendor key as the map.
void MapViewController::initSearch() {
    VAvaSearchServices::sharedServices()->setApiKey(BrisfoldAppDelegate::kVendorApiKey);
    if (lookup_) lookup_->initSearch();
}
