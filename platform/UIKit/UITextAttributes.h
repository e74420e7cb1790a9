#pragma once

#include <string>

#include "CoreGraphics/CGText.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"

// What labels, text fields and text views share about their text: the text itself, its font,
// colour and alignment. A null font or colour puts back the owner's default (the system font of
// the owner's size, black). The owner hears of every change and redraws.
class UITextAttributes {
  public:
    const std::string& text() const { return text_; }
    void setText(std::string text);
    const UIFontRef& font() const { return font_; }
    void setFont(UIFontRef font);
    const UIColorRef& textColor() const { return textColor_; }
    void setTextColor(UIColorRef color);
    NSTextAlignment textAlignment() const { return alignment_; }
    void setTextAlignment(NSTextAlignment alignment);

  protected:
    explicit UITextAttributes(CGFloat defaultFontSize);
    ~UITextAttributes() = default;
    virtual void textAttributesDidChange() = 0;

  private:
    std::string text_;
    CGFloat defaultFontSize_;
    UIFontRef font_;
    UIColorRef textColor_;
    NSTextAlignment alignment_ = NSTextAlignmentLeft;
};
