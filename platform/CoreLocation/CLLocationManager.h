#pragma once

#include <memory>

#include "CoreLocation/CLLocation.h"
#include "CoreLocation/CLLocationSource.h"
#include "Foundation/NSError.h"
#include "Foundation/NSObject.h"

class CLLocationManager;
class NSTimer;

enum CLAuthorizationStatus {
    kCLAuthorizationStatusNotDetermined = 0,
    kCLAuthorizationStatusRestricted = 1,
    kCLAuthorizationStatusDenied = 2,
    kCLAuthorizationStatusAuthorizedAlways = 3,
    kCLAuthorizationStatusAuthorizedWhenInUse = 4,
};

enum CLDeviceOrientation {
    CLDeviceOrientationUnknown = 0,
    CLDeviceOrientationPortrait = 1,
    CLDeviceOrientationPortraitUpsideDown = 2,
    CLDeviceOrientationLandscapeLeft = 3,
    CLDeviceOrientationLandscapeRight = 4,
    CLDeviceOrientationFaceUp = 5,
    CLDeviceOrientationFaceDown = 6,
};

inline constexpr const char* kCLErrorDomain = "kCLErrorDomain";
enum CLError : long { kCLErrorLocationUnknown = 0, kCLErrorDenied = 1 };

inline constexpr double kCLDistanceFilterNone = -1;
inline constexpr double kCLHeadingFilterNone = -1;
inline constexpr double kCLLocationAccuracyBest = -1;

class CLLocationManagerDelegate {
  public:
    virtual ~CLLocationManagerDelegate() = default;
    virtual void locationManagerDidUpdateToLocation(
        CLLocationManager&, const std::shared_ptr<CLLocation>& /*newLocation*/,
        const std::shared_ptr<CLLocation>& /*old*/) {}
    virtual void locationManagerDidUpdateHeading(CLLocationManager&,
                                                 const std::shared_ptr<CLHeading>&) {}
    virtual void locationManagerDidFailWithError(CLLocationManager&, const NSError&) {}
};

// Plays the installed location source to its delegate on the main run loop: on start the latest
// fix (and heading) already due, then each later one at its time. Authorisation is granted.
class CLLocationManager : public NSObject {
  public:
    static std::shared_ptr<CLLocationManager> create();
    ~CLLocationManager() override;

    // The process's source, installed at start (or by a test); its timeline starts now.
    static void setSource(std::shared_ptr<CLLocationSource> source);
    static std::shared_ptr<CLLocationSource> source();

    static CLAuthorizationStatus authorizationStatus() {
        return kCLAuthorizationStatusAuthorizedAlways;
    }
    static bool locationServicesEnabled() { return true; }
    // Only a source with headings has a compass.
    static bool headingAvailable();
    void requestAlwaysAuthorization() {}
    void requestWhenInUseAuthorization() {}

    std::shared_ptr<CLLocationManagerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<CLLocationManagerDelegate> d) { delegate_ = std::move(d); }

    // Metres a fix must move from the last one reported to be reported.
    double distanceFilter() const { return distanceFilter_; }
    void setDistanceFilter(double metres) { distanceFilter_ = metres; }
    double desiredAccuracy() const { return desiredAccuracy_; }
    void setDesiredAccuracy(double metres) { desiredAccuracy_ = metres; }
    // Degrees a heading must turn from the last one reported to be reported.
    double headingFilter() const { return headingFilter_; }
    void setHeadingFilter(double degrees) { headingFilter_ = degrees; }
    bool pausesLocationUpdatesAutomatically() const { return pauses_; }
    void setPausesLocationUpdatesAutomatically(bool v) { pauses_ = v; }
    bool allowsBackgroundLocationUpdates() const { return background_; }
    void setAllowsBackgroundLocationUpdates(bool v) { background_ = v; }
    CLDeviceOrientation headingOrientation() const { return headingOrientation_; }
    void setHeadingOrientation(CLDeviceOrientation o) { headingOrientation_ = o; }

    void startUpdatingLocation();
    void stopUpdatingLocation();
    void startUpdatingHeading();
    void stopUpdatingHeading();
    bool isUpdatingLocation() const { return updatingLocation_; }
    bool isUpdatingHeading() const { return updatingHeading_; }

    // The last fix and heading reported.
    const std::shared_ptr<CLLocation>& location() const { return location_; }
    const std::shared_ptr<CLHeading>& heading() const { return heading_; }

  private:
    CLLocationManager() = default;
    void scheduleFix(size_t index);
    void scheduleHeading(size_t index);
    void deliverFix(size_t index);
    void deliverHeading(size_t index);

    std::weak_ptr<CLLocationManagerDelegate> delegate_;
    double distanceFilter_ = kCLDistanceFilterNone;
    double desiredAccuracy_ = kCLLocationAccuracyBest;
    double headingFilter_ = 1;
    bool pauses_ = true;
    bool background_ = false;
    CLDeviceOrientation headingOrientation_ = CLDeviceOrientationPortrait;
    bool updatingLocation_ = false;
    bool updatingHeading_ = false;
    std::shared_ptr<CLLocationSource> playing_;
    std::shared_ptr<NSTimer> fixTimer_;
    std::shared_ptr<NSTimer> headingTimer_;
    std::shared_ptr<CLLocation> location_;
    std::shared_ptr<CLHeading> heading_;
};
