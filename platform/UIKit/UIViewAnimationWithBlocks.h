#pragma once

#include <functional>

#include "Foundation/Clock.h"

enum UIViewAnimationOptions : unsigned {
    UIViewAnimationOptionBeginFromCurrentState = 1 << 2,
    UIViewAnimationOptionRepeat = 1 << 3,
    UIViewAnimationOptionAutoreverse = 1 << 4,
    UIViewAnimationOptionCurveEaseInOut = 0 << 16,
    UIViewAnimationOptionCurveEaseIn = 1 << 16,
    UIViewAnimationOptionCurveEaseOut = 2 << 16,
    UIViewAnimationOptionCurveLinear = 3 << 16,
};

// Block-based view animations. The animations block runs at once; every change it makes to a
// view's frame, bounds, center, alpha, transform or background colour becomes an animation of
// the view's layer from the old value to the new one (the model values change at once, as on
// the platform). The completion runs on a later run-loop turn than anything the block
// scheduled, once every animation made has stopped; finished is false when one was removed or
// replaced before its end. A duration of 0 or less animates nothing.
void UIViewAnimateWithDuration(NSTimeInterval duration, std::function<void()> animations,
                               std::function<void(bool finished)> completion = {});
void UIViewAnimateWithDuration(NSTimeInterval duration, NSTimeInterval delay, unsigned options,
                               std::function<void()> animations,
                               std::function<void(bool finished)> completion);
