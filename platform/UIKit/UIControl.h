#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "UIKit/UIView.h"

using UIControlState = unsigned;
inline constexpr UIControlState UIControlStateNormal = 0;
inline constexpr UIControlState UIControlStateHighlighted = 1 << 0;
inline constexpr UIControlState UIControlStateDisabled = 1 << 1;
inline constexpr UIControlState UIControlStateSelected = 1 << 2;

using UIControlEvents = unsigned;
inline constexpr UIControlEvents UIControlEventTouchDown = 1 << 0;
inline constexpr UIControlEvents UIControlEventTouchDownRepeat = 1 << 1;
inline constexpr UIControlEvents UIControlEventTouchDragInside = 1 << 2;
inline constexpr UIControlEvents UIControlEventTouchDragOutside = 1 << 3;
inline constexpr UIControlEvents UIControlEventTouchDragEnter = 1 << 4;
inline constexpr UIControlEvents UIControlEventTouchDragExit = 1 << 5;
inline constexpr UIControlEvents UIControlEventTouchUpInside = 1 << 6;
inline constexpr UIControlEvents UIControlEventTouchUpOutside = 1 << 7;
inline constexpr UIControlEvents UIControlEventTouchCancel = 1 << 8;
inline constexpr UIControlEvents UIControlEventValueChanged = 1 << 12;
inline constexpr UIControlEvents UIControlEventEditingDidBegin = 1 << 16;
inline constexpr UIControlEvents UIControlEventEditingChanged = 1 << 17;
inline constexpr UIControlEvents UIControlEventEditingDidEnd = 1 << 18;
inline constexpr UIControlEvents UIControlEventEditingDidEndOnExit = 1 << 19;
inline constexpr UIControlEvents UIControlEventAllTouchEvents = 0x0fff;
inline constexpr UIControlEvents UIControlEventAllEvents = 0xffffffff;

enum UIControlContentHorizontalAlignment {
    UIControlContentHorizontalAlignmentCenter,
    UIControlContentHorizontalAlignmentLeft,
    UIControlContentHorizontalAlignmentRight,
};

class UIControl;
using UIControlAction =
    std::function<void(const std::shared_ptr<UIControl>& sender, UIEvent* event)>;

// A view that tracks a finger and sends actions to targets for control events. A touch-up
// counts as inside while the finger stays within kTouchSlop points of the bounds.
class UIControl : public UIView {
  public:
    static std::shared_ptr<UIControl> create(CGRect frame = CGRectZero);
    static constexpr CGFloat kTouchSlop = 70;

    // The action runs while the target lives; a target left empty means "no target to watch".
    void addTarget(std::weak_ptr<NSObject> target, UIControlAction action, UIControlEvents events);
    // Removes the target's actions for the events (all targets when target is null).
    void removeTarget(const NSObject* target, UIControlEvents events);
    size_t actionCount(UIControlEvents events) const;
    void sendActionsForControlEvents(UIControlEvents events, UIEvent* event = nullptr);

    bool isEnabled() const { return enabled_; }
    virtual void setEnabled(bool e);
    bool isSelected() const { return selected_; }
    virtual void setSelected(bool s);
    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool h);
    UIControlState state() const;
    bool isTracking() const { return tracking_; }
    bool isTouchInside() const { return touchInside_; }
    UIControlContentHorizontalAlignment contentHorizontalAlignment() const { return hAlign_; }
    void setContentHorizontalAlignment(UIControlContentHorizontalAlignment a);

    // Subclass hooks around the touch tracking.
    virtual bool beginTrackingWithTouch(UITouch&, UIEvent*) { return true; }
    virtual bool continueTrackingWithTouch(UITouch&, UIEvent*) { return true; }
    virtual void endTrackingWithTouch(UITouch&, UIEvent*) {}
    virtual void cancelTrackingWithEvent(UIEvent*) {}

    std::shared_ptr<UIView> hitTest(CGPoint point, UIEvent* event) override;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

  protected:
    UIControl() = default;
    // Appearance follows state; subclasses redraw or relayout here.
    virtual void stateDidChange() {}

  private:
    bool insideWithSlop(const UITouch& touch) const;
    struct Target {
        std::weak_ptr<NSObject> target;
        bool hasTarget;
        UIControlAction action;
        UIControlEvents events;
    };
    std::vector<Target> targets_;
    bool enabled_ = true;
    bool selected_ = false;
    bool highlighted_ = false;
    bool tracking_ = false;
    bool touchInside_ = false;
    UIControlContentHorizontalAlignment hAlign_ = UIControlContentHorizontalAlignmentCenter;
};
