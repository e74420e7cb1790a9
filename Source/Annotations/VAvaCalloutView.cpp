#include "VAvaCalloutView.h"

#include <algorithm>
#include <cmath>

#include "QuartzCore/CAAnimationGroup.h"
#include "QuartzCore/CABasicAnimation.h"
#include "QuartzCore/CAMediaTimingFunction.h"
#include "QuartzCore/CATransaction.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIScreen.h"
#include "VAvaCalloutMaskedBackgroundView.h"

namespace {

constexpr CGFloat kContentMargin = 12;
constexpr CGFloat kMaxAccessoryMargin = 12;
constexpr CGFloat kAccessoryGap = 7;
constexpr CGFloat kTitleHeight = 21;
constexpr CGFloat kSubtitleHeight = 15;
constexpr CGFloat kTitleFontSize = 17;
constexpr CGFloat kSubtitleFontSize = 12;
constexpr CGFloat kContentViewExtra = 24;
constexpr CGFloat kSubtitleBoxHeight = 52;
constexpr CGFloat kTitleBoxHeight = 44;
constexpr CGFloat kTitleTopWithSubtitle = 4;
constexpr CGFloat kTitleTopAlone = 11;
constexpr CGFloat kSubtitleTop = 28;
constexpr CGFloat kContentViewTop = 12;
constexpr float kMinWidth = 61;
constexpr CGFloat kConstraintInset = 10;
constexpr CGFloat kArrowEndDistance = 27;
constexpr double kCalloutBounceDuration = 0.23;
constexpr double kFadeDuration = 1.0 / 3;
constexpr double kStretchDuration = 0.1;
constexpr double kInstant = 0.0000001;
constexpr const char* kPresentKey = "present";
constexpr const char* kDismissKey = "dismiss";
constexpr const char* kPresentingKey = "presenting";

std::shared_ptr<UILabel> makeLabel(CGFloat height, CGFloat fontSize) {
    auto label = UILabel::create(CGRectMake(0, 0, 0, height));
    label->setFont(UIFont::systemFontOfSize(fontSize));
    label->setTextColor(UIColor::blackColor());
    label->setBackgroundColor(UIColor::clearColor());
    label->setOpaque(false);
    return label;
}

std::shared_ptr<CABasicAnimation> basic(std::string_view keyPath, double duration, double from,
                                        double to) {
    auto a = CABasicAnimation::animationWithKeyPath(keyPath);
    a->setDuration(duration);
    a->setFromValue(from);
    a->setToValue(to);
    return a;
}

bool isPresenting(const std::shared_ptr<CAAnimation>& anim) {
    const std::any* v = anim ? anim->valueForKey(kPresentingKey) : nullptr;
    return v && std::any_cast<bool>(*v);
}

CGFloat accessoryVerticalMargin(const std::shared_ptr<UIView>& accessory, CGFloat boxHeight) {
    if (!accessory) return 0;
    const CGFloat h = accessory->frame().size.height;
    return h < boxHeight ? std::round(static_cast<float>((boxHeight - h) / 2)) : 0;
}

}  // namespace

std::shared_ptr<VAvaCalloutView> VAvaCalloutView::create(CGRect frame) {
    return finishCreate(std::shared_ptr<VAvaCalloutView>(new VAvaCalloutView()), frame);
}

void VAvaCalloutView::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    setBackgroundColor(UIColor::clearColor());
    containerView_ = UIButton::create();
    std::weak_ptr<NSObject> self = sharedSelf<VAvaCalloutView>();
    const auto call = [self](void (VAvaCalloutView::*method)()) {
        return [self, method](const std::shared_ptr<UIControl>&, UIEvent*) {
            if (auto s = std::static_pointer_cast<VAvaCalloutView>(self.lock())) ((*s).*method)();
        };
    };
    containerView_->addTarget(self, call(&VAvaCalloutView::highlightIfNecessary),
                              UIControlEventTouchDown | UIControlEventTouchDragInside);
    containerView_->addTarget(self, call(&VAvaCalloutView::unhighlightIfNecessary),
                              UIControlEventTouchDragOutside | UIControlEventTouchUpInside |
                                  UIControlEventTouchUpOutside | UIControlEventTouchCancel);
    containerView_->addTarget(self, call(&VAvaCalloutView::calloutClicked),
                              UIControlEventTouchUpInside);
}

