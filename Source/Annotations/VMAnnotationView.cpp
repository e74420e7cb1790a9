#include "VMAnnotationView.h"

namespace {

// One drag at a time: the view that runs it, and where the finger holds it relative to its
// centre, in the floor's coordinates.
std::weak_ptr<VMAnnotationView> draggingView;
CGPoint dragGrip{};

constexpr UIControlEvents kAllControlEvents = 4095;

}  // namespace

std::shared_ptr<VMAnnotationView> VMAnnotationView::initWithAnnotation(
    std::shared_ptr<VMAnnotation> annotation, std::string reuseIdentifier) {
    auto view = finishCreate(std::shared_ptr<VMAnnotationView>(new VMAnnotationView()), CGRectZero);
    view->initWithAnnotationAndIdentifier(std::move(annotation), std::move(reuseIdentifier));
    return view;
}

void VMAnnotationView::initWithAnnotationAndIdentifier(std::shared_ptr<VMAnnotation> annotation,
                                                       std::string reuseIdentifier) {
    setAnnotation(std::move(annotation));
    setReuseIdentifier(std::move(reuseIdentifier));
    initGestureRecognizers();
}

VMAnnotationView::~VMAnnotationView() {
    if (annotation_) annotation_->removeObserver(this);
    removeTargetForControl(leftAccessory_);
    removeTargetForControl(rightAccessory_);
}

void VMAnnotationView::initGestureRecognizers() {
    longPress_ = UILongPressGestureRecognizer::create(sharedSelf<VMAnnotationView>(),
                                                      &VMAnnotationView::longPressGesture);
    longPress_->setDelegate(sharedSelf<VMAnnotationView>());
    longPress_->setMinimumPressDuration(0.5);
    addGestureRecognizer(longPress_);
}

void VMAnnotationView::setAnnotation(std::shared_ptr<VMAnnotation> annotation) {
    if (annotation == annotation_) return;
    if (annotation_) annotation_->removeObserver(this);
    annotation_ = std::move(annotation);
    placedCamera_ = 0;
    if (!annotation_) return;
    annotation_->addObserver(sharedSelf<VMAnnotationView>());
    updateCenter();
}

std::shared_ptr<VMAnnotationMapView> VMAnnotationView::mapView() const {
    const auto f = floor();
    return f ? std::dynamic_pointer_cast<VMAnnotationMapView>(f->superview()) : nullptr;
}

bool VMAnnotationView::visible() const {
    const auto map = mapView();
    return map && CGRectIntersectsRect(frame(), map->annotationVisibleRect());
}

// A coordinate that is not finite leaves the view where it was: it has no point to go to.
void VMAnnotationView::updateCenter() {
    const auto map = mapView();
    if (!map) return;
    if (const auto p = annotationMapPoint())
        placeAt(map->annotationPointForMapPoint(*p), map->annotationCamera());
}

void VMAnnotationView::placeAt(CGPoint point, std::uint64_t camera) {
    placedCenter_ = {point.x + centerOffset_.x, point.y + centerOffset_.y};
    placedCamera_ = camera;
    setCenter(placedCenter_);
}

void VMAnnotationView::setFrame(CGRect frame) {
    UIView::setFrame(frame);
    leavePlace();
}

void VMAnnotationView::setBounds(CGRect bounds) {
    UIView::setBounds(bounds);
    leavePlace();
}

void VMAnnotationView::leavePlace() {
    if (placedCamera_ == 0) return;
    placedCamera_ = 0;
    if (const auto map = mapView()) map->annotationViewLeftItsPlace();
}

// Kept with its coordinate: the projection costs more than the comparison, and views are
// placed again at every camera change.
std::optional<VMMapPoint> VMAnnotationView::annotationMapPoint() {
    if (!annotation_) return std::nullopt;
    const CLLocationCoordinate2D c = annotation_->coordinate();
    if (!coordinateIsFinite(c)) return std::nullopt;
    if (c.latitude != mapPointCoordinate_.latitude ||
        c.longitude != mapPointCoordinate_.longitude) {
        mapPoint_ = mapPointForCoordinate(c);
        mapPointCoordinate_ = c;
    }
    return mapPoint_;
}

void VMAnnotationView::setCenterOffset(CGPoint offset) {
    centerOffset_ = offset;
    placedCamera_ = 0;
    updateCenter();
}

CLLocationCoordinate2D VMAnnotationView::coordinateForPoint(CGPoint point) {
    const auto map = mapView();
    return map ? map->annotationCoordinateForPoint(point, floor().get()) : CLLocationCoordinate2D{};
}

