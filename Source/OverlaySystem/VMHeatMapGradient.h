#pragma once

#include <memory>
#include <vector>

#include "Foundation/NSObject.h"
#include "UIKit/UIColor.h"

// The colours of a heat map and where along the intensity range (0..1) each one starts.
class VMHeatMapGradient : public NSObject {
  public:
    // Blue from 0.2, green from 0.5, red from 0.9.
    static std::shared_ptr<VMHeatMapGradient> create();
    static std::shared_ptr<VMHeatMapGradient> create(std::vector<UIColorRef> colors,
                                                     std::vector<double> startPoints);
    std::shared_ptr<VMHeatMapGradient> copy() const { return create(colors_, startPoints_); }

    const std::vector<UIColorRef>& colors() const { return colors_; }
    const std::vector<double>& startPoints() const { return startPoints_; }

  private:
    VMHeatMapGradient(std::vector<UIColorRef> colors, std::vector<double> startPoints)
        : colors_(std::move(colors)), startPoints_(std::move(startPoints)) {}
    const std::vector<UIColorRef> colors_;
    const std::vector<double> startPoints_;
};
