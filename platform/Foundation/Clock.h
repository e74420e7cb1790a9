#pragma once

// Seconds on a monotonic scale, as the platform's media time counts them.
using CFTimeInterval = double;
using NSTimeInterval = double;

// The one clock that run-loop timers, the display link and animations read. It is the real
// monotonic clock, or a manual clock that tests advance so that timed work fires without sleeping.
class Clock {
  public:
    static CFTimeInterval now();

    // Starts manual time at start, or keeps it where it was if it is already later.
    static void useManual(CFTimeInterval start = 1000.0);
    static void useReal();
    static bool isManual();
    // Moves the manual clock forward and wakes every run loop so due timers fire.
    static void advance(CFTimeInterval seconds);

    // Real elapsed seconds, for deadlines that must hold whatever the clock mode.
    static CFTimeInterval realNow();
};
