#pragma once

#include <functional>

#include "Foundation/Clock.h"

namespace testsupport {

// How long a test waits for something that should happen at once: long enough for a loaded
// sanitizer build, short enough that a hang fails the test instead of the run.
inline constexpr CFTimeInterval kPatience = 20.0;

// Turns the calling thread's run loop until the predicate holds or the real-time deadline passes;
// returns the predicate.
bool runUntil(const std::function<bool()>& predicate, CFTimeInterval seconds = kPatience);

// For threads without a run loop to turn: checks the predicate until it holds or the real-time
// deadline passes, spinning briefly (meeting points want both sides running) and then backing
// off so that a long wait does not burn a core. Returns the predicate.
bool waitUntil(const std::function<bool()>& predicate, CFTimeInterval seconds = kPatience);

// Keeps the calling thread running for a moment of real time, to hold a window open for other
// threads to fall into, without giving the core away: on a loaded core each yield can cost a time
// slice of every other task there.
void busyFor(CFTimeInterval seconds);

}  // namespace testsupport
