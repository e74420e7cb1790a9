// What the map kit's analytics log costs: a record on the caller's thread (the sealing and the
// file are the queue's), and a whole 200-record upload to the devserver, from the call to the
// server's answer being handled.

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "DevServer.h"
#include "Foundation/NSPathUtilities.h"
#include "VMAnalytics.h"
#include "VMMapServices.h"

namespace {

class Home {
  public:
    Home() {
        path_ = std::filesystem::temp_directory_path() / "analytics_bench.XXXXXX";
        std::string text = path_.string();
        if (::mkdtemp(text.data()) == nullptr) std::abort();
        path_ = text;
        NSSetHomeDirectory(text);
    }
    ~Home() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Waits until the condition holds; the benchmark is meaningless if it never does.
template <class Predicate>
void waitFor(Predicate predicate) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) std::abort();
        std::this_thread::yield();
    }
}

void BM_LogInfoOnTheCallersThread(benchmark::State& state) {
    Home home;
    const auto analytics = VMAnalytics::sharedInstance();
    analytics->setLogEnabled(true);
    const long type = state.range(0);
    for (auto _ : state) {
        analytics->logInfo("location failed: denied", "LOCATION_FAILED_ERROR", type);
    }
    analytics->clearAllLogs();
    analytics->countOfLogsWithType(type);  // lets the queue finish before the home goes
}
BENCHMARK(BM_LogInfoOnTheCallersThread)
    ->Arg(VMAnalyticsLogTypeEvent)
    ->Arg(VMAnalyticsLogTypeError)
    ->Iterations(1000)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

void BM_UploadTwoHundredErrors(benchmark::State& state) {
    Home home;
    devserver::DevServerOptions options;
    options.passwordIterations = 1000;
    options.log = [](const std::string&) {};
    devserver::DevServer server(home.path() / "devserver.sqlite", options);
    if (!server.start(0)) std::abort();
    const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
    const auto services = VMMapServices::sharedServices();
    services->setApiKey(devserver::ServicesEndpoints::kDevelopmentKey);
    services->setManifestServerAddress(base + "/v3/config/resource");
    const auto analytics = VMAnalytics::sharedInstance();
    analytics->setLogServerAddress(base + "/ws/log/upload");
    analytics->setLogEnabled(true);
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 200; ++i)
            analytics->logInfo("location failed: denied", "VMMapView", VMAnalyticsLogTypeError);
        waitFor([&] { return analytics->countOfLogsWithType(VMAnalyticsLogTypeError) == 200; });
        state.ResumeTiming();
        std::atomic<bool> done = false;
        std::atomic<bool> uploaded = false;
        analytics->uploadLogWithType(VMAnalyticsLogTypeError, [&](bool ok, const NSErrorOpt&) {
            uploaded = ok;
            done = true;
        });
        waitFor([&] { return done.load(); });
        if (!uploaded) state.SkipWithError("the upload was not taken");
    }
}
BENCHMARK(BM_UploadTwoHundredErrors)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
