#include "orders/PositionLookup.h"

#include "Foundation/NSLog.h"
#include "Foundation/NSRunLoop.h"
#include "shell/FactoryClass.h"

std::shared_ptr<PositionLookup> PositionLookup::create(AddressHandler onAddress,
                                                       std::function<void()> onFailed,
                                                       std::function<void()> onSent) {
    return std::shared_ptr<PositionLookup>(
        new PositionLookup(std::move(onAddress), std::move(onFailed), std::move(onSent)));
}

void PositionLookup::initMapView(const CGRect& bounds) {
    if (mapView_ || timeout_) return;
    FactoryClass::showloadingView();
    // Failing goes through the run loop, so the caller holds the lookup before it hears of it;
    // a lookup let go of before then stays silent.
    std::weak_ptr<PositionLookup> weak = weak_from_this();
    timeout_ = NSTimer::scheduledTimerWithTimeInterval(kFixTimeout, false, [weak](NSTimer&) {
        if (auto self = weak.lock()) self->fail("no position in time");
    });
    mapView_ = VMMapView::create(CGRectMake(0, 0, bounds.size.width, bounds.size.height));
    if (!mapView_) {
        timeout_->invalidate();
        timeout_ = NSRunLoop::mainRunLoop()->performAfterDelay(0, [weak] {
            if (auto self = weak.lock()) self->fail("no map view for the position");
        });
        return;
    }
    mapView_->setDelegate(std::weak_ptr<VMMapViewDelegate>(weak_from_this()));
    mapView_->setCompassOrigin(CGPointMake(mapView_->compassOrigin().x, 22));
    mapView_->setScaleOrigin(CGPointMake(mapView_->scaleOrigin().x, 22));
    mapView_->setShowsUserLocation(true);
    mapView_->setUserTrackingMode(1);
}

void PositionLookup::initSearch() {
    search_ = VAvaSearchAPI::create();
    search_->setDelegate(std::weak_ptr<VAvaSearchDelegate>(weak_from_this()));
}

PositionLookup::~PositionLookup() {
    if (timeout_) timeout_->invalidate();
}

void PositionLookup::fail(const char* why) {
    if (finished_) return;
    finished_ = true;
    if (timeout_) timeout_->invalidate();
    NSLog("%s", why);
    const auto keep = shared_from_this();
    FactoryClass::deleteLoingView();
    if (onFailed_) onFailed_();
}

bool PositionLookup::mapViewDidUpdateUserLocation(
    VMMapView&, const std::shared_ptr<VMUserLocation>& userLocation, bool) {
    if (userLocation && userLocation->location())
        currentLocation_ = CLLocation::create(userLocation->location()->values());
    reGeoAction();
    return true;
}

void PositionLookup::reGeoAction() {
    if (!currentLocation_ || haveSendRequest_ || !search_ || finished_) return;
    haveSendRequest_ = true;
    // The search has time-outs of its own and reports its failure.
    timeout_->invalidate();
    if (onSent_) onSent_();
    auto request = VAvaReGeocodeSearchRequest::create();
    const CLLocationCoordinate2D c = currentLocation_->coordinate();
    request->setLocation(VAvaGeoPoint::locationWithLatitude(c.latitude, c.longitude));
    search_->VAvaReGoecodeSearch(request);
}

void PositionLookup::onReGeocodeSearchDone(
    const std::shared_ptr<VAvaReGeocodeSearchRequest>&,
    const std::shared_ptr<VAvaReGeocodeSearchResponse>& response) {
    if (finished_) return;
    finished_ = true;
    // The handler may let go of this lookup.
    const auto keep = shared_from_this();
    const auto& geocode = response->regeocode();
    NSLog("responce:%s", geocode->formattedAddress().c_str());
    const auto& parts = geocode->addressComponent();
    if (mapView_) {
        mapView_->userLocation()->setTitle(parts->city().empty() ? parts->province()
                                                                 : parts->city());
        mapView_->userLocation()->setSubtitle(geocode->formattedAddress());
    }
    if (onAddress_) onAddress_(geocode->formattedAddress());
    FactoryClass::deleteLoingView();
}

void PositionLookup::VAvaSearchRequestDidFailWithError(const std::shared_ptr<VAvaSearchRequest>&,
                                                       const NSError& error) {
    NSLog("request.error:%s", error.localizedDescription.c_str());
    fail("no address for the position");
}
