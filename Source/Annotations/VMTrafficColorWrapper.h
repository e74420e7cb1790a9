#pragma once

#include <memory>

#include "Foundation/NSObject.h"
#include "UIKit/UIColor.h"

// The four colours of traffic on the map, from free flow to standstill.
class VMTrafficColorWrapper : public NSObject {
  public:
    static std::shared_ptr<VMTrafficColorWrapper> create() {
        return std::shared_ptr<VMTrafficColorWrapper>(new VMTrafficColorWrapper());
    }
    UIColorRef unimpeded = UIColor::colorWithRed(60 / 255.0, 210 / 255.0, 110 / 255.0, 1);
    UIColorRef amble = UIColor::colorWithRed(250 / 255.0, 180 / 255.0, 70 / 255.0, 1);
    UIColorRef jam = UIColor::colorWithRed(255 / 255.0, 95 / 255.0, 95 / 255.0, 1);
    UIColorRef gridlocked = UIColor::colorWithRed(180 / 255.0, 15 / 255.0, 15 / 255.0, 1);

  private:
    VMTrafficColorWrapper() = default;
};
