#pragma once

#include <array>
#include <memory>
#include <vector>

#include "UIKit/UIView.h"
#include "VMOverlay.h"
#include "VMOverlayView.h"

class VMOverlayContainerViewDelegate {
  public:
    virtual ~VMOverlayContainerViewDelegate() = default;
    // The map area on screen; nothing without a map.
    virtual VMMapRect visibleMapRect() { return {}; }
};

// Holds the map's overlays by level, each with the view that draws it; they are drawn with GL
// inside the engine's frame, so the container is never part of the view tree.
class VMOverlayContainerView : public UIView {
  public:
    static std::shared_ptr<VMOverlayContainerView> create(CGRect frame);

    std::shared_ptr<VMOverlayContainerViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<VMOverlayContainerViewDelegate> d) { delegate_ = std::move(d); }

    // Pairs the overlay with its view at the index (at most the end) of level 0 or 1; the view
    // draws on the delegate's map and converts its points at once. An overlay already present,
    // or a missing one, is ignored.
    void insertOverlay(std::shared_ptr<VMOverlay> overlay, std::shared_ptr<VMOverlayView> drawable,
                       std::size_t index, int level);
    void removeOverlay(const std::shared_ptr<VMOverlay>& overlay);
    bool existsOverlay(const std::shared_ptr<VMOverlay>& overlay) const;
    std::vector<std::shared_ptr<VMOverlay>> overlaysInLevel(int level) const;
    // Inside the engine's frame: the views of the level whose overlays reach into the grown
    // visible rect draw, first added first.
    void drawOverlaysInLevel(int level);
    void referenceDidChange();
    // The delegate's visible rect grown to twice its width and height about the same centre.
    VMMapRect visibleMapRect() const;

  protected:
    VMOverlayContainerView() = default;

  private:
    std::weak_ptr<VMOverlayContainerViewDelegate> delegate_;
    std::array<std::vector<std::shared_ptr<VMOverlay>>, 2> overlays_;
    std::array<std::vector<std::shared_ptr<VMOverlayView>>, 2> drawables_;
};
