#pragma once

#include <cstdint>
#include <memory>

#include "CoreGraphics/CGGeometry.h"
#include "CoreLocation/CLLocationCoordinate2D.h"
#include "OverlaySystem/VMGeometry.h"
#include "UIKit/UIControl.h"
#include "UIKit/UIView.h"

class VMAnnotationView;

// What an annotation view needs of the map view that holds its floor. The map view sits above
// this library, so it answers through this interface.
class VMAnnotationMapView {
  public:
    virtual ~VMAnnotationMapView() = default;
    // The camera the map's points answer for now, as a number that changes whenever the camera
    // does and that no camera of any map had before; 0 while the map has no camera.
    virtual std::uint64_t annotationCamera() = 0;
    // The point of the map view over a map point, for that camera.
    virtual CGPoint annotationPointForMapPoint(VMMapPoint point) = 0;
    // A view of the floor may no longer stand where the map placed it (its frame or bounds were
    // set): the next pass looks at every view.
    virtual void annotationViewLeftItsPlace() {}
    // The coordinate under a point of another view of the same window.
    virtual CLLocationCoordinate2D annotationCoordinateForPoint(CGPoint point,
                                                                const UIView* view) = 0;
    // The view's annotation moved to a coordinate that is not finite, which has no place on the
    // map: the map takes the view away.
    virtual void annotationViewHasNoPlace(const std::shared_ptr<VMAnnotationView>&) {}
    // Where annotation views count as visible, in the map view's points.
    virtual CGRect annotationVisibleRect() { return {}; }
    // Reports of the annotation views, passed on to the map's delegate.
    virtual void didSelectAnnotationView(const std::shared_ptr<VMAnnotationView>&) {}
    virtual void didDeselectAnnotationView(const std::shared_ptr<VMAnnotationView>&) {}
    virtual void annotationViewDidChangeDragState(const std::shared_ptr<VMAnnotationView>&,
                                                  long /*newState*/, long /*oldState*/) {}
    virtual void annotationViewCalloutAccessoryControlTapped(
        const std::shared_ptr<VMAnnotationView>&, const std::shared_ptr<UIControl>&) {}
    // The callout's box was tapped; whether it shows a pressed look (only when someone listens).
    virtual void annotationViewDidAnnotationViewCalloutTapped(
        const std::shared_ptr<VMAnnotationView>&) {}
    virtual bool annotationViewShouldAnnotationViewCalloutHighlight(
        const std::shared_ptr<VMAnnotationView>&) {
        return false;
    }
    // Scrolls the map, animated, so that what lies at the offset from the screen anchor comes
    // to it.
    virtual void annotationViewScrollMapBy(CGSize /*offset*/) {}
};
