// The map view's annotations: the list, the views of those near the screen in the annotation
// floor, their reuse, their places and their reports.
#include <algorithm>
#include <cstring>

#include "Foundation/NSLog.h"
#include "UIKit/UIScreen.h"
#include "VMMapView.h"
#include "VMPinAnnotationView.h"
#include "VMUserLocationView.h"

namespace {

constexpr const char* kUserLocationReuseIdentifier = "userLocation";

// Listed all the same: the annotation is the caller's, and its coordinate may become finite.
void logUnplacedAnnotation(const char* entry, const VMAnnotation& annotation) {
    if (coordinateIsFinite(annotation.coordinate())) return;
    NSLog("%s: the annotation's coordinate is not finite; it is listed but not placed", entry);
}

}  // namespace

void VMMapView::addAnnotation(const VMAnnotationRef& annotation) {
    if (!annotation || !annotationSet_.insert(annotation.get()).second) return;
    annotationArray_.push_back(annotation);
    logUnplacedAnnotation("addAnnotation", *annotation);
    auto view = doAddAnnotation(annotation);
    if (!view) return;
    annotationFloor_->addSubview(view);
    if (auto d = delegate()) d->mapViewDidAddAnnotationViews(*this, {view});
}

// Collections are copied first: callers may pass the map's own list (annotationArray()), which
// the loop changes, and delegates called on the way may change it too.
void VMMapView::addAnnotations(const std::vector<VMAnnotationRef>& annotations) {
    if (annotations.empty()) return;
    const std::vector<VMAnnotationRef> adding = annotations;
    std::vector<VMAnnotationViewRef> views;
    for (const auto& annotation : adding) {
        if (!annotation || !annotationSet_.insert(annotation.get()).second) continue;
        annotationArray_.push_back(annotation);
        logUnplacedAnnotation("addAnnotations", *annotation);
        if (auto view = doAddAnnotation(annotation)) {
            annotationFloor_->addSubview(view);
            views.push_back(std::move(view));
        }
    }
    if (auto d = delegate()) d->mapViewDidAddAnnotationViews(*this, views);
}

void VMMapView::removeAnnotation(const VMAnnotationRef& given) {
    // Held here: the reference may point into the list that the erase shifts.
    const VMAnnotationRef annotation = given;
    if (!annotation) return;
    // Unlisted first, so that the reuse pass of the deselection leaves its view alone: the
    // view of a removed annotation goes back to the application, not into the pool.
    const bool listed = annotationSet_.erase(annotation.get()) > 0;
    if (listed) std::erase(annotationArray_, annotation);
    deselectAnnotation(annotation, false);
    if (!listed) return;
    if (auto view = viewForAnnotation(annotation)) view->removeFromSuperview();
}

void VMMapView::removeAnnotations(const std::vector<VMAnnotationRef>& annotations) {
    const std::vector<VMAnnotationRef> removing = annotations;
    for (const auto& annotation : removing) removeAnnotation(annotation);
}

std::vector<VMAnnotationRef> VMMapView::annotationsInMapRect(VMMapRect rect) {
    std::vector<VMAnnotationRef> inside;
    for (const auto& annotation : annotationArray_) {
        const VMMapPoint p = mapPointForCoordinate(annotation->coordinate());
        if (p.x >= rect.origin.x && p.x < rect.origin.x + rect.size.width && p.y >= rect.origin.y &&
            p.y < rect.origin.y + rect.size.height) {
            inside.push_back(annotation);
        }
    }
    return inside;
}

VMMapView::VMAnnotationViewRef VMMapView::viewForAnnotation(
    const VMAnnotationRef& annotation) const {
    if (!annotation) return nullptr;
    for (const auto& sub : annotationFloor_->subviews()) {
        auto view = std::dynamic_pointer_cast<VMAnnotationView>(sub);
        if (view && view->annotation() == annotation) return view;
    }
    return nullptr;
}

VMMapView::VMAnnotationViewRef VMMapView::dequeueReusableAnnotationViewWithIdentifier(
    const std::string& identifier) {
    return std::dynamic_pointer_cast<VMAnnotationView>(
        recycler_->dequeueReusableViewWithIdentifier(identifier));
}

VMMapView::VMAnnotationViewRef VMMapView::doAddAnnotation(const VMAnnotationRef& annotation) {
    if (!annotation || !isVisibleForAnnotation(annotation)) return nullptr;
    const auto d = delegate();
    VMAnnotationViewRef view = d ? d->mapViewViewForAnnotation(*this, annotation) : nullptr;
    const bool isUser = annotation == userLocation_;
    if (isUser) userLocationViewIsCustomized_ = view != nullptr;
    if (!view) {
        view = isUser ? userLocationAnnotationViewWithAnnotation(annotation)
                      : defaultViewForAnnotation(annotation);
    }
    view->setAnnotation(annotation);
    updateCenterForAnnotationView(view);
    return view;
}

