#pragma once

#include <memory>
#include <string>

#include "UIKit/UIControl.h"
#include "UIKit/UITextAttributes.h"
#include "UIKit/UITextInput.h"

class UITextField;

// Every method's default is the answer of a delegate that does not implement it.
class UITextFieldDelegate {
  public:
    virtual ~UITextFieldDelegate() = default;
    virtual bool textFieldShouldBeginEditing(UITextField&) { return true; }
    virtual void textFieldDidBeginEditing(UITextField&) {}
    virtual bool textFieldShouldEndEditing(UITextField&) { return true; }
    virtual void textFieldDidEndEditing(UITextField&) {}
    virtual bool textFieldShouldChangeCharactersInRange(UITextField&, NSRange, const std::string&) {
        return true;
    }
    virtual bool textFieldShouldClear(UITextField&) { return true; }
    virtual bool textFieldShouldReturn(UITextField&) { return true; }
};

enum UITextFieldViewMode {
    UITextFieldViewModeNever = 0,
    UITextFieldViewModeWhileEditing = 1,
    UITextFieldViewModeUnlessEditing = 2,
    UITextFieldViewModeAlways = 3,
};

enum UITextBorderStyle {
    UITextBorderStyleNone = 0,
    UITextBorderStyleLine = 1,
    UITextBorderStyleBezel = 2,
    UITextBorderStyleRoundedRect = 3,
};

// One line of editable text, never wrapped: while it is edited a text too long for the field
// shows its end, where the caret is; otherwise its beginning. A tap makes it first responder;
// the host's keys then arrive through insertText/deleteBackward ("\n" is the return key).
class UITextField : public UIControl, public UITextAttributes {
  public:
    static std::shared_ptr<UITextField> create(CGRect frame = CGRectZero);

    const std::string& placeholder() const { return placeholder_; }
    void setPlaceholder(std::string p);
    UIKeyboardType keyboardType() const { return keyboardType_; }
    void setKeyboardType(UIKeyboardType t) { keyboardType_ = t; }
    // Shows a dot for each character; text() still answers what was typed.
    bool isSecureTextEntry() const { return secure_; }
    void setSecureTextEntry(bool secure);
    UITextBorderStyle borderStyle() const { return borderStyle_; }
    void setBorderStyle(UITextBorderStyle s);
    UITextFieldViewMode clearButtonMode() const { return clearButtonMode_; }
    void setClearButtonMode(UITextFieldViewMode m);
    const std::shared_ptr<UIView>& leftView() const { return leftView_; }
    void setLeftView(std::shared_ptr<UIView> v);
    UITextFieldViewMode leftViewMode() const { return leftViewMode_; }
    void setLeftViewMode(UITextFieldViewMode m);
    std::shared_ptr<UITextFieldDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<UITextFieldDelegate> d) { delegate_ = std::move(d); }
    bool isEditing() const { return isFirstResponder(); }

    CGRect textRectForBounds(CGRect bounds) const;
    CGRect leftViewRectForBounds(CGRect bounds) const;
    CGRect clearButtonRectForBounds(CGRect bounds) const;
    bool isClearButtonVisible() const;

    bool canBecomeFirstResponder() const override { return isEnabled(); }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    void insertText(const std::string& text) override;
    void deleteBackward() override;
    bool hasText() const override { return !text().empty(); }
    void setEnabled(bool e) override;

    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void layoutSubviews() override;
    void drawRect(CGRect rect) override;

  protected:
    UITextField() : UITextAttributes(17) {}
    void initWithFrame(CGRect frame) override;
    void textAttributesDidChange() override { setNeedsDisplay(); }

  private:
    bool showsFor(UITextFieldViewMode mode) const;
    std::string maskedText() const;
    void replace(NSRange range, const std::string& with, std::string newText);
    void drawLine(CGContextRef ctx, CGRect area);

    std::string placeholder_;
    bool secure_ = false;
    UIKeyboardType keyboardType_ = UIKeyboardTypeDefault;
    UITextBorderStyle borderStyle_ = UITextBorderStyleNone;
    UITextFieldViewMode clearButtonMode_ = UITextFieldViewModeNever;
    std::shared_ptr<UIView> leftView_;
    UITextFieldViewMode leftViewMode_ = UITextFieldViewModeNever;
    std::weak_ptr<UITextFieldDelegate> delegate_;
};
