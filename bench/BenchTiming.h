#pragma once

// Timing that the benchmarks share: a call's milliseconds, medians and 95th percentiles, and
// sides measured in turn.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <functional>
#include <vector>

namespace benchsupport {

template <typename F>
double millisecondsOf(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

struct Percentiles {
    double median = 0;
    double p95 = 0;
};

inline Percentiles percentiles(std::vector<double> ms) {
    if (ms.empty()) return {};
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 95 / 100)]};
}

// Milliseconds of each side's frames, the sides taken in turn one frame each, the order reversed
// every round, so that a change in the machine's load falls on every side alike. `prepare` runs
// untimed before a side's frame (showing that side's views, say).
template <std::size_t N>
std::array<std::vector<double>, N> interleave(
    int rounds, const std::array<std::function<void()>, N>& frames,
    const std::function<void(std::size_t)>& prepare = {}) {
    std::array<std::vector<double>, N> ms;
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < N; ++k) {
            const std::size_t side = round % 2 ? N - 1 - k : k;
            if (prepare) prepare(side);
            ms[side].push_back(millisecondsOf(frames[side]));
        }
    }
    return ms;
}

}  // namespace benchsupport
