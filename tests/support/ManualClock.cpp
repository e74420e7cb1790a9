#include "ManualClock.h"

namespace testsupport {

ManualClock::ManualClock() {
    Clock::useManual();
    loop->runUntilIdle();
}

ManualClock::~ManualClock() {
    loop->runUntilIdle();
    Clock::useReal();
}

void ManualClock::advance(CFTimeInterval seconds) {
    Clock::advance(seconds);
    loop->runUntilIdle();
}

}  // namespace testsupport
