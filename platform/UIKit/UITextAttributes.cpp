#include "UITextAttributes.h"

UITextAttributes::UITextAttributes(CGFloat defaultFontSize)
    : defaultFontSize_(defaultFontSize),
      font_(UIFont::systemFontOfSize(defaultFontSize)),
      textColor_(UIColor::blackColor()) {}

void UITextAttributes::setText(std::string text) {
    if (text == text_) return;
    text_ = std::move(text);
    textAttributesDidChange();
}

void UITextAttributes::setFont(UIFontRef font) {
    font_ = font ? std::move(font) : UIFont::systemFontOfSize(defaultFontSize_);
    textAttributesDidChange();
}

void UITextAttributes::setTextColor(UIColorRef color) {
    textColor_ = color ? std::move(color) : UIColor::blackColor();
    textAttributesDidChange();
}

void UITextAttributes::setTextAlignment(NSTextAlignment alignment) {
    alignment_ = alignment;
    textAttributesDidChange();
}
