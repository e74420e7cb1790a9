#include "UITextView.h"

#include "UIKit/NSStringDrawing.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UITouch.h"

std::shared_ptr<UITextView> UITextView::create(CGRect frame) {
    return finishCreate(std::shared_ptr<UITextView>(new UITextView()), frame);
}

void UITextView::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    setBackgroundColor(UIColor::whiteColor());
    setContentMode(UIViewContentModeRedraw);
}

void UITextView::setEditable(bool e) {
    editable_ = e;
    if (!e && isFirstResponder()) resignFirstResponder();
}
void UITextView::setTextContainerInset(UIEdgeInsets i) {
    inset_ = i;
    setNeedsDisplay();
}

CGRect UITextView::textRect() const {
    const CGRect r = UIEdgeInsetsInsetRect(bounds(), inset_);
    return CGRectInset(r, kLinePadding, 0);
}

CGSize UITextView::sizeThatFits(CGSize size) const {
    const CGFloat width = size.width - inset_.left - inset_.right - 2 * kLinePadding;
    const CGSize t = NSStringBoundingSize(text(), {font(), textAlignment()}, width);
    return {size.width, t.height + inset_.top + inset_.bottom};
}

bool UITextView::becomeFirstResponder() {
    if (isFirstResponder()) return true;
    auto d = delegate();
    if (d && !d->textViewShouldBeginEditing(*this)) return false;
    if (!UIView::becomeFirstResponder()) return false;
    if (d) d->textViewDidBeginEditing(*this);
    return true;
}

bool UITextView::resignFirstResponder() {
    if (!isFirstResponder()) return true;
    auto d = delegate();
    if (d && !d->textViewShouldEndEditing(*this)) return false;
    if (!UIView::resignFirstResponder()) return false;
    if (d) d->textViewDidEndEditing(*this);
    return true;
}

void UITextView::replace(NSRange range, const std::string& with, std::string newText) {
    auto d = delegate();
    if (d && !d->textViewShouldChangeTextInRange(*this, range, with)) return;
    setText(std::move(newText));
    if (d) d->textViewDidChange(*this);
}

void UITextView::insertText(const std::string& input) {
    if (!editable_) return;
    const std::string typed = UIKeyboardFilter(keyboardType_, input);
    if (typed.empty()) return;
    replace({UTF16Length(text()), 0}, typed, text() + typed);
}

void UITextView::deleteBackward() {
    if (!editable_ || text().empty()) return;
    std::string shorter = UTF8DropLast(text());
    const NSRange range{UTF16Length(shorter), UTF16Length(text()) - UTF16Length(shorter)};
    replace(range, "", std::move(shorter));
}

void UITextView::touchesBegan(const UITouchSet& touches, UIEvent* event) {
    // A text view handles its own touches only when it can be edited.
    if (!editable_) UIView::touchesBegan(touches, event);
}

void UITextView::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    if (!editable_) {
        UIView::touchesEnded(touches, event);
        return;
    }
    if (!touches.empty() && pointInside(touches.front()->locationInView(this), event)) {
        becomeFirstResponder();
    }
}

void UITextView::drawRect(CGRect) {
    CGContextRef ctx = UIGraphicsGetCurrentContext();
    if (!ctx || text().empty()) return;
    NSStringDrawInRect(ctx, text(), textRect(), {font(), textAlignment()}, textColor()->CGColor());
}
