#pragma once

#include <memory>
#include <string>

#include "CoreLocation/CLLocation.h"
#include "Foundation/NSObject.h"
#include "OverlaySystem/VMOverlay.h"

// The map's one user-location annotation. Its location is already in display coordinates.
class VMUserLocation : public NSObject, public VMAnnotation {
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
    std::string title() const override { return title_; }
    void setTitle(std::string t) {
        title_ = std::move(t);
        didChange("title");
    }
    std::string subtitle() const override { return subtitle_; }
    void setSubtitle(std::string s) {
        subtitle_ = std::move(s);
        didChange("subtitle");
    }
    CLLocationCoordinate2D coordinate() const override { return coordinate_; }
    bool respondsToSetCoordinate() const override { return true; }
    void setCoordinate(CLLocationCoordinate2D c) override {
        coordinate_ = c;
        didChange("coordinate");
    }

  private:
    VMUserLocation() = default;
    bool updating_ = false;
    std::shared_ptr<CLLocation> location_;
    std::shared_ptr<CLHeading> heading_;
    std::string title_;
    std::string subtitle_;
    CLLocationCoordinate2D coordinate_;
};
