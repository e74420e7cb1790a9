#include "UITextField.h"

#include "UIKit/NSStringDrawing.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UITouch.h"

namespace {
constexpr CGFloat kClearButtonSize = 19;
constexpr CGFloat kClearButtonMargin = 5;
constexpr CGFloat kCaretWidth = 2;
}  // namespace

std::shared_ptr<UITextField> UITextField::create(CGRect frame) {
    return finishCreate(std::shared_ptr<UITextField>(new UITextField()), frame);
}

void UITextField::initWithFrame(CGRect frame) {
    UIControl::initWithFrame(frame);
    setContentMode(UIViewContentModeRedraw);
}

void UITextField::setPlaceholder(std::string p) {
    placeholder_ = std::move(p);
    setNeedsDisplay();
}
void UITextField::setBorderStyle(UITextBorderStyle s) {
    borderStyle_ = s;
    setNeedsDisplay();
}
void UITextField::setClearButtonMode(UITextFieldViewMode m) {
    clearButtonMode_ = m;
    setNeedsDisplay();
}
void UITextField::setLeftView(std::shared_ptr<UIView> v) {
    if (leftView_) leftView_->removeFromSuperview();
    leftView_ = std::move(v);
    if (leftView_) addSubview(leftView_);
    setNeedsLayout();
    setNeedsDisplay();
}
void UITextField::setLeftViewMode(UITextFieldViewMode m) {
    leftViewMode_ = m;
    setNeedsLayout();
    setNeedsDisplay();
}

void UITextField::setEnabled(bool e) {
    UIControl::setEnabled(e);
    if (!e && isFirstResponder()) resignFirstResponder();
    setNeedsDisplay();
}

bool UITextField::showsFor(UITextFieldViewMode mode) const {
    switch (mode) {
        case UITextFieldViewModeAlways:
            return true;
        case UITextFieldViewModeWhileEditing:
            return isEditing();
        case UITextFieldViewModeUnlessEditing:
            return !isEditing();
        default:
            return false;
    }
}

bool UITextField::isClearButtonVisible() const {
    return !text().empty() && showsFor(clearButtonMode_);
}

CGRect UITextField::leftViewRectForBounds(CGRect b) const {
    if (!leftView_ || !showsFor(leftViewMode_)) return CGRectZero;
    const CGSize s = leftView_->frame().size;
    return CGRectMake(b.origin.x, b.origin.y + (b.size.height - s.height) / 2, s.width, s.height);
}

CGRect UITextField::clearButtonRectForBounds(CGRect b) const {
    if (!isClearButtonVisible()) return CGRectZero;
    return CGRectMake(CGRectGetMaxX(b) - kClearButtonMargin - kClearButtonSize,
                      b.origin.y + (b.size.height - kClearButtonSize) / 2, kClearButtonSize,
                      kClearButtonSize);
}

CGRect UITextField::textRectForBounds(CGRect b) const {
    CGFloat left = b.origin.x, right = CGRectGetMaxX(b);
    const CGRect lv = leftViewRectForBounds(b);
    if (lv.size.width > 0) left = CGRectGetMaxX(lv);
    if (isClearButtonVisible()) right = clearButtonRectForBounds(b).origin.x - kClearButtonMargin;
    if (borderStyle_ != UITextBorderStyleNone) {
        left += 7;
        right -= 7;
    }
    return CGRectMake(left, b.origin.y, std::max(0.0, right - left), b.size.height);
}

void UITextField::layoutSubviews() {
    if (!leftView_) return;
    const CGRect r = leftViewRectForBounds(bounds());
    leftView_->setHidden(r.size.width <= 0 && r.size.height <= 0);
    if (!leftView_->isHidden()) leftView_->setFrame(r);
}

bool UITextField::becomeFirstResponder() {
    if (isFirstResponder()) return true;
    auto d = delegate();
    if (d && !d->textFieldShouldBeginEditing(*this)) return false;
    if (!UIControl::becomeFirstResponder()) return false;
    if (d) d->textFieldDidBeginEditing(*this);
    sendActionsForControlEvents(UIControlEventEditingDidBegin);
    setNeedsLayout();
    setNeedsDisplay();
    return true;
}

bool UITextField::resignFirstResponder() {
    if (!isFirstResponder()) return true;
    auto d = delegate();
    if (d && !d->textFieldShouldEndEditing(*this)) return false;
    if (!UIControl::resignFirstResponder()) return false;
    if (d) d->textFieldDidEndEditing(*this);
    sendActionsForControlEvents(UIControlEventEditingDidEnd);
    setNeedsLayout();
    setNeedsDisplay();
    return true;
}

void UITextField::replace(NSRange range, const std::string& with, std::string newText) {
    if (auto d = delegate(); d && !d->textFieldShouldChangeCharactersInRange(*this, range, with)) {
        return;
    }
    setText(std::move(newText));
    sendActionsForControlEvents(UIControlEventEditingChanged);
}

