#include "UIDevice.h"

std::shared_ptr<UIDevice> UIDevice::currentDevice() {
    static const std::shared_ptr<UIDevice> device(new UIDevice());
    return device;
}

void UIDevice::reset() {
    systemVersion_ = "9.0";
    model_ = "Phone";
    name_ = "Brisfold";
    hardware_ = "x86_64";
    orientation_ = UIDeviceOrientationPortrait;
    idiom_ = UIUserInterfaceIdiomPhone;
}
