#pragma once

#include <memory>
#include <string>

#include "QuartzCore/CAAnimation.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIColor.h"
#include "VMAnnotationView.h"

// The default view of the user's position: a white disc with a soft shadow and a blue dot that
// pulses for as long as the view exists.
class VMUserLocationView : public VMAnnotationView {
  public:
    static constexpr const char* kPulseKey = "innerPulseAnimation";
    static std::shared_ptr<VMUserLocationView> initWithAnnotation(
        std::shared_ptr<VMAnnotation> annotation, std::string reuseIdentifier);

    const std::shared_ptr<VMAnnotation>& userLocation() const { return annotation(); }
    const std::shared_ptr<CALayer>& innerBaseLayer() const { return innerBaseLayer_; }
    const std::shared_ptr<CALayer>& innerCircleLayer() const { return innerCircleLayer_; }
    // Grows and brightens the dot over the duration, and back, for ever.
    static std::shared_ptr<CAAnimation> getInnerAnimationWithDuration(double duration);

  protected:
    VMUserLocationView() = default;

  private:
    void buildLayers();

    std::shared_ptr<CALayer> innerBaseLayer_;
    std::shared_ptr<CALayer> innerCircleLayer_;
    UIColorRef baseColor_;
    UIColorRef innerColor_;
    float baseDiameter_ = 25.0f;
    float innerDiameter_ = 12.5f;
    bool allowInnerPulse_ = true;
};