void UITextField::insertText(const std::string& input) {
    if (!isEnabled()) return;
    if (input == "\n") {
        auto d = delegate();
        if (!d || d->textFieldShouldReturn(*this)) {
            sendActionsForControlEvents(UIControlEventEditingDidEndOnExit);
        }
        return;
    }
    // One line only: line breaks never get in, and pads type what their keys show.
    std::string typed;
    for (char c : UIKeyboardFilter(keyboardType_, input)) {
        if (c != '\n' && c != '\r') typed += c;
    }
    if (typed.empty()) return;
    replace({UTF16Length(text()), 0}, typed, text() + typed);
}

void UITextField::deleteBackward() {
    if (!isEnabled() || text().empty()) return;
    std::string shorter = UTF8DropLast(text());
    const NSRange range{UTF16Length(shorter), UTF16Length(text()) - UTF16Length(shorter)};
    replace(range, "", std::move(shorter));
}

void UITextField::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    const bool wasTracking = isHighlighted();
    UIControl::touchesEnded(touches, event);
    if (!wasTracking || touches.empty() || !isEnabled()) return;
    const CGPoint p = touches.front()->locationInView(this);
    if (!CGRectContainsPoint(bounds(), p)) return;
    if (CGRectContainsPoint(CGRectInset(clearButtonRectForBounds(bounds()), -6, -6), p)) {
        auto d = delegate();
        if (!d || d->textFieldShouldClear(*this)) replace({0, UTF16Length(text())}, "", "");
        return;
    }
    becomeFirstResponder();
}

void UITextField::drawRect(CGRect) {
    CGContextRef ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    const CGRect b = bounds();
    if (borderStyle_ != UITextBorderStyleNone) {
        CGContextSetRGBFillColor(ctx, 1, 1, 1, 1);
        CGContextSetRGBStrokeColor(ctx, 0.8, 0.8, 0.8, 1);
        CGContextSetLineWidth(ctx, 1);
        CGContextAddPath(
            ctx, CGPathCreateWithRoundedRect(
                     CGRectInset(b, 0.5, 0.5), borderStyle_ == UITextBorderStyleRoundedRect ? 5 : 0,
                     borderStyle_ == UITextBorderStyleRoundedRect ? 5 : 0, nullptr));
        CGContextDrawPath(ctx, kCGPathFillStroke);
    }
    drawLine(ctx, textRectForBounds(b));
    if (isClearButtonVisible()) {
        const CGRect c = clearButtonRectForBounds(b);
        CGContextSetRGBFillColor(ctx, 0.7, 0.7, 0.72, 1);
        CGContextFillEllipseInRect(ctx, c);
        CGContextSetRGBStrokeColor(ctx, 1, 1, 1, 1);
        CGContextSetLineWidth(ctx, 1.6);
        const CGRect x = CGRectInset(c, 6, 6);
        const CGPoint pts[] = {x.origin,
                               {CGRectGetMaxX(x), CGRectGetMaxY(x)},
                               {CGRectGetMaxX(x), x.origin.y},
                               {x.origin.x, CGRectGetMaxY(x)}};
        CGContextStrokeLineSegments(ctx, pts, 4);
    }
}

void UITextField::drawLine(CGContextRef ctx, CGRect area) {
    const bool placeholder = text().empty();
    const std::string shown = placeholder ? placeholder_ : secure_ ? maskedText() : text();
    const CGFloat width = shown.empty() ? 0 : NSStringSizeWithFont(shown, font()).width;
    const CGFloat height = std::ceil(font()->lineHeight());
    const CGFloat caret = isEditing() ? kCaretWidth : 0;
    CGFloat x = area.origin.x;
    if (width + caret > area.size.width) {
        // Too long for the field: the caret at the end stays in view while editing.
        if (isEditing()) x = CGRectGetMaxX(area) - caret - width;
    } else if (textAlignment() == NSTextAlignmentCenter) {
        x = CGRectGetMidX(area) - (width + caret) / 2;
    } else if (textAlignment() == NSTextAlignmentRight) {
        x = CGRectGetMaxX(area) - caret - width;
    }
    const CGFloat y = area.origin.y + (area.size.height - height) / 2;
    CGContextSaveGState(ctx);
    CGContextClipToRect(ctx, area);
    CGColor colour = placeholder ? CGColor{0.7, 0.7, 0.78, 1} : textColor()->CGColor();
    if (!isEnabled()) colour.a *= 0.5;
    NSStringDrawAtPoint(ctx, shown, {x, y}, font(), colour);
    if (isEditing()) {
        const CGFloat at = placeholder ? x : x + width;
        CGContextSetFillColorWithColor(ctx, tintColor()->CGColor());
        CGContextFillRect(ctx, CGRectMake(at, y, caret, height));
    }
    CGContextRestoreGState(ctx);
}

std::string UITextField::maskedText() const {
    std::string dots;
    for (unsigned char c : text())
        if ((c & 0xC0) != 0x80) dots += "\u25CF";  // one dot per character, not per byte
    return dots;
}

void UITextField::setSecureTextEntry(bool secure) {
    if (secure == secure_) return;
    secure_ = secure;
    setNeedsDisplay();
}
