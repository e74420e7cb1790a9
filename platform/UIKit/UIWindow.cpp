#include "UIWindow.h"

#include <algorithm>
#include <cmath>

#include "UIKit/UIApplication.h"

namespace {
std::shared_ptr<UIGestureDispatcher> gDispatcher;
}

std::shared_ptr<UIWindow> UIWindow::create(CGRect frame) {
    return finishCreate(std::shared_ptr<UIWindow>(new UIWindow()), frame);
}

UIWindow::~UIWindow() = default;

void UIWindow::makeKeyAndVisible() {
    setHidden(false);
    makeKeyWindow();
}

void UIWindow::makeKeyWindow() {
    UIApplication::sharedApplication()->setKeyWindow(sharedSelf<UIWindow>());
}

bool UIWindow::isKeyWindow() const {
    return UIApplication::sharedApplication()->keyWindow().get() == this;
}

std::shared_ptr<UIResponder> UIWindow::nextResponder() const {
    return UIApplication::sharedApplication();
}

void UIWindow::setGestureDispatcher(std::shared_ptr<UIGestureDispatcher> dispatcher) {
    gDispatcher = std::move(dispatcher);
}

void UIWindow::prepareBeganTouch(UITouch& touch, UIEvent& event) {
    touch.setWindow(sharedSelf<UIWindow>());
    const CGPoint p = touch.locationInWindow();
    auto hit = hitTest(p, &event);
    touch.setView(hit);
    const bool again =
        lastTapTime_ >= 0 && touch.timestamp() - lastTapTime_ <= kMultiTapInterval &&
        std::hypot(p.x - lastTapPoint_.x, p.y - lastTapPoint_.y) <= kMultiTapDistance;
    touch.setTapCount(again ? lastTapCount_ + 1 : 1);
    std::vector<std::shared_ptr<UIGestureRecognizerBase>> recognizers;
    for (auto v = hit; v; v = v->superview()) {
        for (const auto& r : v->gestureRecognizers()) {
            if (r->isEnabled()) recognizers.push_back(r);
        }
    }
    touch.setGestureRecognizers(std::move(recognizers));
}

void UIWindow::sendEvent(UIEvent& event) {
    // Touches, and the recognisers and views they reach, belong to the window's thread.
    verifyThread();
    auto self = sharedSelf<UIWindow>();
    for (const auto& t : event.allTouches()) {
        if (t->phase() == UITouchPhaseBegan && !t->window()) prepareBeganTouch(*t, event);
        if (t->phase() == UITouchPhaseEnded) {
            lastTapPoint_ = t->locationInWindow();
            lastTapTime_ = t->timestamp();
            lastTapCount_ = t->tapCount();
        }
    }
    deliverToRecognizers(event);
    deliverToViews(event);
}

void UIWindow::deliverToRecognizers(UIEvent& event) {
    if (gDispatcher) {
        gDispatcher->deliver(event);
        return;
    }
    std::vector<UIGestureRecognizerBase*> order;
    for (const auto& t : event.allTouches()) {
        for (const auto& r : t->gestureRecognizers()) {
            if (std::find(order.begin(), order.end(), r.get()) == order.end())
                order.push_back(r.get());
        }
    }
    for (UIGestureRecognizerBase* r : order) {
        for (UITouchPhase phase :
             {UITouchPhaseBegan, UITouchPhaseMoved, UITouchPhaseEnded, UITouchPhaseCancelled}) {
            UITouchSet mine;
            for (const auto& t : event.allTouches()) {
                const auto& rs = t->gestureRecognizers();
                const bool tracked =
                    std::any_of(rs.begin(), rs.end(), [r](const auto& x) { return x.get() == r; });
                if (tracked && t->phase() == phase) mine.push_back(t);
            }
            if (mine.empty()) continue;
            switch (phase) {
                case UITouchPhaseBegan:
                    r->touchesBegan(mine, &event);
                    break;
                case UITouchPhaseMoved:
                    r->touchesMoved(mine, &event);
                    break;
                case UITouchPhaseEnded:
                    r->touchesEnded(mine, &event);
                    break;
                default:
                    r->touchesCancelled(mine, &event);
                    break;
            }
        }
    }
}

void UIWindow::deliverToViews(UIEvent& event) {
    struct Batch {
        std::shared_ptr<UIView> view;
        UITouchPhase phase;
        UITouchSet touches;
    };
    std::vector<Batch> batches;
    auto add = [&batches](const std::shared_ptr<UIView>& view, UITouchPhase phase,
                          const std::shared_ptr<UITouch>& t) {
        for (auto& b : batches) {
            if (b.view == view && b.phase == phase) {
                b.touches.push_back(t);
                return;
            }
        }
        batches.push_back({view, phase, {t}});
    };
    for (const auto& t : event.allTouches()) {
        const auto view = t->view();
        if (!view || t->phase() == UITouchPhaseStationary || t->isCancelledForView()) continue;
        const auto& rs = t->gestureRecognizers();
        const bool takenOver = std::any_of(rs.begin(), rs.end(),
                                           [](const auto& r) { return r->cancelsViewTouches(); });
        if (takenOver) {
            t->setCancelledForView();
            if (t->phase() != UITouchPhaseBegan) add(view, UITouchPhaseCancelled, t);
            continue;
        }
        add(view, t->phase(), t);
    }
    for (const auto& b : batches) {
        switch (b.phase) {
            case UITouchPhaseBegan:
                b.view->touchesBegan(b.touches, &event);
                break;
            case UITouchPhaseMoved:
                b.view->touchesMoved(b.touches, &event);
                break;
            case UITouchPhaseEnded:
                b.view->touchesEnded(b.touches, &event);
                break;
            default:
                b.view->touchesCancelled(b.touches, &event);
                break;
        }
    }
}
