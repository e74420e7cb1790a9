#pragma once

#include <functional>
#include <memory>
#include <string>

#include "CoreLocation/CLLocation.h"
#include "Foundation/NSTimer.h"
#include "VAvaSearchAPI.h"
#include "VMMapView.h"

// The address of where the engineer is, found once: an off-screen map view follows the user's
// position, and its first fix is reverse-geocoded. The loading view shows until the address is
// handed over, or until the lookup fails: no map view, no fix in time, or a failed search.
class PositionLookup : public VMMapViewDelegate,
                       public VAvaSearchDelegate,
                       public std::enable_shared_from_this<PositionLookup> {
  public:
    using AddressHandler = std::function<void(const std::string& address)>;
    // How long a fix may take before the lookup gives up.
    static constexpr double kFixTimeout = 15;
    // What the engineer is told when the position cannot be had.
    static constexpr const char* kFailureMessage = "无法获取当前位置";

    // A lookup that starts with initMapView and initSearch. onSent runs as the search is sent;
    // onFailed on a later turn than initMapView, once, after the loading view went, when no
    // address will come.
    static std::shared_ptr<PositionLookup> create(AddressHandler onAddress,
                                                  std::function<void()> onFailed,
                                                  std::function<void()> onSent = {});
    ~PositionLookup() override;

    // Shows the loading view and starts the off-screen map view, the size of bounds (that of the
    // asking screen), following the user's position.
    void initMapView(const CGRect& bounds);
    // The search client that turns the first fix into an address.
    void initSearch();

    using VMMapViewDelegate::mapViewDidUpdateUserLocation;
    bool mapViewDidUpdateUserLocation(VMMapView& mapView,
                                      const std::shared_ptr<VMUserLocation>& userLocation,
                                      bool updatingLocation) override;
    void onReGeocodeSearchDone(
        const std::shared_ptr<VAvaReGeocodeSearchRequest>& request,
        const std::shared_ptr<VAvaReGeocodeSearchResponse>& response) override;
    void VAvaSearchRequestDidFailWithError(const std::shared_ptr<VAvaSearchRequest>& request,
                                           const NSError& error) override;

    // Null when the map view could not be made: no position then, and the lookup fails.
    const std::shared_ptr<VMMapView>& mapView() const { return mapView_; }
    const std::shared_ptr<VAvaSearchAPI>& search() const { return search_; }
    bool haveSendRequest() const { return haveSendRequest_; }

  private:
    PositionLookup(AddressHandler onAddress, std::function<void()> onFailed,
                   std::function<void()> onSent)
        : onAddress_(std::move(onAddress)),
          onFailed_(std::move(onFailed)),
          onSent_(std::move(onSent)) {}
    void reGeoAction();
    void fail(const char* why);

    AddressHandler onAddress_;
    std::function<void()> onFailed_;
    std::function<void()> onSent_;
    std::shared_ptr<NSTimer> timeout_;
    bool finished_ = false;
    std::shared_ptr<VMMapView> mapView_;
    std::shared_ptr<VAvaSearchAPI> search_;
    std::shared_ptr<CLLocation> currentLocation_;
    bool haveSendRequest_ = false;
};
