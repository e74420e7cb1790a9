#include "VMPinAnnotationView.h"

#include <any>

#include "QuartzCore/CAKeyframeAnimation.h"
#include "QuartzCore/CAMediaTimingFunction.h"
#include "VMResources.h"

namespace {

// The durations are single-precision values, widened.
constexpr double kDropDuration = 0.3f;
constexpr double kLiftDuration = 0.2f;
constexpr double kCancelDuration = 0.2f;
constexpr double kLiftBounceDuration = 0.4f;

const char* pinName(unsigned long color, bool lifted) {
    switch (color) {
        case VMPinAnnotationColorRed:
            return lifted ? "redPin_lift" : "redPin";
        case VMPinAnnotationColorGreen:
            return lifted ? "greenPin_lift" : "greenPin";
        default:
            return lifted ? "purplePin_lift" : "purplePin";
    }
}

CGPoint boundsCenter(const UIView& view) {
    const CGRect b = view.bounds();
    return {CGRectGetMidX(b), CGRectGetMidY(b)};
}

std::shared_ptr<CAKeyframeAnimation> positionPath(std::vector<CGPoint> points, double duration) {
    auto animation = CAKeyframeAnimation::animationWithKeyPath("position");
    std::vector<CAValue> values(points.begin(), points.end());
    animation->setValues(std::move(values));
    animation->setDuration(duration);
    return animation;
}

}  // namespace

std::shared_ptr<VMPinAnnotationView> VMPinAnnotationView::initWithAnnotation(
    std::shared_ptr<VMAnnotation> annotation, std::string reuseIdentifier) {
    auto view =
        finishCreate(std::shared_ptr<VMPinAnnotationView>(new VMPinAnnotationView()), CGRectZero);
    view->initWithAnnotationAndIdentifier(std::move(annotation), std::move(reuseIdentifier));
    view->setPinColor(VMPinAnnotationColorRed);
    view->setValidRect({12, 0, 24, 38});
    return view;
}

void VMPinAnnotationView::setPinColor(unsigned long color) {
    pinColor_ = color;
    setImage(imageForPinColor(color));
}

std::shared_ptr<UIImage> VMPinAnnotationView::imageForPinColor(unsigned long color) {
    return VMResources::sharedResources()->imageNamed(pinName(color, false));
}

std::shared_ptr<UIImage> VMPinAnnotationView::liftImageForPinColor(unsigned long color) {
    return VMResources::sharedResources()->imageNamed(pinName(color, true));
}

void VMPinAnnotationView::changeToLift(bool lifted) {
    setImage(lifted ? liftImageForPinColor(pinColor_) : imageForPinColor(pinColor_));
}

std::shared_ptr<UIImageView> VMPinAnnotationView::shadowImageView() {
    if (!shadow_) {
        shadow_ =
            UIImageView::createWithImage(VMResources::sharedResources()->imageNamed("pin_shadow"));
        const CGPoint c = boundsCenter(*this);
        shadow_->setCenter({c.x + kShadowOffset.x, c.y + kShadowOffset.y});
    }
    return shadow_;
}

void VMPinAnnotationView::removeShadow() {
    if (shadow_) shadow_->removeFromSuperview();
    shadow_.reset();
}

std::shared_ptr<CABasicAnimation> VMPinAnnotationView::shadowAnimationFromPoint(
    std::optional<CGPoint> from, std::optional<CGPoint> to, double duration,
    Completion completion) {
    auto animation = CABasicAnimation::animationWithKeyPath("position");
    animation->setDelegate(sharedSelf<VMPinAnnotationView>());
    animation->setDuration(duration);
    animation->setTimingFunction(
        CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut));
    if (from) animation->setFromValue(CAValue(*from));
    if (to) animation->setToValue(CAValue(*to));
    if (completion) animation->setValue(kCompletionKey, std::move(completion));
    return animation;
}

std::shared_ptr<CABasicAnimation> VMPinAnnotationView::dropAnimationWithFromPoint(
    CGPoint from, Completion completion) {
    auto animation = CABasicAnimation::animationWithKeyPath("position");
    animation->setDelegate(sharedSelf<VMPinAnnotationView>());
    animation->setDuration(kDropDuration);
    animation->setTimingFunction(
        CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut));
    animation->setFromValue(CAValue(from));
    animation->setToValue(CAValue(layer()->position()));
    if (completion) animation->setValue(kCompletionKey, std::move(completion));
    return animation;
}

void VMPinAnnotationView::animationDidStop(const std::shared_ptr<CAAnimation>& animation, bool) {
    const std::any* stored = animation ? animation->valueForKey(kCompletionKey) : nullptr;
    if (!stored) return;
    if (const auto* completion = std::any_cast<Completion>(stored); completion && *completion) {
        (*completion)();
    }
}

