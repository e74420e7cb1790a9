#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Foundation/Dispatch.h"
#include "Foundation/NSNotificationCenter.h"
#include "GLESUtility.h"
#include "OpenGLES/ES1.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIScreen.h"
#include "VMAnalytics.h"
#include "VMMapServices.h"
#include "VMMapViewInternal.h"
#include "VMResources.h"

namespace {

constexpr unsigned kFlexibleSize =
    UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight;
constexpr unsigned kFlexibleMargins =
    UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
    UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin;
constexpr const char* kUserLocationTitle = "当前位置";
// The system version as a number, as far as its leading digits go ("9.0.1" is 9).
float systemVersion() {
    return std::strtof(UIDevice::currentDevice()->systemVersion().c_str(), nullptr);
}

constexpr float kPausesSinceVersion = 6.0f;
constexpr float kBackgroundSinceVersion = 8.99f;

}  // namespace

bool VMMapView::applicationInBackgroundState() {
    return UIApplication::sharedApplication()->applicationState() == UIApplicationStateBackground;
}

std::shared_ptr<VMMapView> VMMapView::create(CGRect frame) {
    if (applicationInBackgroundState()) return nullptr;
    auto view = finishCreate(std::shared_ptr<VMMapView>(new VMMapView()), frame);
    view->weakSelf_ = view;
    if (!view->initialize()) return nullptr;
    const auto analytics = VMAnalytics::sharedInstance();
    analytics->setCrashReportEnabled(true);
    analytics->setLogEnabled(true);
    analytics->uploadLogWithType(VMAnalyticsLogTypeCrash);
    return view;
}

bool VMMapView::initialize() {
    setAutoresizingMask(kFlexibleSize);
    setClipsToBounds(true);
    initMapLayer();
    initNotifications();
    initEnableAttributes();
    initGestureRecognizers();
    initBaseMapView();
    if (!baseMapView_) return false;
    initOverlaySystem();
    initAnnotationSystem();
    initUserlocationSystem();
    initLogoImageView();
    initTrafficColor();
    initCompassView();
    initScaleView();
    return true;
}

VMMapView::~VMMapView() {
    // Its teardown is GL and view-tree work: whatever held the view last, it goes on its thread.
    verifyThread();
    if (baseMapView_) {
        // The shared drawing utility's textures live in this view's context.
        if (const auto r = render(); r && EAGLContext::setCurrentContext(r->context())) {
            GLESUtility::sharedUtility()->clear();
        }
        setOpenGLESDisabledWithoutNotifyDelegate(true);
        baseMapView_->stopAnimation();
        baseMapView_->setDelegate({});
        baseMapView_->render()->setDelegate({});
    }
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    // The manager's updates would otherwise run on for a view that is gone.
    if (locationManager_) {
        locationManager_->stopUpdatingLocation();
        locationManager_->stopUpdatingHeading();
    }
}

void VMMapView::initMapLayer() {
    std::static_pointer_cast<VMMapLayer>(layer())->setCoreAnimationDelegate(
        sharedSelf<VMMapView>());
}

void VMMapView::initNotifications() {
    auto center = NSNotificationCenter::defaultCenter();
    auto self = sharedSelf<VMMapView>();
    center->addObserver<VMMapView>(
        self, UIApplicationDidBecomeActiveNotification, nullptr,
        [](VMMapView& v, const NSNotification&) { v.handleDidBecomeActiveNotification(); });
    center->addObserver<VMMapView>(
        self, UIApplicationWillResignActiveNotification, nullptr,
        [](VMMapView& v, const NSNotification&) { v.handleWillResignActiveNotification(); });
    center->addObserver<VMMapView>(
        self, UIApplicationDidEnterBackgroundNotification, nullptr,
        [](VMMapView& v, const NSNotification&) { v.handleDidEnterBackgroundNotification(); });
    center->addObserver<VMMapView>(
        self, UIApplicationDidChangeStatusBarOrientationNotification, nullptr,
        [](VMMapView& v, const NSNotification&) { v.handleDidChangeOrientationNotification(); });
}

void VMMapView::initEnableAttributes() {
    setZoomEnabled(true);
    setScrollEnabled(true);
    setRotateEnabled(true);
    setRotateCameraEnabled(true);
    showsCompass_ = true;
    showsLabels_ = true;
    setTouchPOIEnabled(true);
    setSkyModelEnable(true);
}

