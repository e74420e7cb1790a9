#pragma once

#include <memory>

#include "OverlaySystem/VMShape.h"

// The stock annotation: a title, a subtitle and a coordinate that can be set, so its views can
// be dragged.
class VMPointAnnotation : public VMShape {
  public:
    static std::shared_ptr<VMPointAnnotation> create(CLLocationCoordinate2D coordinate = {}) {
        auto annotation = std::shared_ptr<VMPointAnnotation>(new VMPointAnnotation());
        annotation->coordinate_ = coordinate;
        return annotation;
    }

    CLLocationCoordinate2D coordinate() const override { return coordinate_; }
    bool respondsToSetCoordinate() const override { return true; }
    void setCoordinate(CLLocationCoordinate2D c) override {
        coordinate_ = c;
        didChange("coordinate");
    }

  private:
    VMPointAnnotation() = default;
    CLLocationCoordinate2D coordinate_;
};
