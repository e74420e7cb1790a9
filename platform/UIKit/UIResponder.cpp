#include "UIResponder.h"

namespace {
std::weak_ptr<UIResponder> gFirstResponder;
}

void UIResponder::touchesBegan(const UITouchSet& touches, UIEvent* event) {
    if (auto next = nextResponder()) next->touchesBegan(touches, event);
}
void UIResponder::touchesMoved(const UITouchSet& touches, UIEvent* event) {
    if (auto next = nextResponder()) next->touchesMoved(touches, event);
}
void UIResponder::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    if (auto next = nextResponder()) next->touchesEnded(touches, event);
}
void UIResponder::touchesCancelled(const UITouchSet& touches, UIEvent* event) {
    if (auto next = nextResponder()) next->touchesCancelled(touches, event);
}

bool UIResponder::becomeFirstResponder() {
    if (isFirstResponder()) return true;
    if (!canBecomeFirstResponder()) return false;
    if (auto current = gFirstResponder.lock(); current && !current->resignFirstResponder()) {
        return false;
    }
    gFirstResponder = sharedSelf<UIResponder>();
    return true;
}

bool UIResponder::resignFirstResponder() {
    if (!isFirstResponder()) return true;
    if (!canResignFirstResponder()) return false;
    gFirstResponder.reset();
    return true;
}

bool UIResponder::isFirstResponder() const {
    auto current = gFirstResponder.lock();
    return current.get() == this;
}

std::shared_ptr<UIResponder> UIResponder::currentFirstResponder() { return gFirstResponder.lock(); }