bool VAvaCalloutView::supportsHighlighting() const {
    const auto d = delegate();
    if (!d || !d->respondsToCalloutViewClicked()) return false;
    return d->calloutViewShouldHighlight(const_cast<VAvaCalloutView&>(*this)).value_or(true);
}

void VAvaCalloutView::highlightIfNecessary() {
    if (supportsHighlighting()) backgroundView()->setHighlighted(true);
}

void VAvaCalloutView::unhighlightIfNecessary() {
    if (supportsHighlighting()) backgroundView()->setHighlighted(false);
}

void VAvaCalloutView::calloutClicked() {
    if (auto d = delegate(); d && d->respondsToCalloutViewClicked()) d->calloutViewClicked(*this);
}

std::shared_ptr<UIView> VAvaCalloutView::titleViewOrDefault() const {
    if (titleView_) return titleView_;
    if (!titleLabel_) titleLabel_ = makeLabel(kTitleHeight, kTitleFontSize);
    return titleLabel_;
}

std::shared_ptr<UIView> VAvaCalloutView::subtitleViewOrDefault() const {
    if (subtitleView_) return subtitleView_;
    if (!subtitleLabel_) subtitleLabel_ = makeLabel(kSubtitleHeight, kSubtitleFontSize);
    return subtitleLabel_;
}

const std::shared_ptr<VAvaCalloutBackgroundView>& VAvaCalloutView::backgroundView() {
    if (!backgroundView_) backgroundView_ = VAvaCalloutMaskedBackgroundView::create();
    return backgroundView_;
}

void VAvaCalloutView::rebuildSubviews() {
    for (const auto& v : std::vector(subviews())) v->removeFromSuperview();
    for (const auto& v : std::vector(containerView_->subviews())) v->removeFromSuperview();
    addSubview(backgroundView());
    addSubview(containerView_);
    if (contentView_) {
        containerView_->addSubview(contentView_);
    } else {
        containerView_->addSubview(titleViewOrDefault());
        containerView_->addSubview(subtitleViewOrDefault());
    }
    if (leftAccessoryView_) containerView_->addSubview(leftAccessoryView_);
    if (rightAccessoryView_) containerView_->addSubview(rightAccessoryView_);
}

CGFloat VAvaCalloutView::calloutContainerHeight() const {
    if (contentView_) return contentView_->frame().size.height + kContentViewExtra;
    if (subtitleView_ || !subtitle_.empty()) return kSubtitleBoxHeight;
    return kTitleBoxHeight;
}

CGFloat VAvaCalloutView::leftAccessoryVerticalMargin() const {
    return accessoryVerticalMargin(leftAccessoryView_, calloutContainerHeight());
}
CGFloat VAvaCalloutView::leftAccessoryHorizontalMargin() const {
    return std::min(leftAccessoryVerticalMargin(), kMaxAccessoryMargin);
}
CGFloat VAvaCalloutView::innerContentMarginLeft() const {
    if (!leftAccessoryView_) return kContentMargin;
    return leftAccessoryHorizontalMargin() + leftAccessoryView_->frame().size.width +
           kContentMargin;
}
CGFloat VAvaCalloutView::rightAccessoryVerticalMargin() const {
    return accessoryVerticalMargin(rightAccessoryView_, calloutContainerHeight());
}
CGFloat VAvaCalloutView::rightAccessoryHorizontalMargin() const {
    return std::min(rightAccessoryVerticalMargin(), kMaxAccessoryMargin);
}
CGFloat VAvaCalloutView::innerContentMarginRight() const {
    if (!rightAccessoryView_) return kContentMargin;
    return rightAccessoryHorizontalMargin() + rightAccessoryView_->frame().size.width +
           kContentMargin;
}

