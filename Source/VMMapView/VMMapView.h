#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "Annotations/VMAngleIndicator.h"
#include "Annotations/VMAnnotationFloor.h"
#include "Annotations/VMAnnotationMapView.h"
#include "Annotations/VMAnnotationView.h"
#include "Annotations/VMCompassView.h"
#include "Annotations/VMScaleView.h"
#include "Annotations/VMTouchPoi.h"
#include "Annotations/VMTrafficColorWrapper.h"
#include "Annotations/VMViewRecycler.h"
#include "CoreLocation/CLLocationManager.h"
#include "Foundation/NSError.h"
#include "OverlaySystem/VMCircle.h"
#include "OverlaySystem/VMGeometry.h"
#include "OverlaySystem/VMOverlayContainerView.h"
#include "QuartzCore/CABasicAnimation.h"
#include "QuartzCore/CAKeyframeAnimation.h"
#include "Render/VMBaseMapView.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILongPressGestureRecognizer.h"
#include "UIKit/UIPanGestureRecognizer.h"
#include "UIKit/UIPinchGestureRecognizer.h"
#include "UIKit/UIRotationGestureRecognizer.h"
#include "UIKit/UITapGestureRecognizer.h"
#include "UIKit/UIView.h"
#include "VMMapLayer.h"
#include "VMMapStatus.h"
#include "VMUserLocation.h"

class VMMapView;

// The map view's callbacks, every one optional and sent on the main thread.
class VMMapViewDelegate {
  public:
    virtual ~VMMapViewDelegate() = default;
    virtual void offlineDataWillReload(VMMapView&) {}
    virtual void offlineDataDidReload(VMMapView&) {}
    virtual void mapViewDidChangeOpenGLESDisabled(VMMapView&, bool /*disabled*/) {}
    virtual void mapViewRegionWillChangeAnimated(VMMapView&, bool /*animated*/) {}
    virtual void mapViewRegionDidChangeAnimated(VMMapView&, bool /*animated*/) {}
    virtual void mapViewWillStartLocatingUser(VMMapView&) {}
    virtual void mapViewDidStopLocatingUser(VMMapView&) {}
    // Answers whether the delegate took the update; one that does not gets the older form
    // without the flag.
    virtual bool mapViewDidUpdateUserLocation(VMMapView&, const std::shared_ptr<VMUserLocation>&,
                                              bool /*updatingLocation*/) {
        return false;
    }
    virtual void mapViewDidUpdateUserLocation(VMMapView&, const std::shared_ptr<VMUserLocation>&) {}
    virtual void mapViewDidFailToLocateUserWithError(VMMapView&, const NSError&) {}
    virtual void mapViewDidChangeUserTrackingMode(VMMapView&, long /*mode*/, bool /*animated*/) {}
    virtual void mapViewDidSingleTappedAtCoordinate(VMMapView&, CLLocationCoordinate2D) {}
    // The points of interest under a single tap while touching them is on; empty for none.
    virtual void mapViewDidTouchPois(VMMapView&, const std::vector<std::shared_ptr<VMTouchPoi>>&) {}
    virtual void mapViewDidLongPressedAtCoordinate(VMMapView&, CLLocationCoordinate2D) {}
    virtual void mapViewWillStartLoadingMap(VMMapView&) {}
    virtual void mapViewDidFinishLoadingMap(VMMapView&, uint32_t /*dataSize*/) {}
    virtual void mapViewDidFailLoadingMap(VMMapView&, const NSError&) {}
    // Null leaves the overlay off the map.
    virtual VMOverlayViewRef mapViewViewForOverlay(VMMapView&, const VMOverlayRef&) {
        return nullptr;
    }
    virtual void mapViewDidAddOverlayViews(VMMapView&, const std::vector<VMOverlayViewRef>&) {}
    // Null gets the default pin (or, for the user location, the built-in view).
    virtual std::shared_ptr<VMAnnotationView> mapViewViewForAnnotation(
        VMMapView&, const std::shared_ptr<VMAnnotation>&) {
        return nullptr;
    }
    virtual void mapViewDidAddAnnotationViews(
        VMMapView&, const std::vector<std::shared_ptr<VMAnnotationView>>&) {}
    virtual void mapViewDidSelectAnnotationView(VMMapView&,
                                                const std::shared_ptr<VMAnnotationView>&) {}
    virtual void mapViewDidDeselectAnnotationView(VMMapView&,
                                                  const std::shared_ptr<VMAnnotationView>&) {}
    // A drag's state moved from oldState to newState.
    virtual void mapViewAnnotationView(VMMapView&, const std::shared_ptr<VMAnnotationView>&,
                                       long /*newState*/, long /*oldState*/) {}
    // An accessory control of the callout was tapped.
    virtual void mapViewAnnotationView(VMMapView&, const std::shared_ptr<VMAnnotationView>&,
                                       const std::shared_ptr<UIControl>&) {}
    // Taps on a callout's box; a delegate that does not take them leaves the box unpressable.
    virtual bool respondsToDidAnnotationViewCalloutTapped() const { return false; }
    virtual void mapViewDidAnnotationViewCalloutTapped(VMMapView&,
                                                       const std::shared_ptr<VMAnnotationView>&) {}
};

