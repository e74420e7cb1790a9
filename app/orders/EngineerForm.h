#pragma once

#include <string>

#include "shell/BrisfoldAppDelegate.h"
#include "shell/DataRequestManager.h"

// The form field naming the signed-in engineer, with which the order requests begin.
inline std::string engineerBody() {
    return "brisfoldID=" + formValue(BrisfoldAppDelegate::getApp()->APPUserID());
}