CGSize VAvaCalloutView::sizeThatFits(CGSize size) const {
    const CGFloat left = innerContentMarginLeft(), right = innerContentMarginRight();
    const CGFloat text = std::max<CGFloat>(0, size.width - left - right - 1);
    const CGFloat titleWidth = titleViewOrDefault()->sizeThatFits({text, kTitleHeight}).width;
    const CGFloat subtitleWidth =
        subtitleViewOrDefault()->sizeThatFits({text, kSubtitleHeight}).width;
    CGFloat width;
    if (contentView_) {
        width = left + right + contentView_->frame().size.width;
    } else if (titleWidth >= 0.000001 || subtitleWidth >= 0.000001) {
        width = left + right + std::max(titleWidth, subtitleWidth);
    } else {
        width = (leftAccessoryView_ ? leftAccessoryView_->frame().size.width : 0) +
                (rightAccessoryView_ ? rightAccessoryView_->frame().size.width : 0) +
                leftAccessoryHorizontalMargin() + rightAccessoryHorizontalMargin() +
                (leftAccessoryView_ && rightAccessoryView_ ? kAccessoryGap : 0);
    }
    const float clamped =
        std::min(std::max(static_cast<float>(width), kMinWidth), static_cast<float>(size.width));
    return {clamped, calloutHeight()};
}

CGSize VAvaCalloutView::offsetToContainRect(CGRect inner, CGRect outer) {
    const auto f = [](CGFloat v) { return static_cast<float>(v); };
    const float right = std::max(0.0f, f(CGRectGetMinX(outer)) - f(CGRectGetMinX(inner)));
    const float left = std::min(0.0f, f(CGRectGetMaxX(outer)) - f(CGRectGetMaxX(inner)));
    const float down = std::max(0.0f, f(CGRectGetMinY(outer)) - f(CGRectGetMinY(inner)));
    const float up = std::min(0.0f, f(CGRectGetMaxY(outer)) - f(CGRectGetMaxY(inner)));
    return {left != 0 ? left : right, down != 0 ? down : up};
}

void VAvaCalloutView::presentCalloutFromRect(CGRect rect, const std::shared_ptr<UIView>& view,
                                             const std::shared_ptr<UIView>& constrainedToView,
                                             bool animated) {
    if (!view || !constrainedToView) return;
    presentCalloutFromRect(rect, view->layer(), view, constrainedToView->layer(), animated);
}

void VAvaCalloutView::presentCalloutFromRect(CGRect rect, const std::shared_ptr<CALayer>& layer,
                                             const std::shared_ptr<CALayer>& constrainedToLayer,
                                             bool animated) {
    presentCalloutFromRect(rect, layer, nullptr, constrainedToLayer, animated);
}

