#include "UITouch.h"

#include "UIKit/UIView.h"
#include "UIKit/UIWindow.h"

std::shared_ptr<UITouch> UITouch::create(CGPoint locationInWindow, CFTimeInterval timestamp) {
    std::shared_ptr<UITouch> t(new UITouch());
    t->location_ = t->previous_ = locationInWindow;
    t->timestamp_ = timestamp;
    return t;
}

CGPoint UITouch::locationInView(const UIView* view) const {
    if (!view) return location_;
    return view->convertPointFromView(location_, nullptr);
}

CGPoint UITouch::previousLocationInView(const UIView* view) const {
    if (!view) return previous_;
    return view->convertPointFromView(previous_, nullptr);
}

void UITouch::update(UITouchPhase phase, CGPoint locationInWindow, CFTimeInterval timestamp) {
    previous_ = location_;
    location_ = locationInWindow;
    phase_ = phase;
    timestamp_ = timestamp;
}

std::shared_ptr<UIEvent> UIEvent::create(UITouchSet touches, CFTimeInterval timestamp) {
    std::shared_ptr<UIEvent> e(new UIEvent());
    e->touches_ = std::move(touches);
    e->timestamp_ = timestamp;
    return e;
}

UITouchSet UIEvent::touchesForView(const UIView* view) const {
    UITouchSet out;
    for (const auto& t : touches_) {
        if (t->view().get() == view) out.push_back(t);
    }
    return out;
}

UITouchSet UIEvent::touchesForWindow(const UIWindow* window) const {
    UITouchSet out;
    for (const auto& t : touches_) {
        if (t->window().get() == window) out.push_back(t);
    }
    return out;
}
