#pragma once

#include <memory>
#include <string>

#include "CoreLocation/CLLocation.h"
#include "Foundation/NSObject.h"

// The map's one user-location annotation. Its location is already in display coordinates.
class VMUserLocation : public NSObject {
  public:
    static std::shared_ptr<VMUserLocation> create() {
        return std::shared_ptr<VMUserLocation>(new VMUserLocation());
    }

    // The engine's regional display offset; a result that is not a valid coordinate gives the
    // input back.
    static CLLocationCoordinate2D offsetCoordinate(CLLocationCoordinate2D coordinate);

    bool isUpdating() const { return updating_; }
    void setUpdating(bool u) { updating_ = u; }
    const std::shared_ptr<CLLocation>& location() const { return location_; }
    void setLocation(std::shared_ptr<CLLocation> l) { location_ = std::move(l); }
    const std::shared_ptr<CLHeading>& heading() const { return heading_; }
    void setHeading(std::shared_ptr<CLHeading> h) { heading_ = std::move(h); }
    const std::string& title() const { return title_; }
    void setTitle(std::string t) { title_ = std::move(t); }
    const std::string& subtitle() const { return subtitle_; }
    void setSubtitle(std::string s) { subtitle_ = std::move(s); }
    CLLocationCoordinate2D coordinate() const { return coordinate_; }
    void setCoordinate(CLLocationCoordinate2D c) { coordinate_ = c; }

  private:
    VMUserLocation() = default;
    bool updating_ = false;
    std::shared_ptr<CLLocation> location_;
    std::shared_ptr<CLHeading> heading_;
    std::string title_;
    std::string subtitle_;
    CLLocationCoordinate2D coordinate_;
};