bool VMPinAnnotationView::pointInside(CGPoint point, UIEvent* event) const {
    if (!VMAnnotationView::pointInside(point, event)) return false;
    if (isSelected() && canShowCallout() && !CGRectContainsPoint(bounds(), point)) return true;
    return CGRectContainsPoint(validRect_, point);
}

void VMPinAnnotationView::willMoveToSuperview(const std::shared_ptr<UIView>& superview) {
    VMAnnotationView::willMoveToSuperview(superview);
    if (!superview) return;
    std::weak_ptr<VMPinAnnotationView> weak = sharedSelf<VMPinAnnotationView>();
    Completion done = [weak] {
        if (auto self = weak.lock()) self->removeShadow();
    };
    const CGPoint c = center();
    if (!animatesDrop_ || !CGRectContainsPoint(superview->bounds(), c)) {
        done();
        return;
    }
    layer()->addAnimation(dropAnimationWithFromPoint({c.x, 0}, std::move(done)), "dropAnimation");
    const auto shadow = shadowImageView();
    addSubview(shadow);
    auto shadowDrop =
        shadowAnimationFromPoint(CGPoint{c.y, -c.y}, boundsCenter(*this), kDropDuration, nullptr);
    shadowDrop->setRemovedOnCompletion(false);
    shadowDrop->setFillMode(kCAFillModeForwards);
    shadow->layer()->addAnimation(shadowDrop, "shadowDropAnimation");
}

void VMPinAnnotationView::setDragState(long state, bool animated) {
    if (state == VMAnnotationViewDragStateStarting) {
        lift(animated);
    } else if (state == VMAnnotationViewDragStateCanceling ||
               state == VMAnnotationViewDragStateEnding) {
        fall(state, animated);
    } else {
        VMAnnotationView::setDragState(state, animated);
    }
}

void VMPinAnnotationView::lift(bool animated) {
    changeToLift(true);
    std::weak_ptr<VMPinAnnotationView> weak = sharedSelf<VMPinAnnotationView>();
    Completion lifted = [weak, animated] {
        if (auto self = weak.lock()) {
            self->VMAnnotationView::setDragState(VMAnnotationViewDragStateStarting, animated);
        }
    };
    const auto shadow = shadowImageView();
    if (animated) {
        auto rise =
            shadowAnimationFromPoint(std::nullopt, std::nullopt, kLiftDuration, std::move(lifted));
        layer()->addAnimation(rise, "liftAnimation");
        shadow->layer()->addAnimation(
            shadowAnimationFromPoint(boundsCenter(*this), std::nullopt, kLiftDuration, nullptr),
            "shadowLiftAnimation");
    }
    const CGPoint c = center();
    layer()->setPosition({c.x, c.y - kLiftHeight});
    addSubview(shadow);
    if (!animated) lifted();
}

void VMPinAnnotationView::fall(long state, bool animated) {
    std::weak_ptr<VMPinAnnotationView> weak = sharedSelf<VMPinAnnotationView>();
    Completion fallen = [weak, state, animated] {
        auto self = weak.lock();
        if (!self) return;
        self->changeToLift(false);
        self->removeShadow();
        self->VMAnnotationView::setDragState(state, animated);
    };
    if (!animated) {
        fallen();
        return;
    }
    const CGPoint c = center();
    const auto shadow = shadowImageView();
    const CGPoint s = shadow->center();
    const CGPoint home = boundsCenter(*this);
    std::shared_ptr<CAKeyframeAnimation> pinPath, shadowPath;
    CGPoint end = c;
    if (state == VMAnnotationViewDragStateCanceling) {
        end = {c.x, c.y + kLiftHeight};
        pinPath = positionPath({c, end}, kCancelDuration);
        shadowPath = positionPath({s, home}, kCancelDuration);
    } else {
        pinPath = positionPath({c, {c.x, c.y - kLiftHeight}, c}, kLiftBounceDuration);
        shadowPath = positionPath({s, {s.x, s.y - 20}, home}, kLiftBounceDuration);
    }
    pinPath->setDelegate(sharedSelf<VMPinAnnotationView>());
    pinPath->setValue(kCompletionKey, std::move(fallen));
    layer()->addAnimation(pinPath, "fallAnimation");
    shadowPath->setRemovedOnCompletion(false);
    shadowPath->setFillMode(kCAFillModeForwards);
    shadow->layer()->addAnimation(shadowPath, "shadowFallAnimation");
    setCenter(end);
}