// The map kit's public map view. It owns the GL view with its frame loop, whose renderer owns
// the engine, and the location manager that feeds the user location. Main thread only.
class VMMapView : public UIView,
                  public VMBaseMapViewDelegate,
                  public VURI1VovureDelegate,
                  public VMMapLayerDelegate,
                  public VMCompassViewDelegate,
                  public VMOverlayContainerViewDelegate,
                  public VMOverlayMapView,
                  public VMAnnotationMapView,
                  public CLLocationManagerDelegate,
                  public UIGestureRecognizerDelegate {
  public:
    static constexpr double kDefaultCameraDuration = 0.35f;
    static constexpr CLLocationCoordinate2D kInitialCenter{39.911447, 116.406026};
    static constexpr VMCoordinateSpan kInitialSpan{0.519519, 0.395502};

    // Null while the application is in the background, or when no GL view can be made.
    static std::shared_ptr<VMMapView> create(CGRect frame);
    ~VMMapView() override;
    static bool applicationInBackgroundState();

    // Loading reports read the delegate from other threads.
    std::shared_ptr<VMMapViewDelegate> delegate() const {
        std::lock_guard lock(delegateMutex_);
        return delegate_.lock();
    }
    void setDelegate(std::weak_ptr<VMMapViewDelegate> d) {
        std::lock_guard lock(delegateMutex_);
        delegate_ = std::move(d);
    }
    const std::shared_ptr<VMBaseMapView>& baseMapView() const { return baseMapView_; }
    std::shared_ptr<VURI1Vovure> render() const;
    std::string description() const;

    void drawRect(CGRect rect) override;
    int projectionState() const { return projectionState_; }

    // Reload of map data: the engine is rebuilt and the map state carried across.
    void reloadMap();
    void pushMapStatus();
    void popMapStatus();
    const std::shared_ptr<MapStatus>& mapStatusBeforeReload() const { return mapStatusBefore_; }

    bool openGLESDisabled() const;
    void setOpenGLESDisabled(bool disabled);
    void setOpenGLESDisabledWithoutNotifyDelegate(bool disabled);

    // Display options that a reload carries across.
    long mapType() const { return mapType_; }
    void setMapType(long type, bool forced = false);
    bool isShowTraffic() const { return showTraffic_; }
    void setShowTraffic(bool show);
    bool real3DModelsDisabled() const { return real3DModelsDisabled_; }
    void setReal3DModelsDisabled(bool disabled);
    bool isBuildingsDisabled() const { return buildingsDisabled_; }
    void setBuildingsDisabled(bool disabled);
    bool shows3DModels() const { return !real3DModelsDisabled(); }
    void setShows3DModels(bool shows) { setReal3DModelsDisabled(!shows); }
    bool showsBuildings() const { return !isBuildingsDisabled(); }
    void setShowsBuildings(bool shows) { setBuildingsDisabled(!shows); }
    bool isSkyModelEnabled() const { return skyModelEnable_; }
    void setSkyModelEnable(bool enabled);
    const std::shared_ptr<VMTrafficColorWrapper>& trafficColorWrapper() const {
        return trafficColorWrapper_;
    }
    void applyTrafficColor(const std::shared_ptr<VMTrafficColorWrapper>& colors);
    UIColorRef unimpededColor() const { return trafficColorWrapper_->unimpeded; }
    UIColorRef ambleColor() const { return trafficColorWrapper_->amble; }
    UIColorRef jamColor() const { return trafficColorWrapper_->jam; }
    UIColorRef gridlockedColor() const { return trafficColorWrapper_->gridlocked; }
    void setUnimpededColor(UIColorRef unimpeded, UIColorRef amble, UIColorRef jam,
                           UIColorRef gridlocked);
    // Only once the renderer has an engine; before that nothing changes, not even the flag.
    void setShowsLabels(bool show);

    // Points of interest of the base map within 40 engine pixels of a point of the view; empty
    // when there is none.
    std::vector<std::shared_ptr<VMTouchPoi>> takePoisAtPoint(CGPoint point);
    // Empty for a radius below 1, a point or radius that is not a finite 32-bit number, or
    // without an engine.
    std::vector<std::shared_ptr<VMTouchPoi>> selectPoisAtEnginePoint(CGPoint point, double radius);

    // Loading reports of the renderer (VURI1VovureDelegate), from any thread; the delegate hears
    // on the main queue, while the view and it are there.
    void willStartLoading() override;
    void didFinishLoadingWithDataSize(uint32_t bytes) override;
    void didFailLoadingWithError(const NSError& error) override;

    // Location manager pass-through.
    double distanceFilter() const { return locationManager_->distanceFilter(); }
    void setDistanceFilter(double m) { locationManager_->setDistanceFilter(m); }
    double desiredAccuracy() const { return locationManager_->desiredAccuracy(); }
    void setDesiredAccuracy(double m) { locationManager_->setDesiredAccuracy(m); }
    double headingFilter() const { return locationManager_->headingFilter(); }
    void setHeadingFilter(double d) { locationManager_->setHeadingFilter(d); }
    // Offered only by systems that have them; elsewhere they read NO and ignore writes.
    bool pausesLocationUpdatesAutomatically() const;
    void setPausesLocationUpdatesAutomatically(bool pauses);
    bool allowsBackgroundLocationUpdates() const;
    void setAllowsBackgroundLocationUpdates(bool allows);

    // Logo.
    CGPoint logoCenter() const { return logoImageView_->center(); }
    void setLogoCenter(CGPoint center);
    CGSize logoSize() const { return logoImageView_->bounds().size; }
    bool logoHidden() const { return logoImageView_->isHidden(); }
    void setLogoHidden(bool hidden) { logoImageView_->setHidden(hidden); }

    // Camera. A centre, region, map rect or status with a value that is not finite is refused
    // with a log line: the map stays where it was.
    CLLocationCoordinate2D centerCoordinate();
    void setCenterCoordinate(CLLocationCoordinate2D c, bool animated = false,
                             bool usingMapCenter = false);
    double zoomLevel() const { return currentZoomLevel(); }
    double currentZoomLevel() const;
    void setZoomLevel(double level, bool animated = false);
    static double maxZoomLevel();
    static double minZoomLevel();
    double nextZoomLevel() const;
    double priorZoomLevel() const;
    // Zooms so that the map under a point of the view stays there.
    void setZoomLevel(double level, CGPoint pivot, bool animated = false);
    VMMapPoint centerMapPointForPivotMapPoint(VMMapPoint pivot, CGPoint offset, double zoom);
    double rotationDegree() const { return currentRotation(); }
    void setRotationDegree(double degree, bool animated = false, double duration = 0);
    double cameraDegree() const { return currentCameraHeaderDegree(); }
    void setCameraDegree(double degree, bool animated = false, double duration = 0);
    VMCoordinateRegion region();
    void setRegion(VMCoordinateRegion region, bool animated = false);
    VMCoordinateRegion regionThatFits(VMCoordinateRegion region);
    VMMapRect visibleMapRect() override;
    VMMapRect mapRectThatFits(VMMapRect rect, UIEdgeInsets padding = {});
    void setVisibleMapRect(VMMapRect rect, UIEdgeInsets padding = {}, bool animated = false);
    CGPoint screenAnchor() const { return screenAnchor_; }
    void setScreenAnchor(CGPoint anchor);
    bool customedPivot() const { return customedPivot_; }
    void setCustomedPivot(bool customed) { customedPivot_ = customed; }
    VMMapPoint mapPivot();
    void setMapPivot(VMMapPoint pivot) { mapPivot_ = pivot; }
    void updateMapPivot();
    VMMapStatus getMapStatus();
    void setMapStatus(const std::optional<VMMapStatus>& status, bool animated,
                      double duration = kDefaultCameraDuration);

    // Conversions between view points and map points.
    CGPoint pointForMapPoint(VMMapPoint point);
    VMMapPoint mapPointForPoint(CGPoint point);
    CGRect rectForMapRect(VMMapRect rect);
    VMMapRect mapRectForRect(CGRect rect);
    double zoomScaleFitMapRect(VMMapRect rect, UIEdgeInsets padding);
    // Conversions against another view of the same window; a null view is the window.
    CGPoint convertCoordinateToPointToView(CLLocationCoordinate2D c, const UIView* view);
    CLLocationCoordinate2D convertPointToCoordinateFromView(CGPoint p, const UIView* view);
    CGRect convertRegionToRectToView(VMCoordinateRegion region, const UIView* view);
    VMCoordinateRegion convertRectToRegionFromView(CGRect rect, const UIView* view);
    // View points to engine pixels and back; the map's zoom-20 units per pixel at a zoom scale.
    CGAffineTransform pixelTransform() const;
    CGAffineTransform level20Transform() const;
    CGPoint enginePointForPoint(CGPoint point) const;
    CGPoint pointForEnginePoint(CGPoint point) const;
    // The map under a rect of the view's size, were the camera at the coordinate and zoom.
    VMMapRect mapRectForRect(CGRect rect, CLLocationCoordinate2D centerCoordinate, double zoom);
    static double mapSizePerPixelInZoomScale(double zoomScale);

    // Camera entry points; a completion may be empty.
    using Completion = std::function<void()>;
    void scrollToMapPivot(VMMapPoint pivot, bool animated, double duration, int timingType,
                          bool usingMapCenter, Completion completion);
    void scrollToCenterPoint(VMMapPoint center, bool animated, double duration, int timingType,
                             bool usingMapCenter, Completion completion);
    void zoomToLevel(double level, bool animated = false, double duration = 0,
                     Completion completion = nullptr);
    void rotateToDegree(double degree, bool animated = false, double duration = 0,
                        Completion completion = nullptr);
    void rotateCameraHeaderToDegree(double degree, bool animated = false, double duration = 0,
                                    Completion completion = nullptr);
    // The pivot scroll without animation or completion.
    void scrollToMapPivot(VMMapPoint pivot);

    // Builders of the camera animations (VMMapViewAnimation.cpp); the map-point ones keep
    // usingMapCenter as their userData.
    using AnimationRef = std::shared_ptr<VMBasicAnimation>;
    AnimationRef mapPivotAnimationWithDuration(double duration, VMMapPoint from, VMMapPoint to,
                                               int timingType, bool usingMapCenter,
                                               Completion completion);
    AnimationRef mapPivotAnimationWithDuration(double duration, VMMapPoint to, int timingType,
                                               bool usingMapCenter, Completion completion);
    AnimationRef mapPointAnimationWithDuration(double duration, VMMapPoint from, VMMapPoint to,
                                               int timingType, bool usingMapCenter,
                                               Completion completion);
    AnimationRef mapPointAnimationWithDuration(double duration, VMMapPoint to, int timingType,
                                               bool usingMapCenter, Completion completion);
    AnimationRef zoomAnimationWithDuration(double duration, double from, double to,
                                           Completion completion);
    AnimationRef zoomAnimationWithDuration(double duration, double to, Completion completion);
    // Turns the short way: more than half a turn apart, the target moves by a full turn.
    AnimationRef rotateAnimationWithDuration(double duration, double from, double to,
                                             Completion completion);
    AnimationRef rotateAnimationWithDuration(double duration, double to, Completion completion);
    AnimationRef rotateCameraAnimationWithDuration(double duration, double from, double to,
                                                   Completion completion);
    AnimationRef rotateCameraAnimationWithDuration(double duration, double to,
                                                   Completion completion);

    // Gesture actions and recogniser rules (VMMapViewGestures.cpp).
    void zoomInGesture(UITapGestureRecognizer& r);
    void zoomOutGesture(UITapGestureRecognizer& r);
    void pinchGesture(UIPinchGestureRecognizer& r);
    void panGesture(UIPanGestureRecognizer& r);
    void pullGesture(UIPanGestureRecognizer& r);
    void rotateGesture(UIRotationGestureRecognizer& r);
    void singleTapGesture(UITapGestureRecognizer& r);
    void longPressGesture(UILongPressGestureRecognizer& r);
    bool gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>& r) override;
    bool gestureRecognizerShouldRecognizeSimultaneouslyWithGestureRecognizer(
        const std::shared_ptr<UIGestureRecognizer>& first,
        const std::shared_ptr<UIGestureRecognizer>& other) override;
    bool gestureRecognizerShouldReceiveTouch(const std::shared_ptr<UIGestureRecognizer>& r,
                                             const std::shared_ptr<UITouch>& touch) override;
    // The fling after a pan: seconds and points for a release speed in points per second.
    static double animationDurationForVelocity(double speed);
    static CGPoint offsetRangeForVelocity(CGPoint velocity);

    // Layer animations on the map view's layer (VMMapViewLayerAnimation.cpp).
    bool mapLayerCanHandleAnimation(VMMapLayer&, const std::shared_ptr<CAAnimation>& animation,
                                    const std::string& key) override;
    void mapLayerDidAddAnimation(VMMapLayer&, const std::shared_ptr<CAAnimation>& animation,
                                 const std::string& key) override;
    bool mapLayerCanHandleAnimationForKey(VMMapLayer&, const std::string& key) override;
    void mapLayerDidRemoveAnimationForKey(VMMapLayer&, const std::string& key) override;
    bool canReceiveAnimation(const std::shared_ptr<CAAnimation>& animation,
                             const std::string& key) const;
    static bool isValidForAnimationKey(const std::string& key);
    void addAnimation(const std::shared_ptr<CAAnimation>& animation, const std::string& key);
    void removeAnimationForKeyPath(const std::string& keyPath);
    std::shared_ptr<VMPropertyAnimation> internalForBasicAnimation(
        const std::shared_ptr<CABasicAnimation>& animation, const std::string& key);
    std::shared_ptr<VMPropertyAnimation> internalForKeyframeAnimation(
        const std::shared_ptr<CAKeyframeAnimation>& animation, const std::string& key);
    static std::shared_ptr<VMMediaTimingFunction> internalForMediaTimingFunction(
        const std::shared_ptr<CAMediaTimingFunction>& function);

    // Pivot geometry: the engine centre that puts the pivot on the anchor.
    VMMapPoint centerPointForKeepingMapPivot(VMMapPoint pivot, CGPoint anchor);
    VMMapPoint centerPointForKeepingMapPivotAtZoomLevel(VMMapPoint pivot, CGPoint anchor,
                                                        double zoom);
    VMMapPoint centerPointForKeepingMapPivotInRotationDegree(VMMapPoint pivot, CGPoint anchor,
                                                             double degree);
    VMMapPoint centerPointForMapPivotInCameraHeaderDegree(VMMapPoint pivot, CGPoint anchor,
                                                          double degree);
    VMMapPoint currentCenter() const;
    double currentRotation() const;
    double currentCameraHeaderDegree() const;
    static double normalizeDegree(double degree);
    static double normalizeCameraDegree(double degree);
    static double normalizeZoomLevel(double zoom);

    // User location.
    bool showsUserLocation() const { return showsUserLocation_; }
    void setShowsUserLocation(bool show);
    const std::shared_ptr<VMUserLocation>& userLocation() const { return userLocation_; }
    // The heading cone inside the default user-location view, in heading tracking only.
    const std::shared_ptr<VMAngleIndicator>& angleIndicator() const { return angleIndicator_; }
    const std::shared_ptr<VMCircle>& userLocationAccuracyCircle() const { return userCircle_; }
    bool isUserLocationVisible();
    long userTrackingMode() const { return userTrackingMode_; }
    void setUserTrackingMode(long mode, bool animated = false);
    void decreaseUserTrackingMode() { decreaseUserTrackingModeWithFlag(0); }
    void decreaseUserTrackingModeWithFlag(long flag);
    const std::shared_ptr<CLLocationManager>& locationManager() const { return locationManager_; }
    // Degrees added to the compass heading so that heading tracking turns the map the right
    // way in every device orientation.
    double headingOffset() const { return headingOffset_; }
    void refreshHeadingOffsetWithOrientation(UIDeviceOrientation orientation);
    void updateHeadingForDeviceOrientation();

    // Parts owned by the view.
    const std::shared_ptr<UIImageView>& logoImageView() const { return logoImageView_; }
    const std::shared_ptr<VMCompassView>& compassView() const { return compassView_; }
    const std::shared_ptr<VMScaleView>& scaleView() const { return scaleView_; }
    // Compass and scale bar (VMMapViewControls.cpp); origins are top-left corners.
    CGPoint compassOrigin() const { return compassView_->frame().origin; }
    void setCompassOrigin(CGPoint origin) { compassView_->updateOrigin(origin); }
    CGSize compassSize() const { return compassView_->bounds().size; }
    // Nil brings back the drawn compass.
    void setCompassImage(const std::shared_ptr<UIImage>& image) { compassView_->setImage(image); }
    void setShowsCompass(bool shows);
    void showCompassView();
    void hideCompassView();
    // Only while the compass is shown; a degree that is not finite leaves it as it is.
    void updateCompassViewByDegree(float degree, bool animated, double duration);
    void didCompassViewTapped() override;
    CGPoint scaleOrigin() const { return scaleView_->frame().origin; }
    void setScaleOrigin(CGPoint origin) { scaleView_->updateOrigin(origin); }
    CGSize scaleSize() const { return scaleView_->bounds().size; }
    bool showsScale() const { return scaleView_ && !scaleView_->isHidden(); }
    void setShowsScale(bool shows);
    void updateScaleViewForZoomLevel(double zoom, bool animated, double duration);
    // Screen points per metre of ground at the centre's latitude, despite the name: the scale
    // bar's input.
    double calculateDistanceInMetersForZoomLevel(double zoom);
    // Zero for a view without width.
    double mapPointsPerScreenPointAtZoomLevel(double zoom);
    double metersPerPointForZoomLevel(double zoom);
    double metersPerPointForCurrentZoomLevel();

    // Fitting the camera around annotations: north up, every one inside the insets. Those whose
    // coordinate is not finite are left out (logged); with one left the map centres on it.
    void showAnnotations(const std::vector<std::shared_ptr<VMAnnotation>>& annotations,
                         bool animated);
    void showAnnotations(const std::vector<std::shared_ptr<VMAnnotation>>& annotations,
                         UIEdgeInsets insets, bool animated);
    const std::shared_ptr<VMOverlayContainerView>& overlayContainer() const {
        return overlayContainer_;
    }
    const std::shared_ptr<VMAnnotationFloor>& annotationFloor() const { return annotationFloor_; }
    const std::shared_ptr<VMViewRecycler>& recycler() const { return recycler_; }
    const std::vector<std::shared_ptr<VMAnnotation>>& annotationArray() const {
        return annotationArray_;
    }
    const std::shared_ptr<UITapGestureRecognizer>& zoomInGestureRecognizer() const {
        return zoomInGestureRecognizer_;
    }
    const std::shared_ptr<UITapGestureRecognizer>& zoomOutGestureRecognizer() const {
        return zoomOutGestureRecognizer_;
    }
    const std::shared_ptr<UIPinchGestureRecognizer>& zoomPinchGestureRecognizer() const {
        return zoomPinchGestureRecognizer_;
    }
    const std::shared_ptr<UIPanGestureRecognizer>& panGestureRecognizer() const {
        return panGestureRecognizer_;
    }
    const std::shared_ptr<UIPanGestureRecognizer>& pullGestureRecognizer() const {
        return pullGestureRecognizer_;
    }
    const std::shared_ptr<UIRotationGestureRecognizer>& rotateGestureRecognizer() const {
        return rotateGestureRecognizer_;
    }
    const std::shared_ptr<UITapGestureRecognizer>& singleTapGestureRecognizer() const {
        return singleTapGestureRecognizer_;
    }
    const std::shared_ptr<UILongPressGestureRecognizer>& longPressGestureRecognizer() const {
        return longPressGestureRecognizer_;
    }
    bool isScrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool e) { scrollEnabled_ = e; }
    bool isZoomEnabled() const { return zoomEnabled_; }
    void setZoomEnabled(bool e) { zoomEnabled_ = e; }
    bool isRotateEnabled() const { return rotateEnabled_; }
    void setRotateEnabled(bool e) { rotateEnabled_ = e; }
    bool isRotateCameraEnabled() const { return rotateCameraEnabled_; }
    void setRotateCameraEnabled(bool e) { rotateCameraEnabled_ = e; }
    bool touchPOIEnabled() const { return touchPOIEnabled_; }
    // Turning it off first clears the engine's picked point.
    void setTouchPOIEnabled(bool enabled);
    bool showsCompass() const { return showsCompass_; }
    bool showsLabels() const { return showsLabels_; }

    // VMBaseMapViewDelegate.
    void animationRenderOver() override;
    void mapDidReloaded() override;
    void mapDidChanged() override;
    bool mapCenterDidMove() override;
    std::optional<VMMapPoint> centerPointAtZoomLevelUsingScreenAnchor(double zoom) override;
    std::optional<VMMapPoint> centerPointForMapPivotUsingScreenAnchor(VMMapPoint pivot) override;
    std::optional<VMMapPoint> centerPointAtRotationDegreeUsingScreenAnchor(double deg) override;
    std::optional<VMMapPoint> centerPointAtCameraHeaderDegreeUsingScreenAnchor(double d) override;
    // VURI1VovureDelegate.
    void renderState(VURI1Vovure&, int state) override;
    void referenceDidChange() override;
    // Overlays, kept by the overlay container (VMMapViewOverlays.cpp).
    void addOverlay(const VMOverlayRef& overlay) { overlayContainer_->addOverlay(overlay); }
    void addOverlays(const std::vector<VMOverlayRef>& o) { overlayContainer_->addOverlays(o); }
    void addOverlay(const VMOverlayRef& o, int level) { overlayContainer_->addOverlay(o, level); }
    void addOverlays(const std::vector<VMOverlayRef>& o, int level) {
        overlayContainer_->addOverlays(o, level);
    }
    void removeOverlay(const VMOverlayRef& overlay) { overlayContainer_->removeOverlay(overlay); }
    void removeOverlays(const std::vector<VMOverlayRef>& o) {
        overlayContainer_->removeOverlays(o);
    }
    void insertOverlay(const VMOverlayRef& o, std::size_t index, int level) {
        overlayContainer_->insertOverlay(o, index, level);
    }
    void insertOverlay(const VMOverlayRef& o, std::size_t index) {
        overlayContainer_->insertOverlay(o, index);
    }
    void exchangeOverlayAtIndex(std::size_t i, std::size_t j) {
        overlayContainer_->exchangeOverlayAtIndex(i, j);
    }
    void exchangeOverlay(const VMOverlayRef& a, const VMOverlayRef& b) {
        overlayContainer_->exchangeOverlay(a, b);
    }
    void insertOverlayAboveOverlay(const VMOverlayRef& o, const VMOverlayRef& sibling) {
        overlayContainer_->insertOverlayAboveOverlay(o, sibling);
    }
    void insertOverlayBelowOverlay(const VMOverlayRef& o, const VMOverlayRef& sibling) {
        overlayContainer_->insertOverlayBelowOverlay(o, sibling);
    }
    std::vector<VMOverlayRef> overlays() const { return overlayContainer_->overlays(); }
    std::vector<VMOverlayRef> overlaysInLevel(int level) const {
        return overlayContainer_->overlaysInLevel(level);
    }
    VMOverlayViewRef viewForOverlay(const VMOverlayRef& overlay) const {
        return overlayContainer_->drawableForOverlay(overlay);
    }
    void setCustomizeUserLocationAccuracyCircleRepresentation(bool c) { customizeCircle_ = c; }
    // VMOverlayContainerViewDelegate.
    VMOverlayViewRef createDrawableForOverlay(const VMOverlayRef& overlay) override;
    bool isUserLocationCircle(const VMOverlayRef& overlay) override {
        return overlay && overlay == userCircle_;
    }
    bool customizeUserLocationAccuracyCircleRepresentation() override { return customizeCircle_; }
    VMOverlayViewRef userLocationCircleViewWithCircle(const VMOverlayRef& circle) override;
    void overlayContainerAddedDrawables(const std::vector<VMOverlayViewRef>& drawables) override;
    // Annotations (VMMapViewAnnotations.cpp). Only annotations near the screen have views.
    using VMAnnotationViewRef = std::shared_ptr<VMAnnotationView>;
    static constexpr const char* kDefaultReuseIdentifier = "ZaroRudaReuseIdentifier";
    // An annotation whose coordinate is not finite is listed (and logged) but not placed: it has
    // no view, is in no map rect and is left out of fitting. A shown one whose coordinate
    // becomes so leaves the map; it comes back with the first region change after its
    // coordinate is finite again, as one moved in from off screen does.
    void addAnnotation(const VMAnnotationRef& annotation);
    void addAnnotations(const std::vector<VMAnnotationRef>& annotations);
    void removeAnnotation(const VMAnnotationRef& annotation);
    void removeAnnotations(const std::vector<VMAnnotationRef>& annotations);
    // A copy: callers walk it while removing from the map.
    std::vector<VMAnnotationRef> annotations() const { return annotationArray_; }
    // Annotations whose map point lies in the rect, its maximum edges excluded.
    std::vector<VMAnnotationRef> annotationsInMapRect(VMMapRect rect);
    VMAnnotationViewRef viewForAnnotation(const VMAnnotationRef& annotation) const;
    VMAnnotationViewRef dequeueReusableAnnotationViewWithIdentifier(const std::string& identifier);
    VMAnnotationViewRef doAddAnnotation(const VMAnnotationRef& annotation);
    VMAnnotationViewRef defaultViewForAnnotation(const VMAnnotationRef& annotation);
    VMAnnotationViewRef userLocationAnnotationViewWithAnnotation(const VMAnnotationRef& annotation);
    bool userLocationViewIsCustomized() const { return userLocationViewIsCustomized_; }
    void updateCenterForAnnotationView(const VMAnnotationViewRef& view);
    // Within the bounds grown by twice their lesser side on every side; the user location
    // always.
    bool isVisibleForAnnotation(const VMAnnotationRef& annotation);
    // Views that left the area go to the recycler, annotations that came into it get views.
    void updateReusingPool();
    void reuseViewsInSkyMode();
    const VMAnnotationRef& selectedAnnotation() const { return selectedAnnotation_; }
    // Off screen, the map centres on the annotation first; one not on the map is not selected.
    void selectAnnotation(const VMAnnotationRef& annotation, bool animated);
    void deselectAnnotation(const VMAnnotationRef& annotation, bool animated);
    // The selection is single: the first one is selected, the rest ignored.
    void setSelectedAnnotations(const std::vector<VMAnnotationRef>& annotations);
    std::optional<std::vector<VMAnnotationRef>> selectedAnnotations() const;
    CGRect annotationVisibleRect() override { return bounds(); }
    VMMapRect annotationValidRect();
    // VMAnnotationMapView.
    std::uint64_t annotationCamera() override;
    CGPoint annotationPointForMapPoint(VMMapPoint point) override {
        return pointForMapPoint(point);
    }
    void annotationViewLeftItsPlace() override { floorCamera_ = 0; }
    CLLocationCoordinate2D annotationCoordinateForPoint(CGPoint point, const UIView* view) override;
    void annotationViewHasNoPlace(const VMAnnotationViewRef& view) override;
    void didSelectAnnotationView(const VMAnnotationViewRef& view) override;
    void didDeselectAnnotationView(const VMAnnotationViewRef& view) override;
    void annotationViewDidChangeDragState(const VMAnnotationViewRef& view, long newState,
                                          long oldState) override;
    void annotationViewCalloutAccessoryControlTapped(
        const VMAnnotationViewRef& view, const std::shared_ptr<UIControl>& control) override;
    void annotationViewDidAnnotationViewCalloutTapped(const VMAnnotationViewRef& view) override;
    bool annotationViewShouldAnnotationViewCalloutHighlight(
        const VMAnnotationViewRef& view) override;
    void annotationViewScrollMapBy(CGSize offset) override;
    // VMOverlayMapView: overlays convert through the engine's live view record, as GL draws.
    CGRect overlayViewBounds() override { return bounds(); }
    VMMapPoint overlayMapPointForPoint(CGPoint point) override;
    const MapViewState* overlayViewState() override;
    int overlayShownGrids(MapDataType dataType, std::uint8_t* buffer,
                          std::int32_t capacity) override;
    // CLLocationManagerDelegate.
    void locationManagerDidUpdateToLocation(CLLocationManager&,
                                            const std::shared_ptr<CLLocation>& location,
                                            const std::shared_ptr<CLLocation>& old) override;
    void locationManagerDidUpdateHeading(CLLocationManager&,
                                         const std::shared_ptr<CLHeading>& heading) override;
    void locationManagerDidFailWithError(CLLocationManager&, const NSError& error) override;

  protected:
    VMMapView() = default;
    std::shared_ptr<CALayer> makeLayer() const override { return VMMapLayer::layer(); }

  private:
    bool initialize();
    void initMapLayer();
    void initNotifications();
    void initEnableAttributes();
    void initGestureRecognizers();
    void initBaseMapView();
    void initOverlaySystem();
    void initAnnotationSystem();
    void initUserlocationSystem();
    void initLogoImageView();
    void initTrafficColor();
    void initCompassView();
    void initScaleView();

    void handleDidBecomeActiveNotification();
    void handleWillResignActiveNotification();
    void handleDidEnterBackgroundNotification();
    void handleDidChangeOrientationNotification();
    void updateAnnotationsPosition();
    // The map frame and the annotation views' places reach the screen together.
    void forceRefreshBaseMapView();
    // Places the annotation views not yet placed for the engine's camera.
    void updateAnnotationCenters();
    // The engine's view record, which the screen shows; null without an engine.
    const MapViewState* engineViewState() const;
    // The engine's record made ready to give the points of many map points: the same points
    // as pointForMapPoint, the record's matrices multiplied once.
    struct ScreenProjection {
        const MapViewState* state = nullptr;
        MapScreenTransform transform{};
        CGFloat scale = 1;
    };
    ScreenProjection screenProjection() const;
    CGPoint pointForMapPoint(VMMapPoint point, const ScreenProjection& projection);
    void placeAnnotationView(VMAnnotationView& view, const ScreenProjection& projection,
                             std::uint64_t camera);
    bool isVisibleAtMapPoint(const VMAnnotationRef& annotation, VMMapPoint point,
                             const ScreenProjection& projection);
    // While one is held, the steps of a camera change leave the annotation views where they are:
    // the step after the last hold places them once, for the camera the steps reached together.
    // Should that step place nothing (a target it refuses), the next frame places them, their
    // camera being no longer the engine's.
    class PlacementHold {
      public:
        explicit PlacementHold(VMMapView& map) : map_(map) { ++map_.placementHolds_; }
        ~PlacementHold() { --map_.placementHolds_; }
        PlacementHold(const PlacementHold&) = delete;
        PlacementHold& operator=(const PlacementHold&) = delete;

      private:
        VMMapView& map_;
    };
    std::optional<VMMapRect> flatVisibilityBox();

    void notifyDelegateRegionWillChangeAnimated(bool animated);
    void notifyDelegateRegionDidChangeAnimated(bool animated);
    Completion regionDidChangeCompletion(bool animated);
    void internalSetCenterCoordinate(CLLocationCoordinate2D c, bool animated, bool usingMapCenter);
    void internalSetMapPivot(VMMapPoint pivot, bool animated, bool usingMapCenter);
    void internalSetVisibleMapRect(VMMapRect rect, UIEdgeInsets padding, bool animated);
    void internalSetZoomLevel(double level, CGPoint pivot, bool animated);
    void internalSetZoomLevel(double level, VMMapPoint center, bool animated, double duration);
    VMMapPoint mapPointForPoint(CGPoint point, const MapViewState* projection);
    CGPoint pointForMapPoint(VMMapPoint point, const MapViewState* projection);
    VMMapRect mapRectForRect(CGRect rect, const MapViewState* projection);
    double mapSizeOnEdge(CGPoint from, CGPoint to, double zoom);
    CGRect paddedBounds(UIEdgeInsets padding) const;
    MapViewState* projection() const;
    AnimationRef animationWithKeyPath(const char* keyPath, VMAnimationValue from,
                                      VMAnimationValue to, double duration, int timingType,
                                      Completion completion);
    void willAddAnimation(const std::shared_ptr<CAAnimation>& animation);
    void willAddInternalAnimation(const std::shared_ptr<VMPropertyAnimation>& animation);
    Completion layerAnimationCompletion(const std::shared_ptr<CAAnimation>& animation);
    // The end of a pan: a fast release runs the map on, a slow one ends the region change.
    void fling(CGPoint velocity);
    CLLocationCoordinate2D coordinateUnder(const UIGestureRecognizer& r);
    // Writes a candidate camera value into the projection, reads the anchor's map point, and
    // puts everything back.
    VMMapPoint pivotCentreWith(VMMapPoint pivot, CGPoint anchor,
                               const std::function<void(MapViewState*)>& candidate);

    void addUserLocationInterface();
    void removeUserLocationInterface();
    // Read from the list, so that a map cleared by the application gets its dot back.
    bool userLocationInterfaceExisted() const {
        return userLocation_ && annotationSet_.contains(userLocation_.get());
    }
    void updateUserLocationInterface();
    void diveFitsTracking();
    // Heading tracking turns the map to the heading and shows the cone.
    void updateUserLocationAngle();
    void resetUserLocationHeading();
    void addAngleIndicator();
    void removeAngleIndicator();
    void notifyDelegateUpdateUserLocation(bool updatingLocation);
    void reportLoading(std::function<void(VMMapViewDelegate&, VMMapView&)> send);

    bool needsOperateAfterProjection_ = false;
    std::function<void()> operation_;
    VMMapPoint mapPivotAfterProjection_;
    bool showTraffic_ = false;
    bool customedPivot_ = false;
    bool scrollEnabled_ = false;
    bool rotateCameraEnabled_ = false;
    bool zoomEnabled_ = false;
    bool rotateEnabled_ = false;
    bool touchPOIEnabled_ = false;
    bool showsCompass_ = false;
    bool showsLabels_ = false;
    bool showsUserLocation_ = false;
    bool real3DModelsDisabled_ = false;
    bool buildingsDisabled_ = false;
    bool skyModelEnable_ = false;
    bool customizeCircle_ = false;
    mutable std::mutex delegateMutex_;
    std::weak_ptr<VMMapViewDelegate> delegate_;
    // Set at creation: lets other threads name the view without owning it.
    std::weak_ptr<VMMapView> weakSelf_;
    std::shared_ptr<VMBaseMapView> baseMapView_;
    std::shared_ptr<UIImageView> logoImageView_;
    long mapType_ = 0;
    std::shared_ptr<UITapGestureRecognizer> zoomInGestureRecognizer_;
    std::shared_ptr<UITapGestureRecognizer> zoomOutGestureRecognizer_;
    std::shared_ptr<UIPinchGestureRecognizer> zoomPinchGestureRecognizer_;
    std::shared_ptr<UIPanGestureRecognizer> panGestureRecognizer_;
    std::shared_ptr<UIPanGestureRecognizer> pullGestureRecognizer_;
    std::shared_ptr<UIRotationGestureRecognizer> rotateGestureRecognizer_;
    std::shared_ptr<UITapGestureRecognizer> singleTapGestureRecognizer_;
    std::shared_ptr<UILongPressGestureRecognizer> longPressGestureRecognizer_;
    std::shared_ptr<VMCompassView> compassView_;
    std::shared_ptr<VMAngleIndicator> angleIndicator_;
    std::shared_ptr<VMScaleView> scaleView_;
    std::shared_ptr<VMOverlayContainerView> overlayContainer_;
    std::vector<std::shared_ptr<VMAnnotation>> annotationArray_;
    // Membership by identity, so that adding many annotations stays linear.
    std::unordered_set<const VMAnnotation*> annotationSet_;
    std::shared_ptr<VMAnnotation> selectedAnnotation_;
    bool userLocationViewIsCustomized_ = false;
    std::shared_ptr<VMAnnotationFloor> annotationFloor_;
    // The engine's view record and screen scale as last seen, and the number given to them.
    std::optional<MapViewState> cameraSeen_;
    CGFloat cameraScaleSeen_ = 0;
    std::uint64_t camera_ = 0;
    // The camera every view of the floor was placed for at the last pass; views added since are
    // placed as they come.
    std::uint64_t floorCamera_ = 0;
    int placementHolds_ = 0;
    std::shared_ptr<VMViewRecycler> recycler_;
    std::shared_ptr<CLLocationManager> locationManager_;
    std::shared_ptr<VMCircle> userCircle_;
    long userTrackingMode_ = 0;
    std::shared_ptr<VMUserLocation> userLocation_;
    double headingOffset_ = 0;
    std::shared_ptr<MapStatus> mapStatusBefore_;
    std::shared_ptr<VMTrafficColorWrapper> trafficColorWrapper_;
    int projectionState_ = 0;
    VMMapPoint mapPivot_;
    CGPoint screenAnchor_{0.5, 0.5};
};