void VMAnnotationView::setImage(std::shared_ptr<UIImage> image) {
    if (image == image_) return;
    image_ = std::move(image);
    layer()->setContents(image_ ? image_->CGImage() : nullptr);
    const CGSize size = image_ ? image_->size() : CGSize{};
    setBounds(CGRectMake(0, 0, size.width, size.height));
}

void VMAnnotationView::annotationDidChange(VMAnnotation&, std::string_view keyPath) {
    if (keyPath == "coordinate") {
        const auto map = mapView();
        if (map && annotation_ && !coordinateIsFinite(annotation_->coordinate())) {
            map->annotationViewHasNoPlace(sharedSelf<VMAnnotationView>());
            return;
        }
        updateCenter();
    } else if ((keyPath == "title" || keyPath == "subtitle") && selected_ && canShowCallout_) {
        showTipAnimated(false);
    }
}

void VMAnnotationView::willMoveToSuperview(const std::shared_ptr<UIView>& superview) {
    UIView::willMoveToSuperview(superview);
    if (superview) return;
    setSelected(false);
    setAnnotation(nullptr);
}

void VMAnnotationView::setSelected(bool selected, bool animated) {
    if (selected == selected_ || !superview()) return;
    selected_ = selected;
    if (selected) {
        if (canShowCallout_) showTipAnimated(animated);
        notifyDidSelect();
    } else {
        hideTipAnimated(animated);
        notifyDidDeselect();
    }
}

void VMAnnotationView::showTipAnimated(bool animated) {
    if (!tip_) tip_ = VAvaCalloutView::create();
    tip_->setDelegate(sharedSelf<VMAnnotationView>());
    tip_->setTitle(annotation_ ? annotation_->title() : std::string());
    tip_->setSubtitle(annotation_ ? annotation_->subtitle() : std::string());
    tip_->setLeftAccessoryView(leftAccessory_);
    tip_->setRightAccessoryView(rightAccessory_);
    tip_->setCalloutOffset(calloutOffset_);
    const auto floorView = floor();
    if (!floorView) return;
    tip_->presentCalloutFromRect(bounds(), sharedSelf<VMAnnotationView>(), floorView, animated);
}

void VMAnnotationView::hideTipAnimated(bool animated) {
    if (!tip_) return;
    if (tip_->superview()) tip_->dismissCalloutAnimated(animated);
    tip_->setDelegate({});
}

bool VMAnnotationView::pointInside(CGPoint point, UIEvent* event) const {
    if (UIView::pointInside(point, event)) return true;
    if (!selected_ || !tip_ || !tip_->superview()) return false;
    return tip_->pointInside(convertPointToView(point, tip_.get()), event);
}

void VMAnnotationView::calloutViewClicked(VAvaCalloutView&) {
    if (auto map = mapView())
        map->annotationViewDidAnnotationViewCalloutTapped(sharedSelf<VMAnnotationView>());
}

std::optional<bool> VMAnnotationView::calloutViewShouldHighlight(VAvaCalloutView&) {
    const auto map = mapView();
    return map &&
           map->annotationViewShouldAnnotationViewCalloutHighlight(sharedSelf<VMAnnotationView>());
}

std::optional<double> VMAnnotationView::calloutViewDelayForRepositionWithSize(VAvaCalloutView&,
                                                                              CGSize offset) {
    if (auto map = mapView()) map->annotationViewScrollMapBy(offset);
    return 1.0 / 3;
}

void VMAnnotationView::setLeftCalloutAccessoryView(std::shared_ptr<UIView> view) {
    if (view == leftAccessory_) return;
    removeTargetForControl(leftAccessory_);
    leftAccessory_ = std::move(view);
    addTargetForControl(leftAccessory_);
}

void VMAnnotationView::setRightCalloutAccessoryView(std::shared_ptr<UIView> view) {
    if (view == rightAccessory_) return;
    removeTargetForControl(rightAccessory_);
    rightAccessory_ = std::move(view);
    addTargetForControl(rightAccessory_);
}

void VMAnnotationView::addTargetForControl(const std::shared_ptr<UIView>& view) {
    const auto control = std::dynamic_pointer_cast<UIControl>(view);
    if (!control) return;
    std::weak_ptr<VMAnnotationView> weak = sharedSelf<VMAnnotationView>();
    control->addTarget(
        weak,
        [weak](const std::shared_ptr<UIControl>& sender, UIEvent*) {
            if (auto self = weak.lock()) self->notifyCalloutAccessoryControlTapped(sender);
        },
        UIControlEventTouchUpInside);
}