VMMapView::VMAnnotationViewRef VMMapView::defaultViewForAnnotation(
    const VMAnnotationRef& annotation) {
    return VMPinAnnotationView::initWithAnnotation(annotation, kDefaultReuseIdentifier);
}

VMMapView::VMAnnotationViewRef VMMapView::userLocationAnnotationViewWithAnnotation(
    const VMAnnotationRef& annotation) {
    return VMUserLocationView::initWithAnnotation(annotation, kUserLocationReuseIdentifier);
}

void VMMapView::updateCenterForAnnotationView(const VMAnnotationViewRef& view) {
    if (view) placeAnnotationView(*view, screenProjection(), annotationCamera());
}

bool VMMapView::isVisibleForAnnotation(const VMAnnotationRef& annotation) {
    const CLLocationCoordinate2D c = annotation->coordinate();
    if (!coordinateIsFinite(c)) return false;
    return isVisibleAtMapPoint(annotation, mapPointForCoordinate(c), screenProjection());
}

bool VMMapView::isVisibleAtMapPoint(const VMAnnotationRef& annotation, VMMapPoint p,
                                    const ScreenProjection& projection) {
    const CGRect b = bounds();
    if (baseMapView_ && baseMapView_->isInSkyMode()) {
        return mapRectContainsPoint(mapRectForRect(b), p);
    }
    if (annotation == userLocation_) return true;
    const double s = std::min(b.size.width, b.size.height);
    return CGRectContainsPoint(CGRectInset(b, -2 * s, -2 * s), pointForMapPoint(p, projection));
}

void VMMapView::updateReusingPool() {
    if (annotationArray_.empty() || !annotationFloor_) return;
    std::unordered_set<const VMAnnotation*> shown;
    shown.reserve(annotationFloor_->subviews().size());
    std::vector<VMAnnotationViewRef> leaving;
    const ScreenProjection projection = screenProjection();
    for (const auto& sub : annotationFloor_->subviews()) {
        auto* view = dynamic_cast<VMAnnotationView*>(sub.get());
        if (!view || !view->annotation() || !annotationSet_.contains(view->annotation().get()))
            continue;
        shown.insert(view->annotation().get());
        // The map point the view keeps; a coordinate that is not finite has none and leaves.
        const auto p = view->annotationMapPoint();
        if ((p && isVisibleAtMapPoint(view->annotation(), *p, projection)) ||
            view->annotation() == selectedAnnotation_)
            continue;
        leaving.emplace_back(sub, view);
    }
    for (const auto& view : leaving) {
        view->removeFromSuperview();
        recycler_->recycleView(view);
    }
    if (shown.size() == annotationArray_.size()) return;
    const auto area = flatVisibilityBox();
    // Copied: a delegate that makes views may add or remove annotations.
    const auto listed = annotationArray_;
    for (const auto& annotation : listed) {
        if (shown.contains(annotation.get())) continue;
        if (area && annotation != userLocation_ &&
            !mapRectContainsPoint(*area, mapPointForCoordinate(annotation->coordinate())))
            continue;
        if (auto view = doAddAnnotation(annotation)) annotationFloor_->addSubview(view);
    }
}

// Looking straight down, the map under the visibility area lies within the box of its corners'
// map points (a map unit wider for rounding), which rules out far annotations without
// projecting each; a tilted camera has no such box.
std::optional<VMMapRect> VMMapView::flatVisibilityBox() {
    if (currentCameraHeaderDegree() != 0 || (baseMapView_ && baseMapView_->isInSkyMode()))
        return std::nullopt;
    const CGRect b = bounds();
    const double s = std::min(b.size.width, b.size.height);
    const VMMapRect box = mapRectForRect(CGRectInset(b, -2 * s, -2 * s));
    return VMMapRect{{box.origin.x - 1, box.origin.y - 1},
                     {box.size.width + 2, box.size.height + 2}};
}

void VMMapView::selectAnnotation(const VMAnnotationRef& annotation, bool animated) {
    if (!annotation || annotation == selectedAnnotation_ ||
        !annotationSet_.contains(annotation.get()))
        return;
    auto view = viewForAnnotation(annotation);
    if (!view) {
        setCenterCoordinate(annotation->coordinate(), false);
        view = viewForAnnotation(annotation);
    }
    if (!view) return;
    deselectAnnotation(selectedAnnotation_, false);
    selectedAnnotation_ = annotation;
    annotationFloor_->setSelectedAnnotationView(view);
    view->setSelected(true, animated);
}

