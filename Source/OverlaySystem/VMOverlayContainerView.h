#pragma once

#include <memory>

#include "UIKit/UIView.h"

class VMOverlayContainerViewDelegate {
  public:
    virtual ~VMOverlayContainerViewDelegate() = default;
};

// Holds the map's overlays by level; they are drawn with GL inside the engine's frame, so the
// container is never part of the view tree.
class VMOverlayContainerView : public UIView {
  public:
    static std::shared_ptr<VMOverlayContainerView> create(CGRect frame);

    std::shared_ptr<VMOverlayContainerViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<VMOverlayContainerViewDelegate> d) { delegate_ = std::move(d); }

  protected:
    VMOverlayContainerView() = default;

  private:
    std::weak_ptr<VMOverlayContainerViewDelegate> delegate_;
};
