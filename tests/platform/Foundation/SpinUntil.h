#pragma once

#include <thread>

#include "Foundation/Clock.h"

// Yields until the predicate holds or ten real seconds pass; for meeting points between worker
// threads, which have no run loop for the test to turn.
template <class P>
bool spinUntil(P predicate) {
    const double deadline = Clock::realNow() + 10.0;
    while (!predicate()) {
        if (Clock::realNow() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}
