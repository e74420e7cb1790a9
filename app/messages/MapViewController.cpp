#include "messages/MapViewController.h"

#include "VAvaSearchServices.h"
#include "VMMapServices.h"
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

void MapViewController::initMapView() {
    // The map kit takes the vendor key the application registered for its searches.
    VMMapServices::sharedServices()->setApiKey(VAvaSearchServices::sharedServices()->apiKey());
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
