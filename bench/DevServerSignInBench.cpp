// How long a sign-in takes at the usual password cost, idle and beside each flood of log upload
// bodies sent at full speed (tests/support/UploadFlood.h), the flood running in a process of its
// own against a devserver in this one. Each round signs in idle, then beside the flood, so that
// the machine's load falls on both alike. Measures, in ms: the sign-ins' median and 95th
// percentile idle and beside the flood; ours is the flooded 95th percentile, its anchor the idle
// one. The program takes its samples itself, so bench/run-all runs it once.
//
// 3 rounds of 10 sign-ins on each side, 1 round of 5 with BRISFOLD_BENCH_QUICK.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "DevServer.h"
#include "SeedData.h"
#include "TempDir.h"
#include "UploadFlood.h"

namespace {

const bool kQuick = std::getenv("BRISFOLD_BENCH_QUICK") != nullptr;
const int kRounds = kQuick ? 1 : 3;
const int kEach = kQuick ? 5 : 10;
// Past this a sign-in counts as failed: the app's request time-out.
constexpr auto kDeadline = std::chrono::seconds(10);

// Adds the milliseconds of a sign-in; false, with the benchmark's error set, when it failed.
bool signIn(int port, std::vector<double>& ms, benchmark::State& state) {
    const auto& engineer = devserver::kSeedEngineers[1];
    const auto result =
        testsupport::timedSignIn(port, engineer.userName, engineer.password, kDeadline);
    if (result.status != 200 ||
        nlohmann::json::parse(result.body, nullptr, false).value("code", "") != "1") {
        state.SkipWithError(
            ("a sign-in failed: " + std::to_string(result.status) + " " + result.error).c_str());
        return false;
    }
    ms.push_back(result.seconds * 1000);
    return true;
}

void BM_SignInBesideUploadFlood(benchmark::State& state, const testsupport::UploadFloodKind& kind) {
    const testsupport::TempDir home;
    devserver::DevServerOptions options;
    // Each refused upload is logged.
    options.log = [](const std::string&) {};
    devserver::DevServer server(home.path() / "devserver.sqlite", options);
    std::string error;
    if (!server.start(0, &error)) {
        state.SkipWithError(("the devserver did not start: " + error).c_str());
        return;
    }
    for (auto _ : state) {
        std::vector<double> idle, flooded;
        for (int round = 0; round < kRounds; ++round) {
            for (int i = 0; i < kEach; ++i)
                if (!signIn(server.port(), idle, state)) return;
            const auto flood =
                testsupport::startUploadFlood({"/proc/self/exe"}, server.port(), kind);
            if (!flood) {
                state.SkipWithError("the flood did not start");
                return;
            }
            for (int i = 0; i < kEach; ++i)
                if (!signIn(server.port(), flooded, state)) return;
            flood->stop();
        }
        const auto quiet = benchsupport::percentiles(idle);
        const auto loud = benchsupport::percentiles(flooded);
        state.counters["ours_ms"] = loud.p95;
        state.counters["anchor_ms"] = quiet.p95;
        state.counters["idle_median_ms"] = quiet.median;
        state.counters["idle_p95_ms"] = quiet.p95;
        state.counters["flood_median_ms"] = loud.median;
        state.counters["flood_p95_ms"] = loud.p95;
        state.counters["samples"] = static_cast<double>(flooded.size());
    }
    server.stop();
}

}  // namespace

int main(int argc, char** argv) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    // Run again by itself as the flood.
    testsupport::floodAsAsked();
    for (const auto& kind : testsupport::kUploadFloods) {
        benchmark::RegisterBenchmark(
            (std::string("BM_SignInBesideUploadFlood/") + kind.name).c_str(),
            BM_SignInBesideUploadFlood, kind)
            ->Iterations(1)
            ->UseRealTime()
            ->Unit(benchmark::kSecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