void VMMapView::initGestureRecognizers() {
    auto self = sharedSelf<VMMapView>();
    auto attach = [&](const std::shared_ptr<UIGestureRecognizer>& r) {
        r->setDelegate(std::static_pointer_cast<UIGestureRecognizerDelegate>(self));
        addGestureRecognizer(r);
    };
    zoomInGestureRecognizer_ = UITapGestureRecognizer::create(self, &VMMapView::zoomInGesture);
    zoomInGestureRecognizer_->setNumberOfTapsRequired(2);
    attach(zoomInGestureRecognizer_);
    zoomOutGestureRecognizer_ = UITapGestureRecognizer::create(self, &VMMapView::zoomOutGesture);
    zoomOutGestureRecognizer_->setNumberOfTouchesRequired(2);
    attach(zoomOutGestureRecognizer_);
    zoomPinchGestureRecognizer_ = UIPinchGestureRecognizer::create(self, &VMMapView::pinchGesture);
    attach(zoomPinchGestureRecognizer_);
    panGestureRecognizer_ = UIPanGestureRecognizer::create(self, &VMMapView::panGesture);
    panGestureRecognizer_->setMinimumNumberOfTouches(1);
    panGestureRecognizer_->setMaximumNumberOfTouches(1);
    attach(panGestureRecognizer_);
    pullGestureRecognizer_ = UIPanGestureRecognizer::create(self, &VMMapView::pullGesture);
    pullGestureRecognizer_->setMinimumNumberOfTouches(2);
    pullGestureRecognizer_->setMaximumNumberOfTouches(2);
    attach(pullGestureRecognizer_);
    rotateGestureRecognizer_ = UIRotationGestureRecognizer::create(self, &VMMapView::rotateGesture);
    attach(rotateGestureRecognizer_);
    singleTapGestureRecognizer_ =
        UITapGestureRecognizer::create(self, &VMMapView::singleTapGesture);
    singleTapGestureRecognizer_->requireGestureRecognizerToFail(zoomInGestureRecognizer_);
    attach(singleTapGestureRecognizer_);
    longPressGestureRecognizer_ =
        UILongPressGestureRecognizer::create(self, &VMMapView::longPressGesture);
    attach(longPressGestureRecognizer_);
}

void VMMapView::initBaseMapView() {
    baseMapView_ = VMBaseMapView::create(bounds());
    if (!baseMapView_) return;
    auto self = sharedSelf<VMMapView>();
    baseMapView_->setSkyModelEnabled(isSkyModelEnabled());
    baseMapView_->render()->setDelegate(std::static_pointer_cast<VURI1VovureDelegate>(self));
    baseMapView_->setAutoresizingMask(kFlexibleSize);
    baseMapView_->setDelegate(std::static_pointer_cast<VMBaseMapViewDelegate>(self));
    insertSubviewAtIndex(baseMapView_, 0);
    baseMapView_->startAnimation();
    setScreenAnchor({0.5, 0.5});
    mapPivot_ = mapPointForCoordinate(kInitialCenter);
    internalSetVisibleMapRect(mapRectForRegion({kInitialCenter, kInitialSpan}), {}, false);
}

void VMMapView::initOverlaySystem() {
    overlayContainer_ = VMOverlayContainerView::create(bounds());
    overlayContainer_->setAutoresizingMask(kFlexibleSize);
    overlayContainer_->setDelegate(
        std::static_pointer_cast<VMOverlayContainerViewDelegate>(sharedSelf<VMMapView>()));
}

void VMMapView::initAnnotationSystem() {
    annotationArray_.clear();
    annotationSet_.clear();
    annotationFloor_ = VMAnnotationFloor::create(bounds());
    annotationFloor_->setClipsToBounds(true);
    annotationFloor_->setAutoresizingMask(kFlexibleSize);
    addSubview(annotationFloor_);
    recycler_ = VMViewRecycler::create();
}

void VMMapView::initUserlocationSystem() {
    locationManager_ = CLLocationManager::create();
    locationManager_->setDelegate(
        std::static_pointer_cast<CLLocationManagerDelegate>(sharedSelf<VMMapView>()));
    if (CLLocationManager::authorizationStatus() == kCLAuthorizationStatusNotDetermined) {
        locationManager_->requestAlwaysAuthorization();
        locationManager_->requestWhenInUseAuthorization();
    }
    userLocation_ = VMUserLocation::create();
    userLocation_->setTitle(kUserLocationTitle);
    userCircle_ = VMCircle::create();
}

