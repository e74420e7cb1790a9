#include "UIScreen.h"

std::shared_ptr<UIScreen> UIScreen::mainScreen() {
    static const std::shared_ptr<UIScreen> screen(new UIScreen());
    return screen;
}

CGRect UIScreen::applicationFrame() const {
    return CGRectMake(0, 20, bounds_.size.width, bounds_.size.height - 20);
}

void UIScreen::reset() {
    bounds_ = CGRectMake(0, 0, 320, 568);
    scale_ = 2;
}
