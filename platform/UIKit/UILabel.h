#pragma once

#include <string>

#include "UIKit/NSStringDrawing.h"
#include "UIKit/UITextAttributes.h"
#include "UIKit/UIView.h"

// Static text: drawn once into its layer and kept until something about it changes.
class UILabel : public UIView, public UITextAttributes {
  public:
    static std::shared_ptr<UILabel> create(CGRect frame = CGRectZero);

    int numberOfLines() const { return numberOfLines_; }
    void setNumberOfLines(int n);
    NSLineBreakMode lineBreakMode() const { return lineBreakMode_; }
    void setLineBreakMode(NSLineBreakMode m);
    bool adjustsFontSizeToFitWidth() const { return adjustsFontSize_; }
    void setAdjustsFontSizeToFitWidth(bool a);
    CGFloat minimumScaleFactor() const { return minimumScaleFactor_; }
    void setMinimumScaleFactor(CGFloat f);
    CGFloat minimumFontSize() const { return minimumFontSize_; }
    void setMinimumFontSize(CGFloat s);
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool e);

    // The font the text is drawn in: the font, or a smaller one when shrinking to fit the width
    // (down to the minimum scale or size; half the size when neither is set).
    UIFontRef displayedFont() const;
    NSTextStyle textStyle() const;

    CGSize sizeThatFits(CGSize size) const override;
    void drawRect(CGRect rect) override;
    // The text's rectangle in bounds: full width, vertically centred.
    CGRect textRectForBounds(CGRect bounds) const;

  protected:
    UILabel() : UITextAttributes(17) {}
    void initWithFrame(CGRect frame) override;
    void textAttributesDidChange() override { setNeedsDisplay(); }

  private:
    int numberOfLines_ = 1;
    NSLineBreakMode lineBreakMode_ = NSLineBreakByTruncatingTail;
    bool adjustsFontSize_ = false;
    CGFloat minimumScaleFactor_ = 0;
    CGFloat minimumFontSize_ = 0;
    bool enabled_ = true;
};
