// The user location: the location manager's fixes and headings, shown and followed.
#include "UIKit/UIApplication.h"
#include "VMAnalytics.h"
#include "VMMapViewInternal.h"

namespace {

constexpr double kAngleIndicatorRadius = 68.0;
constexpr double kAngleIndicatorAngle = 75.0;

std::shared_ptr<CLLocation> constructOffsetLocation(const std::shared_ptr<CLLocation>& location) {
    if (!location) return nullptr;
    CLLocation::Values v = location->values();
    v.coordinate = VMUserLocation::offsetCoordinate(v.coordinate);
    return CLLocation::create(v);
}

}  // namespace

void VMMapView::setShowsUserLocation(bool show) {
    if (show == showsUserLocation_) return;
    showsUserLocation_ = show;
    if (show) {
        if (auto d = delegate()) d->mapViewWillStartLocatingUser(*this);
        locationManager_->startUpdatingLocation();
        locationManager_->startUpdatingHeading();
        userLocation_->setUpdating(true);
        return;
    }
    locationManager_->stopUpdatingLocation();
    locationManager_->stopUpdatingHeading();
    userLocation_->setUpdating(false);
    removeUserLocationInterface();
    if (userTrackingMode_ == 2) resetUserLocationHeading();
    if (auto d = delegate()) d->mapViewDidStopLocatingUser(*this);
}

bool VMMapView::isUserLocationVisible() {
    if (!showsUserLocation_) return false;
    return CGRectContainsPoint(
        bounds(), pointForMapPoint(mapPointForCoordinate(userLocation_->coordinate())));
}

void VMMapView::setUserTrackingMode(long mode, bool animated) {
    // A negative mode means no tracking.
    if (mode < 0) mode = 0;
    if (mode == 2 && !CLLocationManager::headingAvailable()) mode = 1;
    if (mode > 2 || mode == userTrackingMode_) return;
    if (userTrackingMode_ == 2 && showsUserLocation_) {
        removeAngleIndicator();
        resetUserLocationHeading();
    }
    userTrackingMode_ = mode;
    if (mode != 0) {
        if (!showsUserLocation_) setShowsUserLocation(true);
        if (userLocationInterfaceExisted())
            internalSetCenterCoordinate(userLocation_->coordinate(), false, false);
    }
    if (auto d = delegate()) d->mapViewDidChangeUserTrackingMode(*this, mode, animated);
}

void VMMapView::decreaseUserTrackingModeWithFlag(long flag) {
    if (!showsUserLocation_ || userTrackingMode_ == 0) return;
    // Lowers heading tracking to following with 1, ends tracking with 0; never raises it.
    if (flag < userTrackingMode_) setUserTrackingMode(flag);
}

void VMMapView::refreshHeadingOffsetWithOrientation(UIDeviceOrientation orientation) {
    switch (orientation) {
        case UIDeviceOrientationPortrait:
            headingOffset_ = 0;
            break;
        case UIDeviceOrientationPortraitUpsideDown:
            headingOffset_ = 180;
            break;
        case UIDeviceOrientationLandscapeLeft:
            headingOffset_ = 90;
            break;
        case UIDeviceOrientationLandscapeRight:
            headingOffset_ = -90;
            break;
        // Lying flat says nothing about which way the screen is turned.
        default:
            break;
    }
}

void VMMapView::updateHeadingForDeviceOrientation() {
    if (!locationManager_) return;
    const auto o = UIApplication::sharedApplication()->statusBarOrientation();
    const bool kept = o == UIInterfaceOrientationPortraitUpsideDown ||
                      o == UIInterfaceOrientationLandscapeLeft ||
                      o == UIInterfaceOrientationLandscapeRight;
    locationManager_->setHeadingOrientation(kept ? static_cast<CLDeviceOrientation>(o)
                                                 : CLDeviceOrientationPortrait);
}

void VMMapView::mapDidChanged() {
    refreshHeadingOffsetWithOrientation(UIDevice::currentDevice()->orientation());
    updateAnnotationsPosition();
}

