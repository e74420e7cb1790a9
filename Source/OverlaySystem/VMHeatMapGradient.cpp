#include "VMHeatMapGradient.h"

std::shared_ptr<VMHeatMapGradient> VMHeatMapGradient::create() {
    return create({UIColor::blueColor(), UIColor::greenColor(), UIColor::redColor()},
                  {0.2, 0.5, 0.9});
}

std::shared_ptr<VMHeatMapGradient> VMHeatMapGradient::create(std::vector<UIColorRef> colors,
                                                             std::vector<double> startPoints) {
    return std::shared_ptr<VMHeatMapGradient>(
        new VMHeatMapGradient(std::move(colors), std::move(startPoints)));
}