void VMMapView::initLogoImageView() {
    logoImageView_ = UIImageView::createWithImage(VMResources::sharedResources()->logoImage());
    logoImageView_->setFrame(CGRectMake(5, CGRectGetMaxY(bounds()) - 5 - 13, 55, 13));
    logoImageView_->setAutoresizingMask(UIViewAutoresizingFlexibleRightMargin |
                                        UIViewAutoresizingFlexibleTopMargin);
    addSubview(logoImageView_);
}

void VMMapView::initTrafficColor() {
    trafficColorWrapper_ = VMTrafficColorWrapper::create();
    applyTrafficColor(trafficColorWrapper_);
}

void VMMapView::initCompassView() {
    compassView_ = VMCompassView::compassViewWithDegree(0);
    compassView_->setAutoresizingMask(kFlexibleMargins);
    const CGSize size = compassView_->bounds().size;
    compassView_->setCenter({bounds().size.width - size.width / 2 - 5, size.height / 2 + 10});
    compassView_->setDelegate(
        std::static_pointer_cast<VMCompassViewDelegate>(sharedSelf<VMMapView>()));
    addSubview(compassView_);
}

void VMMapView::initScaleView() {
    scaleView_ = VMScaleView::create();
    scaleView_->setAutoresizingMask(kFlexibleMargins);
    scaleView_->updateOrigin({10, 10});
    addSubview(scaleView_);
    updateScaleViewForZoomLevel(currentZoomLevel(), false, 0);
}

std::shared_ptr<VURI1Vovure> VMMapView::render() const {
    return baseMapView_ ? baseMapView_->render() : nullptr;
}

MapViewState* VMMapView::projection() const {
    auto r = render();
    return r ? r->projection() : nullptr;
}

std::string VMMapView::description() const {
    const CGRect b = bounds();
    const CLLocationCoordinate2D c =
        coordinateForMapPoint(needsOperateAfterProjection_ ? mapPivotAfterProjection_ : mapPivot_);
    char text[256];
    std::snprintf(text, sizeof text,
                  "MapView 3D at {%.0f,%.0f}-{%.0fx%.0f}, center :{%f, %f} version: %s", b.origin.x,
                  b.origin.y, b.size.width, b.size.height, c.longitude, c.latitude,
                  VMMapServices::sharedServices()->SDKVersion().c_str());
    return text;
}

// Shows through only where the GL view does not cover the map view.
void VMMapView::drawRect(CGRect) {
    if (CGContextRef context = UIGraphicsGetCurrentContext()) {
        CGContextSetRGBFillColor(context, 0.9490196, 0.9372549, 0.9137255, 1.0);
        CGContextFillRect(context, bounds());
    }
    projectionState_ = 1;
}

// Projection state 2 once the engine has drawn with a laid-out view; camera work that waited
// for it runs at the next frame.
void VMMapView::renderState(VURI1Vovure&, int state) {
    if (state == kRenderStateOverlayLevel0 || state == kRenderStateOverlayLevel1) {
        overlayContainer_->drawOverlaysInLevel(state == kRenderStateOverlayLevel0 ? 0 : 1);
        return;
    }
    if (state != kRenderStateProjectionReady) {
        if (state == kRenderStateFrameDone) refreshAllShownGridNames();
        return;
    }
    if (projectionState_ == 1) {
        projectionState_ = 2;
    } else if (projectionState_ == 2 && needsOperateAfterProjection_) {
        needsOperateAfterProjection_ = false;
        auto op = std::move(operation_);
        operation_ = nullptr;
        if (op) op();
    }
}

void VMMapView::referenceDidChange() { overlayContainer_->referenceDidChange(); }

VMMapPoint VMMapView::overlayMapPointForPoint(CGPoint point) {
    return mapPointForPoint(point, overlayViewState());
}

const MapViewState* VMMapView::overlayViewState() {
    const auto r = render();
    return r ? mapEngineGetViewState(r->mapEngine()) : nullptr;
}

int VMMapView::overlayShownGrids(MapDataType dataType, std::uint8_t* buffer,
                                 std::int32_t capacity) {
    const auto r = render();
    return r ? mapEngineGetCurrentTiles(r->mapEngine(), buffer, capacity, dataType) : 0;
}

