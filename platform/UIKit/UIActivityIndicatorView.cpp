#include "UIActivityIndicatorView.h"

#include <cmath>
#include <numbers>

#include "UIKit/UIGraphics.h"

std::shared_ptr<UIActivityIndicatorView> UIActivityIndicatorView::create(
    UIActivityIndicatorViewStyle style) {
    auto v = finishCreate(std::shared_ptr<UIActivityIndicatorView>(new UIActivityIndicatorView()),
                          CGRectZero);
    v->setUserInteractionEnabled(false);
    v->setActivityIndicatorViewStyle(style);
    v->setHidden(true);
    return v;
}

void UIActivityIndicatorView::setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle s) {
    style_ = s;
    color_ = s == UIActivityIndicatorViewStyleGray ? UIColor::grayColor() : UIColor::whiteColor();
    const CGSize size = sizeThatFits(CGSizeZero);
    const CGPoint c = center();
    setBounds(CGRectMake(0, 0, size.width, size.height));
    setCenter(c);
    setNeedsDisplay();
}

void UIActivityIndicatorView::setColor(UIColorRef c) {
    color_ = std::move(c);
    setNeedsDisplay();
}

void UIActivityIndicatorView::setHidesWhenStopped(bool h) {
    hidesWhenStopped_ = h;
    if (!animating_) setHidden(h);
}

void UIActivityIndicatorView::startAnimating() {
    animating_ = true;
    setHidden(false);
}

void UIActivityIndicatorView::stopAnimating() {
    animating_ = false;
    if (hidesWhenStopped_) setHidden(true);
}

CGSize UIActivityIndicatorView::sizeThatFits(CGSize) const {
    return style_ == UIActivityIndicatorViewStyleWhiteLarge ? CGSize{37, 37} : CGSize{20, 20};
}

void UIActivityIndicatorView::drawRect(CGRect) {
    CGContextRef ctx = UIGraphicsGetCurrentContext();
    if (!ctx || !color_) return;
    const CGRect b = bounds();
    const CGFloat r = std::min(b.size.width, b.size.height) / 2;
    const CGPoint c{CGRectGetMidX(b), CGRectGetMidY(b)};
    CGContextSetLineWidth(ctx, r * 0.18);
    CGContextSetLineCap(ctx, kCGLineCapRound);
    const CGColor base = color_->CGColor();
    for (int i = 0; i < 12; ++i) {
        const CGFloat angle = i * std::numbers::pi / 6 - std::numbers::pi / 2;
        CGContextSetStrokeColorWithColor(ctx,
                                         CGColorCreateCopyWithAlpha(base, base.a * (1 - i / 14.0)));
        const CGPoint pts[] = {
            {c.x + std::cos(angle) * r * 0.45, c.y + std::sin(angle) * r * 0.45},
            {c.x + std::cos(angle) * r * 0.88, c.y + std::sin(angle) * r * 0.88}};
        CGContextStrokeLineSegments(ctx, pts, 2);
    }
}