void VAvaCalloutView::presentCalloutFromRect(CGRect rect, const std::shared_ptr<CALayer>& parent,
                                             const std::shared_ptr<UIView>& ofView,
                                             const std::shared_ptr<CALayer>& constrainedToLayer,
                                             bool animated) {
    if (!parent || !constrainedToLayer) return;
    const auto self = layer();
    if (self->superlayer()) dismissCalloutAnimated(false);
    self->removeAnimationForKey(kPresentKey);

    CGRect k = constrainedToLayer->convertRectToLayer(constrainedToLayer->bounds(), parent.get());
    k = UIEdgeInsetsInsetRect(k, constrainedInsets_);
    k = CGRectInset(k, kConstraintInset, kConstraintInset);

    rebuildSubviews();
    if (titleLabel_) titleLabel_->setText(title_);
    if (subtitleLabel_) subtitleLabel_->setText(subtitle_);
    const CGSize size = sizeThatFits({k.size.width, calloutHeight()});
    setBounds(CGRectMake(0, 0, size.width, size.height));

    currentArrowDirection_ = permittedArrowDirection_ == VAvaCalloutArrowDirectionUp
                                 ? VAvaCalloutArrowDirectionUp
                                 : VAvaCalloutArrowDirectionDown;
    if (permittedArrowDirection_ == VAvaCalloutArrowDirectionAny) {
        const CGFloat above = CGRectGetMinY(rect) - CGRectGetMinY(k);
        const CGFloat below = CGRectGetMaxY(k) - CGRectGetMaxY(rect);
        if (below > above && above < size.height)
            currentArrowDirection_ = VAvaCalloutArrowDirectionUp;
    }
    const bool down = currentArrowDirection_ == VAvaCalloutArrowDirectionDown;
    const CGPoint anchor{CGRectGetMidX(rect) + calloutOffset_.x,
                         (down ? CGRectGetMinY(rect) : CGRectGetMaxY(rect)) + calloutOffset_.y};

    CGFloat x = std::round(static_cast<float>(anchor.x - size.width / 2));
    x = std::max(x, CGRectGetMinX(k));
    x = std::min(x, CGRectGetMaxX(k) - size.width);
    // The callout may leave the constraint so that its arrow still reaches the anchor.
    if (anchor.x < x + kArrowEndDistance)
        x += anchor.x - (x + kArrowEndDistance);
    else if (anchor.x > x + size.width - kArrowEndDistance)
        x += anchor.x - (x + size.width - kArrowEndDistance);

    if (ofView)
        ofView->addSubview(sharedSelf<VAvaCalloutView>());
    else
        parent->addSublayer(self);
    const CGFloat y = down ? anchor.y - size.height : anchor.y;
    const auto place = [&](CGPoint origin) {
        CGRect f = self->frame();
        f.origin = origin;
        self->setFrame(f);
    };
    place({x, y});
    const CGPoint arrow = self->convertPointFromLayer(anchor, parent.get());
    backgroundView()->setArrowPoint(arrow);
    self->setAnchorPoint({arrow.x / size.width, arrow.y / size.height});
    place({x, y});
    const CGFloat scale = UIScreen::mainScreen()->scale();
    place({std::floor(static_cast<float>(x * scale)) / scale,
           std::floor(static_cast<float>(y * scale)) / scale});

    setNeedsLayout();
    layoutIfNeeded();

    const CGSize offset = offsetToContainRect(CGRectUnion(self->frame(), rect), k);
    popupCancelled_ = false;
    double delay = 0;
    if (offset.width != 0 || offset.height != 0) {
        if (auto d = delegate())
            delay = d->calloutViewDelayForRepositionWithSize(*this, offset).value_or(0);
    }
    if (popupCancelled_) return;

    containerView_->layer()->setMask(backgroundView()->contentMask());
    setHidden(true);
    auto animation = animationWithType(presentAnimation_, true);
    if (!animation) return;
    // A group's members too: cut off at an instant's end, they would hold their first values.
    if (!animated) {
        animation->setDuration(kInstant);
        if (auto group = std::dynamic_pointer_cast<CAAnimationGroup>(animation))
            for (const auto& member : group->animations()) member->setDuration(kInstant);
    }
    animation->setBeginTime(CACurrentMediaTime() + delay);
    animation->setDelegate(sharedSelf<VAvaCalloutView>());
    self->addAnimation(animation, kPresentKey);
}

void VAvaCalloutView::dismissCalloutAnimated(bool animated) {
    layer()->removeAnimationForKey(kPresentKey);
    layer()->removeAnimationForKey(kDismissKey);
    popupCancelled_ = true;
    if (!animated) {
        removeFromParent();
        return;
    }
    auto animation = animationWithType(dismissAnimation_, false);
    if (!animation) return;
    animation->setDelegate(sharedSelf<VAvaCalloutView>());
    layer()->addAnimation(animation, kDismissKey);
}

