#pragma once

#include <memory>

#include "UIKit/UIViewController.h"
#include "orders/OrderMiddleViewController.h"
#include "orders/PositionLookup.h"

// Finds the address of where the user is and tells the delegate, once. The lookup starts when
// the screen is made: an off-screen map view follows the user's position, and its first fix is
// reverse-geocoded.
class MapViewController : public UIViewController {
  public:
    static std::shared_ptr<MapViewController> create();

    void viewDidLoad() override;
    // The screen shows no bars of its containers.
    void viewWillAppear(bool animated) override;
    void setDelegate(std::weak_ptr<MapViewDelegate> delegate) { delegate_ = std::move(delegate); }
    std::shared_ptr<MapViewDelegate> delegate() const { return delegate_.lock(); }

    // A new lookup: the off-screen map view, then the search (initSearch) for its first fix.
    void initMapView();
    void initSearch();

    const std::shared_ptr<VMMapView>& mapView() const { return lookup_->mapView(); }
    bool haveSendRequest() const { return lookup_->haveSendRequest(); }

  protected:
    MapViewController() = default;

  private:
    std::shared_ptr<PositionLookup> lookup_;
    std::weak_ptr<MapViewDelegate> delegate_;
};
