#pragma once

// What nearly every UI test reads: the test framework, the headless host and its screen probes,
// views, drawing, and the manual clock with its run loop.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "Foundation/NSRunLoop.h"
#include "ManualClock.h"
#include "ScreenPixels.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIView.h"
#include "host/HeadlessHost.h"
