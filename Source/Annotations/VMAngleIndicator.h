#pragma once

#include <memory>

#include "QuartzCore/CAGradientLayer.h"
#include "QuartzCore/CAShapeLayer.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UIView.h"

// The heading cone: a blue wedge opening upwards from the centre, fading towards its chord.
// The map view turns it with the device heading.
class VMAngleIndicator : public UIView {
  public:
    static std::shared_ptr<VMAngleIndicator> initWithRadius(double radius);

    double radius() const { return radius_; }
    double angle() const { return angle_; }
    // Degrees; the sign is dropped.
    void setAngle(double degrees);
    const std::shared_ptr<UIImage>& overlapImage() const { return overlapImageView_->image(); }
    void setOverlapImage(const std::shared_ptr<UIImage>& image);

    const std::shared_ptr<CAGradientLayer>& gradientLayer() const { return gradientLayer_; }
    const std::shared_ptr<CAShapeLayer>& maskLayer() const { return maskLayer_; }
    const std::shared_ptr<CAShapeLayer>& shapeLayer() const { return shapeLayer_; }
    const std::shared_ptr<UIImageView>& overlapImageView() const { return overlapImageView_; }

  protected:
    VMAngleIndicator() = default;

  private:
    void build();
    void updateAngle();

    double radius_ = 0;
    double angle_ = 0;
    std::shared_ptr<CAGradientLayer> gradientLayer_;
    std::shared_ptr<CAShapeLayer> maskLayer_;
    std::shared_ptr<CAShapeLayer> shapeLayer_;
    std::shared_ptr<UIImageView> overlapImageView_;
};
