#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Foundation/NSObject.h"

class UITouch;
class UIEvent;
using UITouchSet = std::vector<std::shared_ptr<UITouch>>;

// Touches travel up the responder chain from the view that was hit until someone handles them;
// each default implementation forwards to nextResponder().
class UIResponder : public NSObject {
  public:
    virtual std::shared_ptr<UIResponder> nextResponder() const { return nullptr; }

    virtual void touchesBegan(const UITouchSet& touches, UIEvent* event);
    virtual void touchesMoved(const UITouchSet& touches, UIEvent* event);
    virtual void touchesEnded(const UITouchSet& touches, UIEvent* event);
    virtual void touchesCancelled(const UITouchSet& touches, UIEvent* event);

    // One first responder at a time receives key input from the host.
    virtual bool canBecomeFirstResponder() const { return false; }
    virtual bool canResignFirstResponder() const { return true; }
    virtual bool becomeFirstResponder();
    virtual bool resignFirstResponder();
    bool isFirstResponder() const;
    static std::shared_ptr<UIResponder> currentFirstResponder();

    // Key input (text and editing keys) for responders that take it.
    virtual void insertText(const std::string&) {}
    virtual void deleteBackward() {}
    virtual bool hasText() const { return false; }

  protected:
    UIResponder() = default;
};
