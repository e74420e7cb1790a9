#pragma once

#include <memory>

#include "Foundation/NSObject.h"
#include "VMOverlay.h"

// One weighted point of a heat map.
class VMHeatMapNode : public NSObject, public VMAnnotation {
  public:
    static std::shared_ptr<VMHeatMapNode> create(CLLocationCoordinate2D coordinate = {},
                                                 float intensity = 0) {
        return std::shared_ptr<VMHeatMapNode>(new VMHeatMapNode(coordinate, intensity));
    }

    CLLocationCoordinate2D coordinate() const override { return coordinate_; }
    void setCoordinate(CLLocationCoordinate2D coordinate) { coordinate_ = coordinate; }
    float intensity() const { return intensity_; }
    void setIntensity(float intensity) { intensity_ = intensity; }

  private:
    VMHeatMapNode(CLLocationCoordinate2D coordinate, float intensity)
        : coordinate_(coordinate), intensity_(intensity) {}
    CLLocationCoordinate2D coordinate_;
    float intensity_;
};
