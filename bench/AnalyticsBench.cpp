// What the map kit's analytics log costs: a record on the caller's thread (the sealing and the
// file are the queue's), a whole 200-record upload to the devserver, from the call to the
// server's answer being handled, the devserver's decoding of a few kilobytes that repeat one
// sealed record, as a flood of uploads sends them, and the largest upload the devserver takes
// (every header text at its bound, 200 records within 1 MiB inflated) beside a sign-in at the
// usual password cost: what the upload holds the data lock for is within its own time.

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "DevServer.h"
#include "Foundation/NSPathUtilities.h"
#include "LogUpload.h"
#include "SeedData.h"
#include "VMAnalytics.h"
#include "VMCompression.h"
#include "VMLogCipher.h"
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

// Refused or taken, the CPU one such upload costs the server.
void BM_DecodeOneRecordRepeated(benchmark::State& state) {
    const std::string header =
        R"("platform":"p","pkg":"p","model":"m","appname":"a","appversion":"1","sysversion":"1",)"
        R"("sim":"0","sdkversion":"3.1.0","product":"3dmap","edition":"open","diu":"d",)"
        R"("key":"brisfold-development",)";
    const std::string entry =
        R"({"log":")" +
        *VMLogCipher::seal(R"("nt":"lan","np":"none","timestamp":"1","et":"error",)"
                           R"("classname":"c","detail":"d")") +
        R"(||1"})";
    std::string json = R"({"pinfo":")" + *VMLogCipher::seal(header) + R"(","els":[)";
    for (std::int64_t i = 0; i < state.range(0); ++i) json += (i == 0 ? "" : ",") + entry;
    json += "]}";
    const auto body =
        vmGZipDeflate(std::span(reinterpret_cast<const std::uint8_t*>(json.data()), json.size()));
    if (!body) std::abort();
    const std::string_view sent(reinterpret_cast<const char*>(body->data()), body->size());
    for (auto _ : state) benchmark::DoNotOptimize(devserver::decodeLogUpload(sent));
    state.counters["sent_bytes"] = static_cast<double>(body->size());
}
BENCHMARK(BM_DecodeOneRecordRepeated)
    ->Arg(200)
    ->Arg(1000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

void BM_LargestUploadTakenOrSignIn(benchmark::State& state) {
    Home home;
    devserver::DevServerOptions options;
    options.log = [](const std::string&) {};
    devserver::DevServer server(home.path() / "devserver.sqlite", options);
    if (!server.start(0)) std::abort();
    httplib::Client client("127.0.0.1", server.port());
    client.set_read_timeout(60);
    const std::string text(devserver::kMaxLogHeaderFieldBytes, 't');
    std::string header;
    for (const char* field : {"platform", "pkg", "model", "appname", "appversion", "sysversion",
                              "sim", "sdkversion", "product", "edition", "diu"})
        header += "\"" + std::string(field) + "\":\"" + text + "\",";
    header += R"("key":"brisfold-development",)";
    const std::string entry =
        R"({"log":")" +
        *VMLogCipher::seal(R"("nt":"lan","np":"none","timestamp":"1","et":"error",)"
                           R"("classname":"c","detail":")" +
                           std::string(3500, 'x') + R"(")") +
        R"(||1"})";
    std::string json = R"({"pinfo":")" + *VMLogCipher::seal(header) + R"(","els":[)";
    for (std::size_t i = 0; i < devserver::kMaxLogUploadRecords; ++i)
        json += (i == 0 ? "" : ",") + entry;
    json += "]}";
    const auto body =
        vmGZipDeflate(std::span(reinterpret_cast<const std::uint8_t*>(json.data()), json.size()));
    if (!body || json.size() > devserver::kMaxLogUploadInflated) std::abort();
    const std::string target = "/ws/log/upload?product=1&type=1&platform=2&channel=open&sign=" +
                               *VMAnalytics::signatureWithData(*body);
    const std::string sent(body->begin(), body->end());
    const std::string signIn = "UserName=" + std::string(devserver::kSeedEngineers[0].userName) +
                               "&PassWord=" + std::string(devserver::kSeedEngineers[0].password);
    for (auto _ : state) {
        const auto result = state.range(0) == 0 ? client.Post(target, sent, "application/gzip")
                                                : client.Post("/api/Engineer/Login", signIn,
                                                              "application/x-www-form-urlencoded");
        if (!result || result->status != 200 ||
            (state.range(0) == 0 && result->body != R"({"code":1})"))
            state.SkipWithError("not taken");
    }
}
BENCHMARK(BM_LargestUploadTakenOrSignIn)
    ->ArgName("signIn")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
