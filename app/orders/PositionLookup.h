#pragma once

#include <functional>
#include <memory>
#include <string>

#include "CoreLocation/CLLocation.h"
#include "VAvaSearchAPI.h"
#include "VMMapView.h"

// The address of where the engineer is, found once: an off-screen map view follows the user's
// position, and its first fix is reverse-geocoded. The loading view shows until the address is
// handed over; a failed search is only logged.
class PositionLookup : public VMMapViewDelegate,
                       public VAvaSearchDelegate,
                       public std::enable_shared_from_this<PositionLookup> {
  public:
    using AddressHandler = std::function<void(const std::string& address)>;

    // bounds: the map view's size, that of the asking screen. onSent runs as the search is sent.
    static std::shared_ptr<PositionLookup> start(const CGRect& bounds, AddressHandler onAddress,
                                                 std::function<void()> onSent = {});

    using VMMapViewDelegate::mapViewDidUpdateUserLocation;
    bool mapViewDidUpdateUserLocation(VMMapView& mapView,
                                      const std::shared_ptr<VMUserLocation>& userLocation,
                                      bool updatingLocation) override;
    void onReGeocodeSearchDone(
        const std::shared_ptr<VAvaReGeocodeSearchRequest>& request,
        const std::shared_ptr<VAvaReGeocodeSearchResponse>& response) override;
    void VAvaSearchRequestDidFailWithError(const std::shared_ptr<VAvaSearchRequest>& request,
                                           const NSError& error) override;

    // Null when the map view could not be made: no position then, and nothing is handed over.
    const std::shared_ptr<VMMapView>& mapView() const { return mapView_; }
    const std::shared_ptr<VAvaSearchAPI>& search() const { return search_; }
    bool haveSendRequest() const { return haveSendRequest_; }

  private:
    PositionLookup(AddressHandler onAddress, std::function<void()> onSent)
        : onAddress_(std::move(onAddress)), onSent_(std::move(onSent)) {}
    void reGeoAction();

    AddressHandler onAddress_;
    std::function<void()> onSent_;
    std::shared_ptr<VMMapView> mapView_;
    std::shared_ptr<VAvaSearchAPI> search_;
    std::shared_ptr<CLLocation> currentLocation_;
    bool haveSendRequest_ = false;
};
