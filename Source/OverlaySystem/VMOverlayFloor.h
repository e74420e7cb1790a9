#pragma once

#include <memory>

#include "UIKit/UIView.h"
#include "VMOverlayContainerView.h"

// A plain view that draws the overlay views placed in it, for callers that keep overlay views
// in a view of their own. The map view draws through its overlay container instead.
class VMOverlayFloor : public UIView {
  public:
    static std::shared_ptr<VMOverlayFloor> create(CGRect frame);

    // The superview, when it is a map that answers for its visible area.
    std::shared_ptr<VMOverlayContainerViewDelegate> mapView() const;
    // The map's visible area grown by half its size on every side; empty without a map.
    VMMapRect visibleMapRect() const;
    // Draws the ground overlays, or all the others, that reach the grown visible area.
    void drawOverlaysWithIsGroundOverlayFlag(bool ground);
    void referenceDidChange();
    void didAddSubview(const std::shared_ptr<UIView>& subview) override;

  protected:
    VMOverlayFloor() = default;
};