// ---- Reload and application state ----

void VMMapView::reloadMap() {
    if (applicationInBackgroundState()) return;
    if (auto d = delegate()) d->offlineDataWillReload(*this);
    pushMapStatus();
    baseMapView_->reload();
    baseMapView_->drawView();
}

void VMMapView::pushMapStatus() {
    if (!mapStatusBefore_) mapStatusBefore_ = MapStatus::create();
    MapStatus& s = *mapStatusBefore_;
    s.mapType = mapType();
    s.showTraffic = isShowTraffic();
    s.zoom = currentZoomLevel();
    s.centerCoordinate = centerCoordinate();
    s.rotateDegree = rotationDegree();
    s.cameraDegree = cameraDegree();
    s.real3DModelsDisabled = real3DModelsDisabled();
    s.buildingsDisabled = isBuildingsDisabled();
}

void VMMapView::popMapStatus() {
    if (!mapStatusBefore_) return;
    // Held here: the setters below may not drop it halfway.
    const auto saved = mapStatusBefore_;
    const MapStatus& s = *saved;
    setMapType(s.mapType, true);
    setShowTraffic(s.showTraffic);
    setCenterCoordinate(s.centerCoordinate);
    setRotationDegree(s.rotateDegree);
    setCameraDegree(s.cameraDegree);
    zoomToLevel(s.zoom);
    setReal3DModelsDisabled(s.real3DModelsDisabled);
    setBuildingsDisabled(s.buildingsDisabled);
    applyTrafficColor(trafficColorWrapper_);
    mapStatusBefore_.reset();
}

void VMMapView::mapDidReloaded() {
    popMapStatus();
    if (auto d = delegate()) d->offlineDataDidReload(*this);
}

void VMMapView::handleDidBecomeActiveNotification() {
    setOpenGLESDisabled(false);
    render()->setRenderDisabled(false);
    updateAnnotationsPosition();
}

void VMMapView::handleWillResignActiveNotification() {
    setOpenGLESDisabled(true);
    render()->setRenderDisabled(true);
    if (auto context = render()->context(); context && EAGLContext::setCurrentContext(context))
        glFinish();
}

void VMMapView::handleDidEnterBackgroundNotification() { handleWillResignActiveNotification(); }

void VMMapView::handleDidChangeOrientationNotification() { updateHeadingForDeviceOrientation(); }

void VMMapView::updateAnnotationsPosition() {
    if (!baseMapView_) return;
    baseMapView_->resumeFrequency();
    forceRefreshBaseMapView();
}

bool VMMapView::openGLESDisabled() const { return !baseMapView_->isAnimating(); }

void VMMapView::setOpenGLESDisabledWithoutNotifyDelegate(bool disabled) {
    if (disabled == openGLESDisabled()) return;
    if (disabled)
        baseMapView_->stopAnimation();
    else
        baseMapView_->startAnimation();
}

void VMMapView::setOpenGLESDisabled(bool disabled) {
    setOpenGLESDisabledWithoutNotifyDelegate(disabled);
    if (auto d = delegate()) d->mapViewDidChangeOpenGLESDisabled(*this, disabled);
}

bool VMMapView::pausesLocationUpdatesAutomatically() const {
    return systemVersion() > kPausesSinceVersion &&
           locationManager_->pausesLocationUpdatesAutomatically();
}

void VMMapView::setPausesLocationUpdatesAutomatically(bool pauses) {
    if (systemVersion() > kPausesSinceVersion)
        locationManager_->setPausesLocationUpdatesAutomatically(pauses);
}

bool VMMapView::allowsBackgroundLocationUpdates() const {
    return systemVersion() > kBackgroundSinceVersion &&
           locationManager_->allowsBackgroundLocationUpdates();
}

void VMMapView::setAllowsBackgroundLocationUpdates(bool allows) {
    if (systemVersion() > kBackgroundSinceVersion)
        locationManager_->setAllowsBackgroundLocationUpdates(allows);
}

void VMMapView::setLogoCenter(CGPoint c) {
    const CGSize s = logoSize();
    const CGRect b = bounds();
    if (c.x < b.origin.x + s.width / 2 || c.x > CGRectGetMaxX(b) - s.width / 2 ||
        c.y < b.origin.y + s.height / 2 || c.y > CGRectGetMaxY(b) - s.height / 2)
        return;
    logoImageView_->setCenter(c);
}
