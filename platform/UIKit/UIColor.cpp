#include "UIColor.h"

std::shared_ptr<UIColor> UIColor::colorWithRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
    return std::shared_ptr<UIColor>(new UIColor({r, g, b, a}));
}
std::shared_ptr<UIColor> UIColor::colorWithWhite(CGFloat white, CGFloat a) {
    return colorWithRed(white, white, white, a);
}
std::shared_ptr<UIColor> UIColor::colorWithCGColor(::CGColor c) {
    return std::shared_ptr<UIColor>(new UIColor(c));
}
std::shared_ptr<UIColor> UIColor::colorWithRGBHex(uint32_t rgb, CGFloat a) {
    return colorWithRed(((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0,
                        (rgb & 0xff) / 255.0, a);
}
std::shared_ptr<UIColor> UIColor::clearColor() { return colorWithRed(0, 0, 0, 0); }
std::shared_ptr<UIColor> UIColor::blackColor() { return colorWithWhite(0, 1); }
std::shared_ptr<UIColor> UIColor::whiteColor() { return colorWithWhite(1, 1); }
std::shared_ptr<UIColor> UIColor::redColor() { return colorWithRed(1, 0, 0, 1); }
std::shared_ptr<UIColor> UIColor::greenColor() { return colorWithRed(0, 1, 0, 1); }
std::shared_ptr<UIColor> UIColor::blueColor() { return colorWithRed(0, 0, 1, 1); }
std::shared_ptr<UIColor> UIColor::grayColor() { return colorWithWhite(0.5, 1); }
std::shared_ptr<UIColor> UIColor::lightGrayColor() { return colorWithWhite(2.0 / 3, 1); }
std::shared_ptr<UIColor> UIColor::darkGrayColor() { return colorWithWhite(1.0 / 3, 1); }
std::shared_ptr<UIColor> UIColor::orangeColor() { return colorWithRed(1, 0.5, 0, 1); }
std::shared_ptr<UIColor> UIColor::yellowColor() { return colorWithRed(1, 1, 0, 1); }
std::shared_ptr<UIColor> UIColor::purpleColor() { return colorWithRed(0.5, 0, 0.5, 1); }
std::shared_ptr<UIColor> UIColor::brownColor() { return colorWithRed(0.6, 0.4, 0.2, 1); }
std::shared_ptr<UIColor> UIColor::cyanColor() { return colorWithRed(0, 1, 1, 1); }
std::shared_ptr<UIColor> UIColor::magentaColor() { return colorWithRed(1, 0, 1, 1); }
std::shared_ptr<UIColor> UIColor::tintBlueColor() { return colorWithRed(0, 122 / 255.0, 1, 1); }

std::shared_ptr<UIColor> UIColor::colorWithAlphaComponent(CGFloat a) const {
    return colorWithRed(color_.r, color_.g, color_.b, a);
}
