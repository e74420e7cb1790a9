#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

#include "UIKit/UIView.h"
#include "VMOverlay.h"
#include "VMOverlayView.h"

using VMOverlayRef = std::shared_ptr<VMOverlay>;
using VMOverlayViewRef = std::shared_ptr<VMOverlayView>;

// What the container asks of the map that shows it. A maker that answers null is one the
// delegate does not offer: the overlay then gets no drawable and stays out.
class VMOverlayContainerViewDelegate {
  public:
    virtual ~VMOverlayContainerViewDelegate() = default;
    // The map area on screen; nothing without a map.
    virtual VMMapRect visibleMapRect() { return {}; }
    virtual VMOverlayViewRef createDrawableForOverlay(const VMOverlayRef&) { return nullptr; }
    virtual bool isUserLocationCircle(const VMOverlayRef&) { return false; }
    virtual bool customizeUserLocationAccuracyCircleRepresentation() { return false; }
    virtual VMOverlayViewRef userLocationCircleViewWithCircle(const VMOverlayRef&) {
        return nullptr;
    }
    // After an application overlay, or a batch of them, was added.
    virtual void overlayContainerAddedDrawables(const std::vector<VMOverlayViewRef>&) {}
};

// Holds the map's overlays in two ordered levels (0 under 1), each overlay paired with the view
// that draws it; they are drawn with GL inside the engine's frame, so the container is never
// part of the view tree. Main thread only.
class VMOverlayContainerView : public UIView {
  public:
    static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

    static std::shared_ptr<VMOverlayContainerView> create(CGRect frame);

    std::shared_ptr<VMOverlayContainerViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<VMOverlayContainerViewDelegate> d) { delegate_ = std::move(d); }

    // Level 0 followed by level 1, each first drawn first.
    std::vector<VMOverlayRef> overlays() const;
    // The level is clamped into 0..1.
    std::vector<VMOverlayRef> overlaysInLevel(int level) const;

    void addOverlay(const VMOverlayRef& overlay);
    void addOverlays(const std::vector<VMOverlayRef>& overlays);
    void addOverlay(const VMOverlayRef& overlay, int level);
    // Every new overlay that gets a drawable goes to the end; the delegate hears once, even
    // when none did.
    void addOverlays(const std::vector<VMOverlayRef>& overlays, int level);
    void insertOverlay(const VMOverlayRef& overlay, std::size_t index);
    // An index beyond the level's count appends.
    void insertOverlay(const VMOverlayRef& overlay, std::size_t index, int level);
    void insertOverlayAboveOverlay(const VMOverlayRef& overlay, const VMOverlayRef& sibling);
    void insertOverlayBelowOverlay(const VMOverlayRef& overlay, const VMOverlayRef& sibling);
    void removeOverlay(const VMOverlayRef& overlay);
    void removeOverlays(const std::vector<VMOverlayRef>& overlays);
    // Across levels both overlays are put in again, so each gets a new drawable.
    void exchangeOverlay(const VMOverlayRef& a, const VMOverlayRef& b);
    void exchangeOverlayAtIndex(std::size_t i, std::size_t j) { exchangeOverlayAtIndex(i, j, 1); }
    // Nothing unless the level is 0 or 1 and both indexes lie in it.
    void exchangeOverlayAtIndex(std::size_t i, std::size_t j, int level);

    VMOverlayRef overlayForIndex(std::size_t index, int level) const;
    VMOverlayViewRef drawableForOverlay(const VMOverlayRef& overlay) const;
    bool existsOverlay(const VMOverlayRef& overlay) const;
    // Level 0 then 1; without a hit, level 0 and kNotFound.
    bool checkLevel(int& level, std::size_t& index, const VMOverlayRef& overlay) const;

    // Pairs the overlay with a drawable made elsewhere at the index (at most the end) of level 0
    // or 1, without telling the delegate. Refused for a missing overlay or drawable, an overlay
    // already present and a drawable that draws another overlay already.
    void insertOverlay(const VMOverlayRef& overlay, const VMOverlayViewRef& drawable,
                       std::size_t index, int level);

    // Inside the engine's frame: the views of the level whose overlays reach into the grown
    // visible rect draw, first added first.
    void drawOverlaysInLevel(int level);
    void referenceDidChange();
    // The delegate's visible rect grown to twice its width and height about the same centre.
    VMMapRect visibleMapRect() const;

  protected:
    VMOverlayContainerView() = default;

  private:
    void removeOverlay(const VMOverlayRef& overlay, int level);

    std::weak_ptr<VMOverlayContainerViewDelegate> delegate_;
    std::array<std::vector<VMOverlayRef>, 2> overlays_;
    std::array<std::vector<VMOverlayViewRef>, 2> drawables_;
};
