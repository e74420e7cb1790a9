#include "VMUserLocationView.h"

#include <cmath>

#include "QuartzCore/CAAnimationGroup.h"
#include "QuartzCore/CABasicAnimation.h"
#include "QuartzCore/CAMediaTimingFunction.h"

namespace {

constexpr double kPulseDuration = 1.5;

}  // namespace

std::shared_ptr<VMUserLocationView> VMUserLocationView::initWithAnnotation(
    std::shared_ptr<VMAnnotation> annotation, std::string reuseIdentifier) {
    auto view =
        finishCreate(std::shared_ptr<VMUserLocationView>(new VMUserLocationView()), CGRectZero);
    view->initWithAnnotationAndIdentifier(std::move(annotation), std::move(reuseIdentifier));
    view->baseColor_ = UIColor::whiteColor();
    view->innerColor_ = UIColor::colorWithRed(24 / 255.0, 137 / 255.0, 234 / 255.0, 1);
    view->setBounds(CGRectMake(0, 0, view->baseDiameter_, view->baseDiameter_));
    view->buildLayers();
    view->setCalloutOffset({0, -2});
    view->setCanShowCallout(true);
    return view;
}

void VMUserLocationView::buildLayers() {
    innerBaseLayer_ = CALayer::layer();
    innerBaseLayer_->setFrame(CGRectMake(0, 0, baseDiameter_, baseDiameter_));
    innerBaseLayer_->setCornerRadius(baseDiameter_ / 2);
    innerBaseLayer_->setBackgroundColor(baseColor_->CGColor());
    innerBaseLayer_->setShadowOpacity(0.75f);
    innerBaseLayer_->setShadowOffset({0, 0});

    innerCircleLayer_ = CALayer::layer();
    innerCircleLayer_->setBounds(CGRectMake(0, 0, innerDiameter_, innerDiameter_));
    const CGRect b = innerBaseLayer_->bounds();
    innerCircleLayer_->setPosition({CGRectGetMidX(b), CGRectGetMidY(b)});
    innerCircleLayer_->setCornerRadius(innerDiameter_ / 2);
    innerCircleLayer_->setBackgroundColor(innerColor_->CGColor());
    innerBaseLayer_->addSublayer(innerCircleLayer_);
    layer()->addSublayer(innerBaseLayer_);

    if (allowInnerPulse_)
        innerCircleLayer_->addAnimation(getInnerAnimationWithDuration(kPulseDuration), kPulseKey);
}

std::shared_ptr<CAAnimation> VMUserLocationView::getInnerAnimationWithDuration(double duration) {
    // The members span the whole cycle: left at their default they would end after a quarter
    // second.
    auto brighten = CABasicAnimation::animationWithKeyPath("opacity");
    brighten->setDuration(duration);
    brighten->setFromValue(0.85);
    brighten->setToValue(1.0);
    auto grow = CABasicAnimation::animationWithKeyPath("transform.scale");
    grow->setDuration(duration);
    grow->setFromValue(1.0);
    grow->setToValue(1.5);
    // Held at their ends, they keep the peak itself, where the cycle turns back.
    brighten->setFillMode(kCAFillModeForwards);
    grow->setFillMode(kCAFillModeForwards);
    auto group = CAAnimationGroup::animation();
    group->setAnimations({brighten, grow});
    group->setDuration(duration);
    group->setRepeatCount(HUGE_VALF);
    group->setRemovedOnCompletion(false);
    group->setTimingFunction(
        CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseOut));
    group->setAutoreverses(true);
    return group;
}
