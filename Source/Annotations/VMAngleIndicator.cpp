#include "VMAngleIndicator.h"

#include <cmath>

#include "CoreGraphics/CGPath.h"

namespace {

constexpr CGColor kBlue{24 / 255.0, 137 / 255.0, 234 / 255.0, 1};
constexpr double kAngleEpsilon = static_cast<float>(1e-5);
constexpr double kRadiansPerDegree = 0.017453292519943295;

}  // namespace

std::shared_ptr<VMAngleIndicator> VMAngleIndicator::initWithRadius(double radius) {
    auto view = finishCreate(std::shared_ptr<VMAngleIndicator>(new VMAngleIndicator()),
                             CGRectMake(0, 0, 2 * radius, 2 * radius));
    view->radius_ = radius;
    view->build();
    return view;
}

void VMAngleIndicator::build() {
    const CGRect b = bounds();
    const CGPoint m{CGRectGetMidX(b), CGRectGetMidY(b)};
    gradientLayer_ = CAGradientLayer::layer();
    gradientLayer_->setBounds(b);
    gradientLayer_->setPosition(m);
    gradientLayer_->setEndPoint({0.5, 0.5});
    CGColor clear = kBlue, strong = kBlue;
    clear.a = 0;
    strong.a = 0.7;
    gradientLayer_->setColors({clear, strong});
    layer()->addSublayer(gradientLayer_);

    maskLayer_ = CAShapeLayer::layer();
    maskLayer_->setBounds(b);
    maskLayer_->setPosition(m);
    maskLayer_->setLineWidth(1.0);
    maskLayer_->setFillColor(CGColor{1, 1, 1, 1});
    maskLayer_->setStrokeColor(CGColor{});
    gradientLayer_->setMask(maskLayer_);

    shapeLayer_ = CAShapeLayer::layer();
    shapeLayer_->setBounds(b);
    shapeLayer_->setPosition(m);
    shapeLayer_->setLineWidth(1.0);
    shapeLayer_->setFillColor(CGColor{});
    shapeLayer_->setStrokeColor(CGColor{});
    layer()->addSublayer(shapeLayer_);

    overlapImageView_ = UIImageView::create(CGRectZero);
    overlapImageView_->setCenter(m);
    addSubview(overlapImageView_);
}

void VMAngleIndicator::setAngle(double degrees) {
    degrees = std::fabs(degrees);
    if (!(std::fabs(degrees - angle_) > kAngleEpsilon)) return;
    angle_ = degrees;
    updateAngle();
}

void VMAngleIndicator::updateAngle() {
    const double r = radius_;
    const double h = angle_ * 0.5 * kRadiansPerDegree;
    const CGPoint left{r - r * std::sin(h), r - r * std::cos(h)};
    const CGPoint right{2 * r - left.x, left.y};
    auto path = CGPathCreateMutable();
    CGPathMoveToPoint(path, nullptr, left.x, left.y);
    CGPathAddLineToPoint(path, nullptr, r, r);
    CGPathAddLineToPoint(path, nullptr, right.x, right.y);
    shapeLayer_->setPath(path);
    maskLayer_->setPath(path);
    gradientLayer_->setStartPoint({0.5, left.y / (2 * r)});
}

void VMAngleIndicator::setOverlapImage(const std::shared_ptr<UIImage>& image) {
    if (image == overlapImageView_->image()) return;
    overlapImageView_->setImage(image);
    const CGSize size = image ? image->size() : CGSize{};
    overlapImageView_->setBounds(CGRectMake(0, 0, size.width, size.height));
}
