#pragma once

#include <memory>

#include "CoreLocation/CLLocationCoordinate2D.h"
#include "Foundation/NSObject.h"

// A circle on the map: a centre coordinate and a radius in metres.
class VMCircle : public NSObject {
  public:
    static std::shared_ptr<VMCircle> create() { return std::shared_ptr<VMCircle>(new VMCircle()); }

    CLLocationCoordinate2D coordinate() const { return coordinate_; }
    void setCoordinate(CLLocationCoordinate2D c) { coordinate_ = c; }
    double radius() const { return radius_; }
    void setRadius(double metres) { radius_ = metres; }

  private:
    VMCircle() = default;
    CLLocationCoordinate2D coordinate_;
    double radius_ = 0;
};
