#include "Clock.h"

#include <atomic>
#include <chrono>

#include "NSRunLoop.h"

namespace {
std::atomic<bool> gManual{false};
std::atomic<double> gManualNow{0.0};
}  // namespace

CFTimeInterval Clock::realNow() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

CFTimeInterval Clock::now() { return gManual.load() ? gManualNow.load() : realNow(); }

void Clock::useManual(CFTimeInterval start) {
    // Manual time never runs backwards: timers and display links scheduled by earlier work keep
    // their places instead of waiting out a rewound clock.
    double cur = gManualNow.load();
    while (cur < start && !gManualNow.compare_exchange_weak(cur, start)) {
    }
    gManual.store(true);
}

void Clock::useReal() { gManual.store(false); }

bool Clock::isManual() { return gManual.load(); }

void Clock::advance(CFTimeInterval seconds) {
    double cur = gManualNow.load();
    while (!gManualNow.compare_exchange_weak(cur, cur + seconds)) {
    }
    NSRunLoop::wakeAll();
}
