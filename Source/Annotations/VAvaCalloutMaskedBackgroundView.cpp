#include "VAvaCalloutMaskedBackgroundView.h"

#include <cmath>
#include <numbers>

#include "CoreGraphics/CGPath.h"
#include "QuartzCore/CAShapeLayer.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIScreen.h"

namespace {

constexpr CGFloat kArrowHeight = 13;
constexpr CGFloat kCornerRadius = 8;
constexpr CGFloat kPressedWhite = 0.85;

struct ArrowPictures {
    std::shared_ptr<UIImage> black, white, grey;
};

// Made once, on the first background, and shared by all.
const ArrowPictures& arrowPictures() {
    static const ArrowPictures pictures = [] {
        ArrowPictures p;
        p.black = VAvaCalloutBackgroundView::embeddedImageNamed("CalloutArrow");
        p.white = VAvaCalloutMaskedBackgroundView::imageWithColor(p.black, UIColor::whiteColor());
        p.grey = VAvaCalloutMaskedBackgroundView::imageWithColor(
            p.black, UIColor::colorWithWhite(kPressedWhite, 1));
        return p;
    }();
    return pictures;
}

CGRect insetBy(CGRect r, CGFloat d) { return CGRectInset(r, d, d); }

}  // namespace

std::shared_ptr<VAvaCalloutMaskedBackgroundView> VAvaCalloutMaskedBackgroundView::create(
    CGRect frame) {
    return finishCreate(
        std::shared_ptr<VAvaCalloutMaskedBackgroundView>(new VAvaCalloutMaskedBackgroundView()),
        frame);
}

void VAvaCalloutMaskedBackgroundView::initWithFrame(CGRect frame) {
    VAvaCalloutBackgroundView::initWithFrame(frame);
    const ArrowPictures& arrows = arrowPictures();

    containerView_ = UIView::create(CGRectZero);
    containerView_->setBackgroundColor(UIColor::whiteColor());
    containerView_->setAlpha(0.96);
    containerView_->layer()->setCornerRadius(kCornerRadius);
    containerView_->layer()->setShadowRadius(30);
    containerView_->layer()->setShadowOpacity(0.1f);

    containerBorderView_ = UIView::create(CGRectZero);
    containerBorderView_->layer()->setBorderColor(CGColor{0, 0, 0, 0.1});
    containerBorderView_->layer()->setBorderWidth(0.5);
    containerBorderView_->layer()->setCornerRadius(kCornerRadius + 0.5);

    arrowBorderView_ = UIImageView::createWithImage(arrows.black);
    arrowBorderView_->setAlpha(0.1);
    arrowImageView_ = UIImageView::createWithImage(arrows.white);
    arrowHighlightedImageView_ = UIImageView::createWithImage(arrows.grey);
    arrowHighlightedImageView_->setHidden(true);
    arrowView_ = UIView::create(CGRectMake(0, 0, arrowImageView_->frame().size.width,
                                           arrowImageView_->frame().size.height));
    arrowView_->setAlpha(0.96);
    CGRect border = arrowBorderView_->frame();
    border.origin.y += 0.5;
    arrowBorderView_->setFrame(border);
    arrowView_->addSubview(arrowBorderView_);
    arrowView_->addSubview(arrowImageView_);
    arrowView_->addSubview(arrowHighlightedImageView_);

    addSubview(containerView_);
    containerView_->addSubview(containerBorderView_);
    addSubview(arrowView_);
}

std::shared_ptr<UIImage> VAvaCalloutMaskedBackgroundView::imageWithColor(
    const std::shared_ptr<UIImage>& image, UIColorRef color) {
    if (!image) return nullptr;
    const CGSize size = image->size();
    UIGraphicsBeginImageContextWithOptions(size, false, UIScreen::mainScreen()->scale());
    CGContextRef ctx = UIGraphicsGetCurrentContext();
    const CGRect r = CGRectMake(0, 0, size.width, size.height);
    // Masks keep the bottom-up rows of bitmaps: turn the context so the arrow stays upright.
    CGContextTranslateCTM(ctx, 0, size.height);
    CGContextScaleCTM(ctx, 1, -1);
    CGContextClipToMask(ctx, r, image->CGImage());
    CGContextSetFillColorWithColor(ctx, color->CGColor());
    CGContextFillRect(ctx, r);
    auto result = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return result;
}

void VAvaCalloutMaskedBackgroundView::setArrowPoint(CGPoint p) {
    VAvaCalloutBackgroundView::setArrowPoint(p);
    setNeedsLayout();
}

void VAvaCalloutMaskedBackgroundView::setHighlighted(bool h) {
    VAvaCalloutBackgroundView::setHighlighted(h);
    containerView_->setBackgroundColor(h ? UIColor::colorWithWhite(kPressedWhite, 1)
                                         : UIColor::whiteColor());
    arrowImageView_->setHidden(h);
    arrowHighlightedImageView_->setHidden(!h);
}

void VAvaCalloutMaskedBackgroundView::layoutSubviews() {
    const CGSize size = bounds().size;
    const CGSize arrow = arrowView_->bounds().size;
    const bool pointingUp = arrowPoint().y < size.height / 2;
    const CGFloat top = pointingUp ? kArrowHeight : 0;
    containerView_->setFrame(CGRectMake(0, top, size.width, size.height - arrow.height + 0.5));
    containerBorderView_->setFrame(insetBy(containerView_->bounds(), -0.5));
    const CGFloat x = std::round(static_cast<float>(arrowPoint().x - arrow.width / 2));
    const CGFloat y = pointingUp ? 1 : containerView_->frame().size.height - 0.5;
    arrowView_->setTransform(pointingUp ? CGAffineTransformMakeRotation(std::numbers::pi)
                                        : CGAffineTransformIdentity);
    arrowView_->setCenter({x + arrow.width / 2, y + arrow.height / 2});
}

std::shared_ptr<CALayer> VAvaCalloutMaskedBackgroundView::contentMask() {
    auto mask = CALayer::layer();
    mask->setFrame(bounds());
    const CGSize box = containerView_->bounds().size;
    auto outline = CAShapeLayer::layer();
    // Where the box is: below the arrow when it points up, so the content is not cut short.
    outline->setFrame(containerView_->frame());
    outline->setPath(CGPathCreateWithRoundedRect(CGRectMake(0, 0, box.width, box.height),
                                                 kCornerRadius, kCornerRadius, nullptr));
    mask->addSublayer(outline);
    auto arrow = CALayer::layer();
    arrow->setContents(arrowImageView_->image() ? arrowImageView_->image()->CGImage()
                                                : CGImageRef{});
    arrow->setFrame(arrowView_->frame());
    mask->addSublayer(arrow);
    return mask;
}
