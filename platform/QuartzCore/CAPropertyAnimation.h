#pragma once

#include <string>
#include <string_view>

#include "CAAnimation.h"

// An animation of one property of a layer, named by its key path ("position", "opacity",
// "transform.scale", ...).
class CAPropertyAnimation : public CAAnimation {
  public:
    const std::string& keyPath() const { return keyPath_; }
    void setKeyPath(std::string_view keyPath) { keyPath_ = keyPath; }

  protected:
    explicit CAPropertyAnimation(std::string_view keyPath) : keyPath_(keyPath) {}

  private:
    std::string keyPath_;
};
