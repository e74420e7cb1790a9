#pragma once

#include <functional>
#include <memory>

#include "QuartzCore/CAMediaTimingFunction.h"

// Groups layer changes made on one thread between begin() and commit(); transactions nest and
// an inner one sees the settings of the outer ones unless it sets its own.
// Inside an explicit transaction that does not disable actions, a change of a layer's position,
// bounds, transform, opacity or background colour animates from the old value over
// animationDuration (0.25 s by default) on animationTimingFunction (the default curve), unless
// the layer is a view's (views animate in their animation blocks only). Outside explicit
// transactions layer changes take effect at once: nothing here draws between turns, and code that
// wants a change animated says so. Inside a transaction a layer is a view's when it has a delegate;
// others are free-standing. The completion block runs on a later run-loop turn once every animation
// added to a layer within the transaction has stopped, or right after the commit when there is none
// (outside any transaction: on the next turn). Settings made outside a transaction are ignored.
class CATransaction {
  public:
    static void begin();
    // A commit without a begin is ignored.
    static void commit();
    // Composition happens on demand, so there is nothing to push out early.
    static void flush() {}

    static bool disableActions();
    static void setDisableActions(bool disable);
    static CFTimeInterval animationDuration();
    static void setAnimationDuration(CFTimeInterval duration);
    static std::shared_ptr<CAMediaTimingFunction> animationTimingFunction();
    static void setAnimationTimingFunction(std::shared_ptr<CAMediaTimingFunction> function);
    static std::function<void()> completionBlock();
    static void setCompletionBlock(std::function<void()> block);

    // For the animation engine: whether an explicit transaction is open on this thread, and a
    // stop observer for an animation added now that holds back the open transactions'
    // completion blocks until it stops.
    static bool isOpen();
    static std::function<void(bool finished)> trackAnimation();
};
