#include "VMCompassView.h"

#include <cmath>
#include <numbers>

#include "CoreGraphics/CGPath.h"
#include "QuartzCore/CAShapeLayer.h"
#include "QuartzCore/CATextLayer.h"
#include "QuartzCore/CATransaction.h"
#include "QuartzCore/CATransform3D.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIScreen.h"

namespace {

constexpr CGFloat kTickLength = 5;
constexpr CGFloat kArrowSide = 9 + 2;
constexpr CGSize kLetterSize{9 + 3 - 1, 9 + 3};
constexpr double kDegreeEpsilon = 1e-6;

// Turns the layers without the implicit animations of free-standing layers, unless asked to.
class Transaction {
  public:
    Transaction(bool animated, double duration) {
        CATransaction::begin();
        CATransaction::setDisableActions(!animated);
        CATransaction::setAnimationDuration(duration);
    }
    ~Transaction() { CATransaction::commit(); }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
};

}  // namespace

std::shared_ptr<VMCompassView> VMCompassView::compassViewWithDegree(float degree) {
    auto view = finishCreate(std::shared_ptr<VMCompassView>(new VMCompassView()),
                             CGRectMake(0, 0, kSide, kSide));
    view->setDegree(degree);
    return view;
}

void VMCompassView::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    bgColor_ = UIColor::colorWithWhite(0, 0.8);
    ticColor_ = UIColor::whiteColor();
    arrowColor_ = UIColor::redColor();
    rotateLayer_ = CALayer::layer();
    rotateLayer_->setFrame(bounds());
    layer()->addSublayer(rotateLayer_);
    baseLayer_ = CALayer::layer();
    baseLayer_->setFrame(bounds());
    rotateLayer_->addSublayer(baseLayer_);
    addDisc();
    addTicks();
    addArrow();
    addLetter();
    addGestureRecognizer(UITapGestureRecognizer::create(sharedSelf<VMCompassView>(),
                                                        &VMCompassView::onCompassTapped));
}

void VMCompassView::addDisc() {
    auto disc = CALayer::layer();
    disc->setContentsScale(UIScreen::mainScreen()->scale());
    disc->setFrame(baseLayer_->bounds());
    disc->setCornerRadius(std::ceil(bounds().size.width / 2));
    disc->setBackgroundColor(bgColor_->CGColor());
    baseLayer_->addSublayer(disc);
}

void VMCompassView::addTicks() {
    auto ticks = CAShapeLayer::layer();
    ticks->setContentsScale(UIScreen::mainScreen()->scale());
    ticks->setFrame(baseLayer_->bounds());
    const CGFloat r = bounds().size.width / 2;
    ticks->setCornerRadius(std::ceil(r));
    ticks->setStrokeColor(ticColor_->CGColor());
    ticks->setFillColor(CGColor{});
    const CGPoint c{CGRectGetMidX(bounds()), CGRectGetMidY(bounds())};
    auto path = CGPathCreateMutable();
    const int count = static_cast<int>(360 / scale_);
    for (int i = 0; i < count; ++i) {
        const double a = i * scale_ * std::numbers::pi / 180;
        const double s = std::sin(a), k = std::cos(a);
        CGPathMoveToPoint(path, nullptr, c.x - (r - kTickLength) * s, c.y - (r - kTickLength) * k);
        CGPathAddLineToPoint(path, nullptr, c.x - (r - 1) * s, c.y - (r - 1) * k);
    }
    ticks->setPath(path);
    baseLayer_->addSublayer(ticks);
}

void VMCompassView::addArrow() {
    auto arrow = CAShapeLayer::layer();
    arrow->setContentsScale(UIScreen::mainScreen()->scale());
    arrow->setBounds(CGRectMake(0, 0, kArrowSide, kArrowSide));
    arrow->setPosition({CGRectGetMidX(bounds()), CGRectGetMidY(bounds()) - kArrowSide / 2});
    arrow->setFillColor(arrowColor_->CGColor());
    auto path = CGPathCreateMutable();
    CGPathMoveToPoint(path, nullptr, kArrowSide / 2, 0);
    CGPathAddLineToPoint(path, nullptr, 0, kArrowSide);
    CGPathAddLineToPoint(path, nullptr, kArrowSide, kArrowSide);
    CGPathCloseSubpath(path);
    arrow->setPath(path);
    baseLayer_->addSublayer(arrow);
}

void VMCompassView::addLetter() {
    auto letter = CATextLayer::layer();
    letter->setAlignmentMode(kCAAlignmentCenter);
    letter->setContentsScale(UIScreen::mainScreen()->scale());
    letter->setFrame(CGRectMake(0, 0, kLetterSize.width, kLetterSize.height));
    letter->setPosition(
        {CGRectGetMidX(bounds()), CGRectGetMidY(bounds()) + kLetterSize.height / 2 - 1});
    letter->setString(nString_);
    const auto font = UIFont::boldSystemFontOfSize(fontSize_);
    letter->setFontName(font->fontName());
    letter->setFontSize(font->pointSize());
    letter->setForegroundColor(ticColor_->CGColor());
    baseLayer_->addSublayer(letter);
}

void VMCompassView::setDegree(float degree, bool animated, double duration) {
    if (!std::isfinite(degree) || std::fabs(degree - degree_) < kDegreeEpsilon) return;
    degree_ = degree;
    Transaction t(animated, duration);
    rotateLayer_->setTransform(
        CATransform3DMakeRotation(-degree * std::numbers::pi / 180, 0, 0, 1));
}

void VMCompassView::updateOrigin(CGPoint origin) {
    const CGRect b = bounds();
    setCenter({origin.x + CGRectGetMidX(b), origin.y + CGRectGetMidY(b)});
}

void VMCompassView::setImage(const std::shared_ptr<UIImage>& image) {
    if (image == image_) return;
    image_ = image;
    Transaction t(false, 0);
    if (image) {
        baseLayer_->removeFromSuperlayer();
        if (!imageLayer_) {
            imageLayer_ = CALayer::layer();
            rotateLayer_->addSublayer(imageLayer_);
        }
        imageLayer_->setContents(image->CGImage());
        const CGSize size = image->size();
        imageLayer_->setBounds(CGRectMake(0, 0, size.width, size.height));
        setBounds(imageLayer_->bounds());
    } else {
        if (imageLayer_) imageLayer_->removeFromSuperlayer();
        imageLayer_.reset();
        setBounds(baseLayer_->bounds());
    }
    // The frame of a turned layer is its turned outline: place it unturned, then turn it back.
    const CATransform3D turn = rotateLayer_->transform();
    rotateLayer_->setTransform(CATransform3DIdentity);
    rotateLayer_->setFrame(bounds());
    rotateLayer_->setTransform(turn);
    if (imageLayer_) {
        const CGRect r = rotateLayer_->bounds();
        imageLayer_->setPosition({CGRectGetMidX(r), CGRectGetMidY(r)});
    } else {
        rotateLayer_->addSublayer(baseLayer_);
    }
}

void VMCompassView::onCompassTapped(UITapGestureRecognizer&) {
    if (auto d = delegate()) d->didCompassViewTapped();
}
