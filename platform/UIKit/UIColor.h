#pragma once

#include <memory>

#include "CoreGraphics/CGColor.h"
#include "Foundation/NSObject.h"

class UIColor : public NSObject {
  public:
    static std::shared_ptr<UIColor> colorWithRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a);
    static std::shared_ptr<UIColor> colorWithWhite(CGFloat white, CGFloat a);
    static std::shared_ptr<UIColor> colorWithCGColor(CGColor c);
    // 0xRRGGBB, a common way colours are written down.
    static std::shared_ptr<UIColor> colorWithRGBHex(uint32_t rgb, CGFloat a = 1);

    static std::shared_ptr<UIColor> clearColor();
    static std::shared_ptr<UIColor> blackColor();
    static std::shared_ptr<UIColor> whiteColor();
    static std::shared_ptr<UIColor> redColor();
    static std::shared_ptr<UIColor> greenColor();
    static std::shared_ptr<UIColor> blueColor();
    static std::shared_ptr<UIColor> grayColor();
    static std::shared_ptr<UIColor> lightGrayColor();
    static std::shared_ptr<UIColor> darkGrayColor();
    static std::shared_ptr<UIColor> orangeColor();
    static std::shared_ptr<UIColor> yellowColor();
    static std::shared_ptr<UIColor> purpleColor();
    static std::shared_ptr<UIColor> brownColor();
    static std::shared_ptr<UIColor> cyanColor();
    static std::shared_ptr<UIColor> magentaColor();
    // The platform's default link/tint blue.
    static std::shared_ptr<UIColor> tintBlueColor();

    ::CGColor CGColor() const { return color_; }
    std::shared_ptr<UIColor> colorWithAlphaComponent(CGFloat a) const;
    bool isEqual(const UIColor& other) const { return color_ == other.color_; }

  private:
    explicit UIColor(::CGColor c) : color_(c) {}
    ::CGColor color_;
};

using UIColorRef = std::shared_ptr<UIColor>;
// The CGColor of a possibly absent colour (absent = clear).
inline CGColor CGColorOf(const UIColorRef& c) { return c ? c->CGColor() : CGColor{}; }