void VMAnnotationView::removeTargetForControl(const std::shared_ptr<UIView>& view) {
    if (auto* control = dynamic_cast<UIControl*>(view.get())) {
        control->removeTarget(this, kAllControlEvents);
    }
}

void VMAnnotationView::notifyDidSelect() {
    if (auto map = mapView()) map->didSelectAnnotationView(sharedSelf<VMAnnotationView>());
}

void VMAnnotationView::notifyDidDeselect() {
    if (auto map = mapView()) map->didDeselectAnnotationView(sharedSelf<VMAnnotationView>());
}

void VMAnnotationView::notifyDidChangeDragState(long newState, long oldState) {
    if (auto map = mapView()) {
        map->annotationViewDidChangeDragState(sharedSelf<VMAnnotationView>(), newState, oldState);
    }
}

void VMAnnotationView::notifyCalloutAccessoryControlTapped(
    const std::shared_ptr<UIControl>& control) {
    if (auto map = mapView()) {
        map->annotationViewCalloutAccessoryControlTapped(sharedSelf<VMAnnotationView>(), control);
    }
}

bool VMAnnotationView::supportDragOperation() const {
    return draggable_ && annotation_ && annotation_->respondsToSetCoordinate();
}

bool VMAnnotationView::gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>& r) {
    if (r != longPress_) return true;
    // One finger holds one pin: a press on another view waits until the running drag is over.
    const auto running = draggingView.lock();
    return supportDragOperation() && (!running || running.get() == this);
}

bool VMAnnotationView::gestureRecognizerShouldReceiveTouch(
    const std::shared_ptr<UIGestureRecognizer>& r, const std::shared_ptr<UITouch>& touch) {
    return !(r && r == tap_ && dynamic_cast<UIControl*>(touch->view().get()));
}

void VMAnnotationView::longPressGesture(UILongPressGestureRecognizer& recognizer) {
    const auto f = floor();
    switch (recognizer.state()) {
        case UIGestureRecognizerStateBegan: {
            draggingView = sharedSelf<VMAnnotationView>();
            selectedBeforeStarting_ = isSelected();
            setSelected(false);
            dropStateChanged_ = false;
            setDragState(VMAnnotationViewDragStateStarting, true);
            const CGPoint p = recognizer.locationInView(f.get());
            dragGrip = {p.x - center().x, p.y - center().y};
            break;
        }
        case UIGestureRecognizerStateChanged: {
            if (dragState_ != VMAnnotationViewDragStateDragging) break;
            dropStateChanged_ = true;
            const CGPoint p = recognizer.locationInView(f.get());
            setCenter({p.x - dragGrip.x, p.y - dragGrip.y});
            break;
        }
        case UIGestureRecognizerStateEnded:
        case UIGestureRecognizerStateCancelled:
            setDragState(dropStateChanged_ ? VMAnnotationViewDragStateEnding
                                           : VMAnnotationViewDragStateCanceling,
                         true);
            break;
        default:
            break;
    }
}

void VMAnnotationView::setDragState(long state, bool animated) {
    if (state < VMAnnotationViewDragStateNone || state > VMAnnotationViewDragStateEnding ||
        state == dragState_)
        return;
    const long old = dragState_;
    dragState_ = state;
    switch (state) {
        case VMAnnotationViewDragStateNone:
            if (draggingView.lock().get() == this) draggingView.reset();
            setSelected(selectedBeforeStarting_, true);
            notifyDidChangeDragState(state, old);
            break;
        case VMAnnotationViewDragStateStarting:
            notifyDidChangeDragState(state, old);
            setDragState(VMAnnotationViewDragStateDragging, animated);
            break;
        case VMAnnotationViewDragStateDragging:
            notifyDidChangeDragState(state, old);
            break;
        default: {
            // The annotation lies under the view's centre less the offset the view keeps
            // from it, so an offset view neither drifts on every drop nor moves on a cancel.
            if (annotation_) {
                const CGPoint c = center();
                annotation_->setCoordinate(
                    coordinateForPoint({c.x - centerOffset_.x, c.y - centerOffset_.y}));
            }
            notifyDidChangeDragState(state, old);
            setDragState(VMAnnotationViewDragStateNone, animated);
            break;
        }
    }
}
