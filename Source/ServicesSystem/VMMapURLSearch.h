#pragma once

#include <optional>
#include <string>

#include "CoreLocation/CLLocationCoordinate2D.h"
#include "Foundation/NSObject.h"

// What the calling application tells the map application: its name as shown to the user and
// its own URL scheme, by which the map application returns to it.
class VMMapURLConfig : public NSObject {
  public:
    const std::string& appScheme() const { return appScheme_; }
    void setAppScheme(std::string scheme) { appScheme_ = std::move(scheme); }
    const std::string& appName() const { return appName_; }
    void setAppName(std::string name) { appName_ = std::move(name); }

  private:
    std::string appScheme_;
    std::string appName_;
};

// Navigation to a destination; the strategy means what the map application says it means.
class VMNaviConfig : public VMMapURLConfig {
  public:
    CLLocationCoordinate2D destination() const { return destination_; }
    void setDestination(CLLocationCoordinate2D c) { destination_ = c; }
    long strategy() const { return strategy_; }
    void setStrategy(long strategy) { strategy_ = strategy; }
    std::string description() const;

  private:
    CLLocationCoordinate2D destination_;
    long strategy_ = 0;
};

// A route search; route type 0 drives, 1 takes transit.
class VMRouteConfig : public VMMapURLConfig {
  public:
    CLLocationCoordinate2D startCoordinate() const { return startCoordinate_; }
    void setStartCoordinate(CLLocationCoordinate2D c) { startCoordinate_ = c; }
    CLLocationCoordinate2D destinationCoordinate() const { return destinationCoordinate_; }
    void setDestinationCoordinate(CLLocationCoordinate2D c) { destinationCoordinate_ = c; }
    long drivingStrategy() const { return drivingStrategy_; }
    void setDrivingStrategy(long strategy) { drivingStrategy_ = strategy; }
    long transitStrategy() const { return transitStrategy_; }
    void setTransitStrategy(long strategy) { transitStrategy_ = strategy; }
    long routeType() const { return routeType_; }
    void setRouteType(long type) { routeType_ = type; }
    std::string description() const;

  private:
    CLLocationCoordinate2D startCoordinate_;
    CLLocationCoordinate2D destinationCoordinate_;
    long drivingStrategy_ = 0;
    long transitStrategy_ = 0;
    long routeType_ = 0;
};

// A place search by keywords inside a rectangle.
class VMPOIConfig : public VMMapURLConfig {
  public:
    const std::string& keywords() const { return keywords_; }
    void setKeywords(std::string keywords) { keywords_ = std::move(keywords); }
    CLLocationCoordinate2D leftTopCoordinate() const { return leftTopCoordinate_; }
    void setLeftTopCoordinate(CLLocationCoordinate2D c) { leftTopCoordinate_ = c; }
    CLLocationCoordinate2D rightBottomCoordinate() const { return rightBottomCoordinate_; }
    void setRightBottomCoordinate(CLLocationCoordinate2D c) { rightBottomCoordinate_ = c; }
    std::string description() const;

  private:
    std::string keywords_;
    CLLocationCoordinate2D leftTopCoordinate_;
    CLLocationCoordinate2D rightBottomCoordinate_;
};

// Hands a navigation, a route search or a place search to the vendor's map application by
// opening a URL of its scheme, or sends the user to its store page.
class VMMapURLSearch {
  public:
    // The map application's URL scheme and its page in the application store.
    static constexpr const char* kMapApplicationScheme = "vavamap";
    static constexpr const char* kMapApplicationStoreURL =
        "https://store.brisfold.invalid/apps/vava-map";

    // Each answers whether the URL was opened; nothing is opened without the map application.
    static bool openVAvaNavigation(const VMNaviConfig& config);
    static bool openVAvaRouteSearch(const VMRouteConfig& config);
    static bool openVAvaPOISearch(const VMPOIConfig& config);
    static bool canOpenVAVAScheme();
    static void getLatestVAvaApp();

    static std::string applicationName();
    // The scheme of the URL type named after the bundle identifier; nothing without one.
    static std::optional<std::string> applicationScheme();
    // Percent-encoded UTF-8: only letters, digits, "-", "." and "_" stay as they are.
    static std::string encodedStringWithValue(const std::string& value);
};
