#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "QuartzCore/CABasicAnimation.h"
#include "UIKit/UIImageView.h"
#include "VMAnnotationView.h"

enum VMPinAnnotationColor : unsigned long {
    VMPinAnnotationColorRed = 0,
    VMPinAnnotationColorGreen = 1,
    VMPinAnnotationColorPurple = 2,
};

// The stock pin: it may drop in from the top of the floor, rises with a shadow when a drag
// starts and falls back when it ends. Only the pin's stem and head take touches.
class VMPinAnnotationView : public VMAnnotationView, public CAAnimationDelegate {
  public:
    using Completion = std::function<void()>;
    static constexpr const char* kCompletionKey = "animationCompletionBlock";
    static constexpr double kLiftHeight = 40;
    static constexpr CGPoint kShadowOffset{43, -43};

    static std::shared_ptr<VMPinAnnotationView> initWithAnnotation(
        std::shared_ptr<VMAnnotation> annotation, std::string reuseIdentifier);

    unsigned long pinColor() const { return pinColor_; }
    void setPinColor(unsigned long color);
    // Any colour past purple shows purple.
    static std::shared_ptr<UIImage> imageForPinColor(unsigned long color);
    static std::shared_ptr<UIImage> liftImageForPinColor(unsigned long color);
    void changeToLift(bool lifted);
    bool animatesDrop() const { return animatesDrop_; }
    void setAnimatesDrop(bool drop) { animatesDrop_ = drop; }
    CGRect validRect() const { return validRect_; }
    void setValidRect(CGRect rect) { validRect_ = rect; }

    // Made on first use beside the pin's head; the caller adds it.
    std::shared_ptr<UIImageView> shadowImageView();
    void setShadowImageView(std::shared_ptr<UIImageView> view) { shadow_ = std::move(view); }
    std::shared_ptr<CABasicAnimation> shadowAnimationFromPoint(std::optional<CGPoint> from,
                                                               std::optional<CGPoint> to,
                                                               double duration,
                                                               Completion completion);
    std::shared_ptr<CABasicAnimation> dropAnimationWithFromPoint(CGPoint from,
                                                                 Completion completion);

    bool pointInside(CGPoint point, UIEvent* event) const override;
    void willMoveToSuperview(const std::shared_ptr<UIView>& superview) override;
    void setDragState(long state, bool animated) override;
    using VMAnnotationView::setDragState;
    void animationDidStop(const std::shared_ptr<CAAnimation>& animation, bool finished) override;

  protected:
    VMPinAnnotationView() = default;

  private:
    void removeShadow();
    void lift(bool animated);
    void fall(long state, bool animated);

    bool animatesDrop_ = false;
    unsigned long pinColor_ = VMPinAnnotationColorRed;
    std::shared_ptr<UIImageView> shadow_;
    CGRect validRect_{12, 0, 24, 38};
};
