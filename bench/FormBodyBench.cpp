// What a form body costs to parse when a client fills the largest body the server reads with
// distinct keys: every request body of the API is read this way before anything else, a
// sign-in's included.

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "FormBody.h"

namespace {

// 16,359 distinct keys of three letters, "aaa&aab&...": 64 KiB.
std::string distinctKeys() {
    constexpr std::string_view kLetters =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    constexpr int kKeys = 16'359;
    std::string body;
    for (int n = 0; n < kKeys; ++n) {
        if (n > 0) body += '&';
        body += kLetters[static_cast<size_t>(n) / (kLetters.size() * kLetters.size())];
        body += kLetters[static_cast<size_t>(n) / kLetters.size() % kLetters.size()];
        body += kLetters[static_cast<size_t>(n) % kLetters.size()];
    }
    return body;
}

void BM_ParseFormOfDistinctKeys(benchmark::State& state) {
    const std::string body = distinctKeys();
    for (auto _ : state) {
        const auto form = devserver::FormBody::parse(body);
        if (!form || form->fields().size() != 16'359) {
            state.SkipWithError("the form was not read whole");
            return;
        }
        benchmark::DoNotOptimize(form);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(body.size()));
}
BENCHMARK(BM_ParseFormOfDistinctKeys)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