void VAvaCalloutView::removeFromParent() {
    if (superview()) {
        removeFromSuperview();
        return;
    }
    CATransaction::begin();
    CATransaction::setDisableActions(true);
    layer()->removeFromSuperlayer();
    CATransaction::commit();
}

std::shared_ptr<CAAnimation> VAvaCalloutView::animationWithType(int64_t type, bool presenting) {
    const double shown = presenting ? 1 : 0, gone = presenting ? 0 : 1;
    std::shared_ptr<CAAnimation> result;
    switch (type) {
        case VAvaCalloutAnimationBounce: {
            auto fade = basic("opacity", kCalloutBounceDuration, gone, shown);
            fade->setTimingFunction(
                CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut));
            auto bounce = basic("transform.scale", kCalloutBounceDuration, presenting ? 0.7 : 1,
                                presenting ? 1 : 0.7);
            bounce->setTimingFunction(CAMediaTimingFunction::functionWithControlPoints(
                0.59367f, 0.12066f, 0.18878f, 1.5814f));
            auto group = CAAnimationGroup::animation();
            group->setAnimations({fade, bounce});
            group->setDuration(kCalloutBounceDuration);
            result = group;
            break;
        }
        case VAvaCalloutAnimationFade:
            result = basic("opacity", kFadeDuration, gone, shown);
            break;
        case VAvaCalloutAnimationStretch:
            result = basic("transform.scale", kStretchDuration, gone, shown);
            break;
        default:
            return nullptr;
    }
    result->setValue(kPresentingKey, presenting);
    result->setFillMode(kCAFillModeForwards);
    result->setRemovedOnCompletion(false);
    return result;
}

void VAvaCalloutView::animationDidStart(const std::shared_ptr<CAAnimation>& anim) {
    const auto d = delegate();
    if (isPresenting(anim)) {
        if (d) d->calloutViewWillAppear(*this);
        setHidden(false);
    } else if (d) {
        d->calloutViewWillDisappear(*this);
    }
}

void VAvaCalloutView::animationDidStop(const std::shared_ptr<CAAnimation>& anim, bool finished) {
    if (!finished) return;
    if (isPresenting(anim)) {
        if (auto d = delegate()) d->calloutViewDidAppear(*this);
        return;
    }
    removeFromParent();
    layer()->removeAnimationForKey(kDismissKey);
    if (auto d = delegate()) d->calloutViewDidDisappear(*this);
}

void VAvaCalloutView::layoutSubviews() {
    const CGFloat t = currentArrowDirection_ == VAvaCalloutArrowDirectionUp ? kArrowHeight : 0;
    const CGRect b = bounds();
    containerView_->setFrame(b);
    backgroundView()->setFrame(b);
    const CGFloat left = innerContentMarginLeft(), right = innerContentMarginRight();
    const CGFloat textWidth = b.size.width - left - right;
    const auto place = [](const std::shared_ptr<UIView>& v, CGFloat x, CGFloat y, CGFloat w) {
        v->setFrame(CGRectMake(x, y, w, v->frame().size.height));
    };
    const bool subtitled = subtitleView_ || !subtitle_.empty();
    place(titleViewOrDefault(), left, t + (subtitled ? kTitleTopWithSubtitle : kTitleTopAlone),
          textWidth);
    place(subtitleViewOrDefault(), left, t + kSubtitleTop, textWidth);
    if (leftAccessoryView_) {
        CGRect f = leftAccessoryView_->frame();
        f.origin = {leftAccessoryHorizontalMargin(), t + leftAccessoryVerticalMargin()};
        leftAccessoryView_->setFrame(f);
    }
    if (rightAccessoryView_) {
        CGRect f = rightAccessoryView_->frame();
        f.origin = {b.size.width - rightAccessoryHorizontalMargin() - f.size.width,
                    t + rightAccessoryVerticalMargin()};
        rightAccessoryView_->setFrame(f);
    }
    if (contentView_) {
        CGRect f = contentView_->frame();
        f.origin = {left, t + kContentViewTop};
        contentView_->setFrame(f);
    }
}
