#pragma once

#include <memory>
#include <string>

#include "Foundation/NSObject.h"

enum UIDeviceOrientation {
    UIDeviceOrientationUnknown = 0,
    UIDeviceOrientationPortrait = 1,
    UIDeviceOrientationPortraitUpsideDown = 2,
    UIDeviceOrientationLandscapeLeft = 3,
    UIDeviceOrientationLandscapeRight = 4,
    UIDeviceOrientationFaceUp = 5,
    UIDeviceOrientationFaceDown = 6,
};

// Device facts; every one is settable so tests can take each branch that depends on it.
class UIDevice : public NSObject {
  public:
    static std::shared_ptr<UIDevice> currentDevice();

    const std::string& systemName() const { return systemName_; }
    const std::string& systemVersion() const { return systemVersion_; }
    void setSystemVersion(std::string v) { systemVersion_ = std::move(v); }
    const std::string& model() const { return model_; }
    void setModel(std::string m) { model_ = std::move(m); }
    const std::string& name() const { return name_; }
    void setName(std::string n) { name_ = std::move(n); }
    // The hardware identifier ("machine") from which apps derive a marketing name.
    const std::string& hardwareIdentifier() const { return hardware_; }
    void setHardwareIdentifier(std::string h) { hardware_ = std::move(h); }
    UIDeviceOrientation orientation() const { return orientation_; }
    void setOrientation(UIDeviceOrientation o) { orientation_ = o; }
    // The system lets apps finish work in the background (UIApplication's background tasks).
    bool isMultitaskingSupported() const { return true; }
    void reset();

  private:
    UIDevice() = default;
    std::string systemName_ = "Linux";
    std::string systemVersion_ = "9.0";
    std::string model_ = "Phone";
    std::string name_ = "Brisfold";
    std::string hardware_ = "x86_64";
    UIDeviceOrientation orientation_ = UIDeviceOrientationPortrait;
};
