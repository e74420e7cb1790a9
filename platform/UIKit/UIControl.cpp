#include "UIControl.h"

#include <algorithm>

#include "UIKit/UITouch.h"

std::shared_ptr<UIControl> UIControl::create(CGRect frame) {
    return finishCreate(std::shared_ptr<UIControl>(new UIControl()), frame);
}

void UIControl::addTarget(std::weak_ptr<NSObject> target, UIControlAction action,
                          UIControlEvents events) {
    if (!action || events == 0) return;
    const bool has = target.lock() != nullptr;
    targets_.push_back({std::move(target), has, std::move(action), events});
}

void UIControl::removeTarget(const NSObject* target, UIControlEvents events) {
    for (auto& t : targets_) {
        if (!target || t.target.lock().get() == target) t.events &= ~events;
    }
    std::erase_if(targets_, [](const Target& t) { return t.events == 0; });
}

size_t UIControl::actionCount(UIControlEvents events) const {
    return static_cast<size_t>(std::count_if(
        targets_.begin(), targets_.end(), [events](const Target& t) { return t.events & events; }));
}

void UIControl::sendActionsForControlEvents(UIControlEvents events, UIEvent* event) {
    auto self = sharedSelf<UIControl>();
    // A copy: actions may add or remove targets while they run.
    const auto targets = targets_;
    for (const auto& t : targets) {
        if (!(t.events & events)) continue;
        std::shared_ptr<NSObject> keep = t.target.lock();
        if (t.hasTarget && !keep) continue;
        t.action(self, event);
    }
}

void UIControl::setEnabled(bool e) {
    if (e == enabled_) return;
    enabled_ = e;
    if (!e) highlighted_ = false;
    stateDidChange();
}
void UIControl::setSelected(bool s) {
    if (s == selected_) return;
    selected_ = s;
    stateDidChange();
}
void UIControl::setHighlighted(bool h) {
    if (h == highlighted_) return;
    highlighted_ = h;
    stateDidChange();
}

void UIControl::setContentHorizontalAlignment(UIControlContentHorizontalAlignment a) {
    hAlign_ = a;
    setNeedsLayout();
}

UIControlState UIControl::state() const {
    UIControlState s = UIControlStateNormal;
    if (highlighted_) s |= UIControlStateHighlighted;
    if (!enabled_) s |= UIControlStateDisabled;
    if (selected_) s |= UIControlStateSelected;
    return s;
}

std::shared_ptr<UIView> UIControl::hitTest(CGPoint point, UIEvent* event) {
    // A disabled control lets touches through to what lies behind it.
    if (!enabled_) return nullptr;
    return UIView::hitTest(point, event);
}

bool UIControl::insideWithSlop(const UITouch& touch) const {
    const CGPoint p = touch.locationInView(this);
    return CGRectContainsPoint(CGRectInset(bounds(), -kTouchSlop, -kTouchSlop), p);
}

void UIControl::touchesBegan(const UITouchSet& touches, UIEvent* event) {
    if (!enabled_ || touches.empty()) return;
    UITouch& touch = *touches.front();
    tracking_ = beginTrackingWithTouch(touch, event);
    touchInside_ = true;
    setHighlighted(true);
    if (touch.tapCount() > 1) {
        sendActionsForControlEvents(UIControlEventTouchDown | UIControlEventTouchDownRepeat, event);
    } else {
        sendActionsForControlEvents(UIControlEventTouchDown, event);
    }
}

void UIControl::touchesMoved(const UITouchSet& touches, UIEvent* event) {
    if (!enabled_ || touches.empty()) return;
    UITouch& touch = *touches.front();
    const bool inside = insideWithSlop(touch);
    if (tracking_) tracking_ = continueTrackingWithTouch(touch, event);
    setHighlighted(inside);
    if (inside != touchInside_) {
        touchInside_ = inside;
        sendActionsForControlEvents(
            inside ? UIControlEventTouchDragEnter : UIControlEventTouchDragExit, event);
    }
    sendActionsForControlEvents(
        inside ? UIControlEventTouchDragInside : UIControlEventTouchDragOutside, event);
}

void UIControl::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    if (touches.empty()) return;
    UITouch& touch = *touches.front();
    const bool inside = insideWithSlop(touch);
    if (tracking_) endTrackingWithTouch(touch, event);
    tracking_ = false;
    touchInside_ = false;
    setHighlighted(false);
    if (!enabled_) return;
    sendActionsForControlEvents(inside ? UIControlEventTouchUpInside : UIControlEventTouchUpOutside,
                                event);
}

void UIControl::touchesCancelled(const UITouchSet&, UIEvent* event) {
    if (tracking_) cancelTrackingWithEvent(event);
    tracking_ = false;
    touchInside_ = false;
    setHighlighted(false);
    sendActionsForControlEvents(UIControlEventTouchCancel, event);
}
