#include "messages/MapViewController.h"

#include "Foundation/NSLog.h"
#include "VAvaSearchServices.h"
#include "VMMapServices.h"
#include "shell/FactoryClass.h"

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
    FactoryClass::showloadingView();
    // The map kit takes the vendor key the application registered for its searches.
    VMMapServices::sharedServices()->setApiKey(VAvaSearchServices::sharedServices()->apiKey());
    const CGRect b = view()->bounds();
    mapView_ = VMMapView::create(CGRectMake(0, 0, b.size.width, b.size.height));
    if (!mapView_) {
        NSLog("no map view for the position");
        return;
    }
    mapView_->setDelegate(std::weak_ptr<VMMapViewDelegate>(sharedSelf<MapViewController>()));
    mapView_->setCompassOrigin(CGPointMake(mapView_->compassOrigin().x, 22));
    mapView_->setScaleOrigin(CGPointMake(mapView_->scaleOrigin().x, 22));
    mapView_->setShowsUserLocation(true);
    mapView_->setUserTrackingMode(1);
    initSearch();
}

void MapViewController::initSearch() {
    search_ = VAvaSearchAPI::create();
    search_->setDelegate(std::weak_ptr<VAvaSearchDelegate>(sharedSelf<MapViewController>()));
}

bool MapViewController::mapViewDidUpdateUserLocation(
    VMMapView&, const std::shared_ptr<VMUserLocation>& userLocation, bool) {
    if (userLocation && userLocation->location())
        currentLocation_ = CLLocation::create(userLocation->location()->values());
    reGeoAction();
    return true;
}

void MapViewController::reGeoAction() {
    if (!currentLocation_ || haveSendRequest_ || !search_) return;
    haveSendRequest_ = true;
    auto request = VAvaReGeocodeSearchRequest::create();
    const CLLocationCoordinate2D c = currentLocation_->coordinate();
    request->setLocation(VAvaGeoPoint::locationWithLatitude(c.latitude, c.longitude));
    search_->VAvaReGoecodeSearch(request);
}

void MapViewController::onReGeocodeSearchDone(
    const std::shared_ptr<VAvaReGeocodeSearchRequest>&,
    const std::shared_ptr<VAvaReGeocodeSearchResponse>& response) {
    const auto& geocode = response->regeocode();
    NSLog("responce:%s", geocode->formattedAddress().c_str());
    const auto& parts = geocode->addressComponent();
    if (mapView_) {
        mapView_->userLocation()->setTitle(parts->city().empty() ? parts->province()
                                                                 : parts->city());
        mapView_->userLocation()->setSubtitle(geocode->formattedAddress());
    }
    if (auto delegate = delegate_.lock()) delegate->getAddressFromMap(geocode->formattedAddress());
    FactoryClass::deleteLoingView();
}

void MapViewController::VAvaSearchRequestDidFailWithError(const std::shared_ptr<VAvaSearchRequest>&,
                                                          const NSError& error) {
    NSLog("request.error:%s", error.localizedDescription.c_str());
}
