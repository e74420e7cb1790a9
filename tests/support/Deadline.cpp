#include "Deadline.h"

#include <chrono>
#include <thread>

#include "Foundation/NSRunLoop.h"

namespace testsupport {

bool runUntil(const std::function<bool()>& predicate, CFTimeInterval seconds) {
    return NSRunLoop::currentRunLoop()->runUntil(predicate, seconds);
}

bool waitUntil(const std::function<bool()>& predicate, CFTimeInterval seconds) {
    constexpr int kSpins = 10000;
    const CFTimeInterval deadline = Clock::realNow() + seconds;
    for (int round = 0; !predicate(); ++round) {
        if (Clock::realNow() > deadline) return predicate();
        if (round < kSpins) {
            std::this_thread::yield();
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    return true;
}

void busyFor(CFTimeInterval seconds) {
    const CFTimeInterval end = Clock::realNow() + seconds;
    while (Clock::realNow() < end) {
    }
}

}  // namespace testsupport
