#pragma once

#include <string>

#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSUserDefaults.h"
#include "TempDir.h"

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
