#pragma once

#include <string>

#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSUserDefaults.h"
#include "TempDir.h"
#include "UIKit/UIView.h"
#include "host/Host.h"

// A fresh app home for the life of the object, with the defaults store read from it.
class ShellHome {
  public:
    ShellHome() {
        NSUserDefaults::resetStandardUserDefaults();
        NSSetHomeDirectory(dir.path().string());
    }
    ~ShellHome() { NSUserDefaults::resetStandardUserDefaults(); }
    ShellHome(const ShellHome&) = delete;
    ShellHome& operator=(const ShellHome&) = delete;

    testsupport::TempDir dir;
};

// Taps the middle of the view as a finger would, through the host.
inline void tapView(Host& host, const std::shared_ptr<UIView>& view) {
    const CGRect f = view->convertRectToView(view->bounds(), nullptr);
    host.tap(CGPointMake(CGRectGetMidX(f), CGRectGetMidY(f)));
}

// The address the local geocoder gives for the engineer's test position.
inline constexpr const char* kGuangzhou = "广东省广州市越秀区府前路";