void VMMapView::deselectAnnotation(const VMAnnotationRef& annotation, bool animated) {
    if (!annotation || annotation != selectedAnnotation_) return;
    const auto view = annotationFloor_->selectedAnnotationView();
    if (!view || view->annotation() != annotation) return;
    view->setSelected(false, animated);
    selectedAnnotation_ = nullptr;
    annotationFloor_->setSelectedAnnotationView(nullptr);
    updateReusingPool();
}

// One number for all maps: a view that moves to another map never finds its old camera's
// number there. Main thread only, as the views are.
std::uint64_t VMMapView::annotationCamera() {
    static std::uint64_t cameras = 0;
    const MapViewState* state = engineViewState();
    if (!state) return 0;
    const CGFloat scale = UIScreen::mainScreen()->scale();
    if (!cameraSeen_ || scale != cameraScaleSeen_ ||
        std::memcmp(&*cameraSeen_, state, sizeof *state) != 0) {
        cameraSeen_ = *state;
        cameraScaleSeen_ = scale;
        camera_ = ++cameras;
    }
    return camera_;
}

CLLocationCoordinate2D VMMapView::annotationCoordinateForPoint(CGPoint point, const UIView* view) {
    return convertPointToCoordinateFromView(point, view);
}

void VMMapView::annotationViewHasNoPlace(const VMAnnotationViewRef& view) {
    if (!view || !view->annotation()) return;
    if (view->annotation() == selectedAnnotation_) {
        // The deselection's reuse pass takes the view away.
        deselectAnnotation(selectedAnnotation_, false);
        return;
    }
    if (view->superview() != annotationFloor_) return;
    view->removeFromSuperview();
    recycler_->recycleView(view);
}

void VMMapView::didSelectAnnotationView(const VMAnnotationViewRef& view) {
    if (auto d = delegate()) d->mapViewDidSelectAnnotationView(*this, view);
}

void VMMapView::didDeselectAnnotationView(const VMAnnotationViewRef& view) {
    if (auto d = delegate()) d->mapViewDidDeselectAnnotationView(*this, view);
}

void VMMapView::annotationViewDidChangeDragState(const VMAnnotationViewRef& view, long newState,
                                                 long oldState) {
    if (auto d = delegate()) d->mapViewAnnotationView(*this, view, newState, oldState);
}

void VMMapView::annotationViewCalloutAccessoryControlTapped(
    const VMAnnotationViewRef& view, const std::shared_ptr<UIControl>& control) {
    if (auto d = delegate()) d->mapViewAnnotationView(*this, view, control);
}

void VMMapView::annotationViewDidAnnotationViewCalloutTapped(const VMAnnotationViewRef& view) {
    if (auto d = delegate()) d->mapViewDidAnnotationViewCalloutTapped(*this, view);
}

bool VMMapView::annotationViewShouldAnnotationViewCalloutHighlight(const VMAnnotationViewRef&) {
    const auto d = delegate();
    return d && d->respondsToDidAnnotationViewCalloutTapped();
}

void VMMapView::annotationViewScrollMapBy(CGSize offset) {
    const CGRect b = bounds();
    const CGPoint anchor{screenAnchor_.x * b.size.width, screenAnchor_.y * b.size.height};
    const VMMapPoint target =
        mapPointForPoint(CGPointMake(anchor.x - offset.width, anchor.y - offset.height));
    setCenterCoordinate(coordinateForMapPoint(target), true, true);
}

void VMMapView::animationRenderOver() { updateAnnotationCenters(); }

// Once per camera: the frame after a setter finds the views placed for its camera already.
// Within a pass, a view placed for another camera, or moved since, is placed again.
void VMMapView::updateAnnotationCenters() {
    if (!annotationFloor_) return;
    const std::uint64_t camera = annotationCamera();
    if (camera != 0 && camera == floorCamera_) return;
    const ScreenProjection projection = screenProjection();
    for (const auto& sub : annotationFloor_->subviews()) {
        auto* view = dynamic_cast<VMAnnotationView*>(sub.get());
        if (view && !view->isPlacedFor(camera)) placeAnnotationView(*view, projection, camera);
    }
    floorCamera_ = camera;
}

void VMMapView::placeAnnotationView(VMAnnotationView& view, const ScreenProjection& projection,
                                    std::uint64_t camera) {
    if (const auto p = view.annotationMapPoint())
        view.placeAt(pointForMapPoint(*p, projection), camera);
}

// Marked, not drawn: the display link draws once a refresh. The camera itself is handed to
// the engine now and the annotation views follow it at once, so that what is asked of the view
// before that frame (points, the annotations in sight, where a pin and its callout stand)
// answers for the new camera; only the map's picture waits for the refresh.
void VMMapView::forceRefreshBaseMapView() {
    // While the view is still being set up there is nothing to draw with yet.
    if (!annotationFloor_) return;
    if (const auto& r = render()) r->processMapEvent();
    if (placementHolds_ == 0) updateAnnotationCenters();
    baseMapView_->setNeedsDrawView();
}