void VMMapView::resetUserLocationHeading() { setRotationDegree(0, true, kHeadingDuration); }

void VMMapView::addUserLocationInterface() {
    addAnnotation(userLocation_);
    addOverlay(userCircle_);
}

void VMMapView::removeUserLocationInterface() {
    removeAnnotation(userLocation_);
    removeOverlay(userCircle_);
}

void VMMapView::updateUserLocationInterface() {
    const auto& location = userLocation_->location();
    if (!location) return;
    userLocation_->setCoordinate(location->coordinate());
    userCircle_->setCoordinate(location->coordinate());
    userCircle_->setRadius(location->horizontalAccuracy());
    if (auto circleView = viewForOverlay(userCircle_)) circleView->referenceDidChange();
}

void VMMapView::diveFitsTracking() {
    if (currentZoomLevel() > kDiveMaxZoom) return;
    notifyDelegateRegionWillChangeAnimated(false);
    zoomToLevel(kDiveZoom);
    notifyDelegateRegionDidChangeAnimated(false);
}

void VMMapView::notifyDelegateUpdateUserLocation(bool updatingLocation) {
    auto d = delegate();
    if (!d) return;
    if (!d->mapViewDidUpdateUserLocation(*this, userLocation_, updatingLocation))
        d->mapViewDidUpdateUserLocation(*this, userLocation_);
}

void VMMapView::locationManagerDidUpdateToLocation(CLLocationManager&,
                                                   const std::shared_ptr<CLLocation>& location,
                                                   const std::shared_ptr<CLLocation>&) {
    verifyThread();
    if (!showsUserLocation_) return;
    // Kept alive through the delegate calls, which may let the view go.
    auto keep = sharedSelf<VMMapView>();
    userLocation_->setLocation(constructOffsetLocation(location));
    if (!userLocationInterfaceExisted()) {
        addUserLocationInterface();
        if (userTrackingMode_ != 0) diveFitsTracking();
    }
    updateUserLocationInterface();
    if (userTrackingMode_ != 0)
        internalSetCenterCoordinate(userLocation_->coordinate(), false, false);
    else
        updateAnnotationsPosition();
    notifyDelegateUpdateUserLocation(true);
}

void VMMapView::locationManagerDidUpdateHeading(CLLocationManager&,
                                                const std::shared_ptr<CLHeading>& heading) {
    verifyThread();
    if (!showsUserLocation_) return;
    auto keep = sharedSelf<VMMapView>();
    userLocation_->setHeading(heading);
    updateUserLocationAngle();
    notifyDelegateUpdateUserLocation(false);
}

void VMMapView::updateUserLocationAngle() {
    const auto& heading = userLocation_->heading();
    if (!showsUserLocation_ || userTrackingMode_ != 2 || !heading) return;
    setRotationDegree(heading->trueHeading() + headingOffset_, true, kHeadingDuration);
    if (!userLocationViewIsCustomized_ && !(angleIndicator_ && angleIndicator_->superview()))
        addAngleIndicator();
}

void VMMapView::addAngleIndicator() {
    const auto view = viewForAnnotation(userLocation_);
    if (!view) return;
    angleIndicator_ = VMAngleIndicator::initWithRadius(kAngleIndicatorRadius);
    const CGRect b = view->bounds();
    angleIndicator_->setCenter({CGRectGetMidX(b), CGRectGetMidY(b)});
    angleIndicator_->setAngle(kAngleIndicatorAngle);
    view->insertSubviewAtIndex(angleIndicator_, 0);
}

void VMMapView::removeAngleIndicator() {
    if (angleIndicator_) angleIndicator_->removeFromSuperview();
    angleIndicator_.reset();
}

void VMMapView::locationManagerDidFailWithError(CLLocationManager&, const NSError& error) {
    VMAnalytics::sharedInstance()->logInfo(error.localizedDescription, "LOCATION_FAILED_ERROR",
                                           VMAnalyticsLogTypeError);
    if (auto d = delegate()) d->mapViewDidFailToLocateUserWithError(*this, error);
}
