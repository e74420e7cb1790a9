#pragma once

#include <memory>
#include <string>

#include "UIKit/UITextAttributes.h"
#include "UIKit/UITextInput.h"
#include "UIKit/UIView.h"

class UITextView;

class UITextViewDelegate {
  public:
    virtual ~UITextViewDelegate() = default;
    virtual bool textViewShouldBeginEditing(UITextView&) { return true; }
    virtual void textViewDidBeginEditing(UITextView&) {}
    virtual bool textViewShouldEndEditing(UITextView&) { return true; }
    virtual void textViewDidEndEditing(UITextView&) {}
    virtual bool textViewShouldChangeTextInRange(UITextView&, NSRange, const std::string&) {
        return true;
    }
    virtual void textViewDidChange(UITextView&) {}
};

// Wrapped text, editable or not. Taps on an editable one make it first responder.
class UITextView : public UIView, public UITextAttributes {
  public:
    static std::shared_ptr<UITextView> create(CGRect frame = CGRectZero);

    bool isEditable() const { return editable_; }
    void setEditable(bool e);
    // Kept for callers that set it; the text is always laid out in full, never scrolled.
    bool isScrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool s) { scrollEnabled_ = s; }
    UIKeyboardType keyboardType() const { return keyboardType_; }
    void setKeyboardType(UIKeyboardType t) { keyboardType_ = t; }
    UIEdgeInsets textContainerInset() const { return inset_; }
    void setTextContainerInset(UIEdgeInsets i);
    std::shared_ptr<UITextViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<UITextViewDelegate> d) { delegate_ = std::move(d); }

    // Where the text goes: the bounds less the container inset and the line padding.
    CGRect textRect() const;
    CGSize sizeThatFits(CGSize size) const override;

    bool canBecomeFirstResponder() const override { return editable_; }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    void insertText(const std::string& text) override;
    void deleteBackward() override;
    bool hasText() const override { return !text().empty(); }
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void drawRect(CGRect rect) override;

    static constexpr CGFloat kLinePadding = 5;

  protected:
    UITextView() : UITextAttributes(12) {}
    void initWithFrame(CGRect frame) override;
    void textAttributesDidChange() override { setNeedsDisplay(); }

  private:
    void replace(NSRange range, const std::string& with, std::string newText);

    bool editable_ = true;
    bool scrollEnabled_ = true;
    UIKeyboardType keyboardType_ = UIKeyboardTypeDefault;
    UIEdgeInsets inset_{8, 0, 8, 0};
    std::weak_ptr<UITextViewDelegate> delegate_;
};
