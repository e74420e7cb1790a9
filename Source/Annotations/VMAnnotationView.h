#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "OverlaySystem/VMOverlay.h"
#include "UIKit/UIControl.h"
#include "UIKit/UIGestureRecognizer.h"
#include "UIKit/UIImage.h"
#include "UIKit/UILongPressGestureRecognizer.h"
#include "UIKit/UITapGestureRecognizer.h"
#include "UIKit/UIView.h"
#include "VAvaCalloutView.h"
#include "VMAnnotationMapView.h"
#include "VMViewRecycler.h"

enum VMAnnotationViewDragState : long {
    VMAnnotationViewDragStateNone = 0,
    VMAnnotationViewDragStateStarting = 1,
    VMAnnotationViewDragStateDragging = 2,
    VMAnnotationViewDragStateCanceling = 3,
    VMAnnotationViewDragStateEnding = 4,
};

// Marks an annotation on the map: it keeps itself on its annotation's screen point, follows the
// annotation's changes, can be selected, and drags the annotation after a long press. It lives
// in the map view's annotation floor and reports through the floor's superview, the map view.
// Main thread only.
class VMAnnotationView : public UIView,
                         public VMRecyclableView,
                         public VMAnnotationObserver,
                         public VAvaCalloutViewDelegate,
                         public UIGestureRecognizerDelegate {
  public:
    static std::shared_ptr<VMAnnotationView> initWithAnnotation(
        std::shared_ptr<VMAnnotation> annotation, std::string reuseIdentifier);
    ~VMAnnotationView() override;

    std::string reuseIdentifier() const override { return reuseIdentifier_; }
    void setReuseIdentifier(std::string identifier) { reuseIdentifier_ = std::move(identifier); }

    const std::shared_ptr<VMAnnotation>& annotation() const { return annotation_; }
    // Watches the new annotation and moves onto it; the old one is no longer watched.
    void setAnnotation(std::shared_ptr<VMAnnotation> annotation);
    // The annotation's screen point plus the centre offset.
    void updateCenter();
    // The map's placement: the centre at the point plus the offset, for the camera the map
    // numbers `camera` (VMAnnotationMapView::annotationCamera).
    void placeAt(CGPoint point, std::uint64_t camera);
    // A frame or bounds set by hand leave the place: the map places the view at its next pass.
    void setFrame(CGRect frame) override;
    void setBounds(CGRect bounds) override;
    // Placed for that camera and not moved since: placing it again would change nothing.
    bool isPlacedFor(std::uint64_t camera) const {
        return camera != 0 && camera == placedCamera_ && center() == placedCenter_;
    }
    // The annotation's map point, worked out again only for a coordinate other than the one it
    // was worked out from; none without an annotation or for a coordinate that is not finite.
    std::optional<VMMapPoint> annotationMapPoint();
    CGPoint centerOffset() const { return centerOffset_; }
    void setCenterOffset(CGPoint offset);
    CGPoint calloutOffset() const { return calloutOffset_; }
    void setCalloutOffset(CGPoint offset) { calloutOffset_ = offset; }
    CLLocationCoordinate2D coordinateForPoint(CGPoint point);
    // The view takes the picture's size; its centre stays.
    const std::shared_ptr<UIImage>& image() const { return image_; }
    void setImage(std::shared_ptr<UIImage> image);
    void annotationDidChange(VMAnnotation& annotation, std::string_view keyPath) override;

    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool h) { highlighted_ = h; }
    bool isEnabled() const { return isUserInteractionEnabled(); }
    void setEnabled(bool e) { setUserInteractionEnabled(e); }
    bool canShowCallout() const { return canShowCallout_; }
    void setCanShowCallout(bool c) { canShowCallout_ = c; }
    bool isDraggable() const { return draggable_; }
    void setDraggable(bool d) { draggable_ = d; }

    // Selection: nothing without a superview or when nothing changes.
    bool isSelected() const { return selected_; }
    void setSelected(bool selected) { setSelected(selected, false); }
    void setSelected(bool selected, bool animated);
    bool selectedBeforeStarting() const { return selectedBeforeStarting_; }
    void showTipAnimated(bool animated);
    void hideTipAnimated(bool animated);
    // The callout, made on the first show and kept.
    const std::shared_ptr<VAvaCalloutView>& tip() const { return tip_; }
    // Touches on the shown callout belong to this view, though it lies outside the bounds.
    bool pointInside(CGPoint point, UIEvent* event) const override;
    // VAvaCalloutViewDelegate.
    bool respondsToCalloutViewClicked() const override { return true; }
    void calloutViewClicked(VAvaCalloutView&) override;
    std::optional<bool> calloutViewShouldHighlight(VAvaCalloutView&) override;
    std::optional<double> calloutViewDelayForRepositionWithSize(VAvaCalloutView&,
                                                                CGSize offset) override;

    const std::shared_ptr<UIView>& leftCalloutAccessoryView() const { return leftAccessory_; }
    void setLeftCalloutAccessoryView(std::shared_ptr<UIView> view);
    const std::shared_ptr<UIView>& rightCalloutAccessoryView() const { return rightAccessory_; }
    void setRightCalloutAccessoryView(std::shared_ptr<UIView> view);

    // Dragging.
    long dragState() const { return dragState_; }
    void setDragState(long state) { setDragState(state, false); }
    virtual void setDragState(long state, bool animated);
    bool isDropStateChanged() const { return dropStateChanged_; }
    bool supportDragOperation() const;
    void longPressGesture(UILongPressGestureRecognizer& recognizer);
    bool gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>& r) override;
    bool gestureRecognizerShouldReceiveTouch(const std::shared_ptr<UIGestureRecognizer>& r,
                                             const std::shared_ptr<UITouch>& touch) override;
    const std::shared_ptr<UITapGestureRecognizer>& tapGestureGecognizer() const { return tap_; }
    void setTapGestureGecognizer(std::shared_ptr<UITapGestureRecognizer> r) { tap_ = std::move(r); }
    const std::shared_ptr<UILongPressGestureRecognizer>& longPressGestureGecognizer() const {
        return longPress_;
    }

    // The map view that holds the floor that holds this view, if any.
    std::shared_ptr<VMAnnotationMapView> mapView() const;
    // On a map and within the part of it where annotations show.
    bool visible() const;
    // Leaving its superview, the view lets go of its selection and its annotation.
    void willMoveToSuperview(const std::shared_ptr<UIView>& superview) override;

  protected:
    VMAnnotationView() = default;
    void initWithAnnotationAndIdentifier(std::shared_ptr<VMAnnotation> annotation,
                                         std::string reuseIdentifier);
    void notifyDidChangeDragState(long newState, long oldState);

  private:
    void leavePlace();
    void initGestureRecognizers();
    void notifyDidSelect();
    void notifyDidDeselect();
    void notifyCalloutAccessoryControlTapped(const std::shared_ptr<UIControl>& control);
    void addTargetForControl(const std::shared_ptr<UIView>& view);
    void removeTargetForControl(const std::shared_ptr<UIView>& view);
    std::shared_ptr<UIView> floor() const { return superview(); }

    bool highlighted_ = false;
    bool selected_ = false;
    bool selectedBeforeStarting_ = false;
    bool canShowCallout_ = false;
    bool draggable_ = false;
    bool dropStateChanged_ = false;
    std::string reuseIdentifier_;
    std::shared_ptr<VMAnnotation> annotation_;
    std::shared_ptr<UIImage> image_;
    std::shared_ptr<VAvaCalloutView> tip_;
    std::shared_ptr<UIView> leftAccessory_;
    std::shared_ptr<UIView> rightAccessory_;
    long dragState_ = VMAnnotationViewDragStateNone;
    std::shared_ptr<UITapGestureRecognizer> tap_;
    std::shared_ptr<UILongPressGestureRecognizer> longPress_;
    CGPoint centerOffset_{};
    CGPoint calloutOffset_{};
    std::uint64_t placedCamera_ = 0;
    CGPoint placedCenter_{};
    // Not a number until the first map point is worked out, so that no coordinate matches it.
    CLLocationCoordinate2D mapPointCoordinate_{std::numeric_limits<double>::quiet_NaN(),
                                               std::numeric_limits<double>::quiet_NaN()};
    VMMapPoint mapPoint_{};
};
