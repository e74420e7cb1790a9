// What the run loop's timers cost as they grow in number, as the screens feel it when every
// cell, recogniser and animation holds a timer: scheduling many timers at scattered dates and
// firing them all; moving the dates of many scheduled timers; and a turn that fires many
// repeating timers, each of which goes back into the loop.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSTimer.h"

namespace {

// Scattered delays in [0, 1) s, the same every run.
std::vector<double> scatteredDelays(std::size_t n) {
    std::vector<double> delays(n);
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (auto& d : delays) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        d = static_cast<double>(x % 1000000) / 1e6;
    }
    return delays;
}

void BM_ScheduleAndFireTimers(benchmark::State& state) {
    Clock::useManual();
    auto loop = NSRunLoop::mainRunLoop();
    const auto delays = scatteredDelays(static_cast<std::size_t>(state.range(0)));
    std::int64_t fired = 0;
    for (auto _ : state) {
        for (const double d : delays) loop->performAfterDelay(d, [&fired] { ++fired; });
        Clock::advance(1.0);
        loop->runUntilIdle();
    }
    benchmark::DoNotOptimize(fired);
    state.SetItemsProcessed(fired);
    Clock::useReal();
}

void BM_MoveFireDatesOfScheduledTimers(benchmark::State& state) {
    Clock::useManual();
    auto loop = NSRunLoop::mainRunLoop();
    const auto delays = scatteredDelays(static_cast<std::size_t>(state.range(0)));
    std::vector<std::shared_ptr<NSTimer>> timers;
    for (const double d : delays)
        timers.push_back(NSTimer::scheduledTimerWithTimeInterval(d + 10, false, [](NSTimer&) {}));
    double shift = 0;
    for (auto _ : state) {
        shift = shift > 5 ? 0 : shift + 0.5;
        for (std::size_t i = 0; i < timers.size(); ++i)
            timers[i]->setFireDate(Clock::now() + 10 + delays[i] + shift);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    for (auto& t : timers) t->invalidate();
    // Past every date, so that the next case starts with an empty loop.
    Clock::advance(20);
    loop->runUntilIdle();
    Clock::useReal();
}

void BM_TurnFiringRepeatingTimers(benchmark::State& state) {
    Clock::useManual();
    auto loop = NSRunLoop::mainRunLoop();
    std::vector<std::shared_ptr<NSTimer>> timers;
    std::int64_t fired = 0;
    for (std::int64_t i = 0; i < state.range(0); ++i)
        timers.push_back(NSTimer::scheduledTimerWithTimeInterval(1.0 / 60, true,
                                                                 [&fired](NSTimer&) { ++fired; }));
    for (auto _ : state) {
        Clock::advance(1.0 / 60);
        loop->runOnce();
    }
    benchmark::DoNotOptimize(fired);
    state.SetItemsProcessed(fired);
    for (auto& t : timers) t->invalidate();
    Clock::advance(1.0);
    loop->runUntilIdle();
    Clock::useReal();
}

BENCHMARK(BM_ScheduleAndFireTimers)->RangeMultiplier(10)->Range(100, 10000);
BENCHMARK(BM_MoveFireDatesOfScheduledTimers)->RangeMultiplier(10)->Range(100, 10000);
BENCHMARK(BM_TurnFiringRepeatingTimers)->RangeMultiplier(10)->Range(100, 10000);

}  // namespace

BENCHMARK_MAIN();
