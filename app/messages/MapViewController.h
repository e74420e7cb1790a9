#pragma once

#include <memory>

#include "CoreLocation/CLLocation.h"
#include "UIKit/UIViewController.h"
#include "VAvaSearchAPI.h"
#include "VMMapView.h"
#include "orders/OrderMiddleViewController.h"

// Finds the address of where the user is and tells the delegate, once. The lookup starts when
// the screen is made: an off-screen map view follows the user's position, and its first fix is
// reverse-geocoded.
class MapViewController : public UIViewController,
                          public VMMapViewDelegate,
                          public VAvaSearchDelegate {
  public:
    static std::shared_ptr<MapViewController> create();

    void viewDidLoad() override;
    void setDelegate(std::weak_ptr<MapViewDelegate> delegate) { delegate_ = std::move(delegate); }
    std::shared_ptr<MapViewDelegate> delegate() const { return delegate_.lock(); }

    using VMMapViewDelegate::mapViewDidUpdateUserLocation;
    bool mapViewDidUpdateUserLocation(VMMapView& mapView,
                                      const std::shared_ptr<VMUserLocation>& userLocation,
                                      bool updatingLocation) override;
    void reGeoAction();
    void onReGeocodeSearchDone(
        const std::shared_ptr<VAvaReGeocodeSearchRequest>& request,
        const std::shared_ptr<VAvaReGeocodeSearchResponse>& response) override;
    void VAvaSearchRequestDidFailWithError(const std::shared_ptr<VAvaSearchRequest>& request,
                                           const NSError& error) override;

    const std::shared_ptr<VMMapView>& mapView() const { return mapView_; }
    bool haveSendRequest() const { return haveSendRequest_; }

  protected:
    MapViewController() = default;

  private:
    void initMapView();
    void initSearch();

    std::shared_ptr<VMMapView> mapView_;
    std::shared_ptr<VAvaSearchAPI> search_;
    std::shared_ptr<CLLocation> currentLocation_;
    bool haveSendRequest_ = false;
    std::weak_ptr<MapViewDelegate> delegate_;
};
