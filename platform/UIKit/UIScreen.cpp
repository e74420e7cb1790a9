#include "UIScreen.h"

std::shared_ptr<UIScreen> UIScreen::mainScreen() {
    static const std::shared_ptr<UIScreen> screen(new UIScreen());
    return screen;
}

CGRect UIScreen::applicationFrame() const {
    return CGRectMake(0, 20, bounds_.size.width, bounds_.size.height - 20);
}

CGSize UIScreen::currentModeSize() const {
    return modeSize_.value_or(
        CGSizeMake(bounds_.size.width * scale_, bounds_.size.height * scale_));
}

void UIScreen::reset() {
    bounds_ = CGRectMake(0, 0, 320, 568);
    scale_ = 2;
    modeSize_.reset();
}
