#include "shell/ShowAlertView.h"

#include <algorithm>

#include "UIKit/NSStringDrawing.h"
#include "UIKit/UIViewAnimationWithBlocks.h"
#include "UIKit/UIWindow.h"
#include "shell/FactoryClass.h"

namespace {
constexpr CGFloat kPadding = 10;
constexpr CGFloat kFontSize = 14;
}  // namespace

void ShowAlertView::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    setBackgroundColor(UIColor::colorWithWhite(0, 0.75));
    layer()->setCornerRadius(6);
    setClipsToBounds(true);
    // The screen under a message stays usable.
    setUserInteractionEnabled(false);
    label_ = UILabel::create();
    label_->setFont(UIFont::systemFontOfSize(kFontSize));
    label_->setTextColor(UIColor::whiteColor());
    label_->setTextAlignment(NSTextAlignmentCenter);
    label_->setNumberOfLines(0);
    addSubview(label_);
}

CGRect ShowAlertView::toastFrame() {
    const auto window = FactoryClass::window();
    const CGFloat width = window ? window->bounds().size.width : 0;
    return CGRectMake(0, 0, width / 3, 10);
}

std::shared_ptr<ShowAlertView> ShowAlertView::initializeAlertViewWithFrame(
    CGRect frame, const std::string& message, int customType, std::shared_ptr<NSObject> owner) {
    static const std::shared_ptr<ShowAlertView> shared =
        finishCreate(std::shared_ptr<ShowAlertView>(new ShowAlertView()), CGRectZero);
    const auto& view = shared;
    if (frame.size.width <= 0) {
        const auto window = FactoryClass::window();
        frame = window ? window->frame() : CGRectZero;
    }
    view->customType_ = customType;
    view->owner_ = owner;
    view->label_->setText(message);
    const CGFloat textWidth = std::max<CGFloat>(frame.size.width - 2 * kPadding, 1);
    const CGSize text = NSStringBoundingSize(message, view->label_->textStyle(), textWidth);
    const CGFloat height = std::max(frame.size.height, text.height + 2 * kPadding);
    view->setFrame(CGRectMake(frame.origin.x, frame.origin.y, frame.size.width, height));
    view->label_->setFrame(CGRectMake(kPadding, kPadding, textWidth, height - 2 * kPadding));
    return view;
}

void ShowAlertView::addAlertView() {
    std::shared_ptr<UIView> parent;
    if (customType_ == 2) parent = std::dynamic_pointer_cast<UIView>(owner_.lock());
    if (!parent) parent = FactoryClass::window();
    if (!parent) return;
    parent->addSubview(sharedSelf<UIView>());
    const CGRect b = parent->bounds();
    setCenter(CGPointMake(CGRectGetMidX(b), CGRectGetMidY(b)));
    layer()->removeAllAnimations();
    setAlpha(1);
    UIViewAnimateWithDuration(
        kFadeDuration, 0, UIViewAnimationOptionCurveEaseIn, [this] { setAlpha(0); }, nullptr);
    if (timer_) timer_->invalidate();
    std::weak_ptr<UIView> weak = sharedSelf<UIView>();
    timer_ = NSTimer::scheduledTimerWithTimeInterval(kFadeDuration, false, [weak](NSTimer&) {
        if (auto view = weak.lock()) view->removeFromSuperview();
    });
}
