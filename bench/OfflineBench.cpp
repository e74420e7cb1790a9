// Offline packages as users wait for them: unpacking a 200 MB package (thousands of small
// entries, a few large) into tmpfs beside the system's miniunzip and unzip, and downloading
// 500 MB over loopback beside curl. One run each; the ratios (reference time / ours) print last.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "ChildProcess.h"
#include "Deadline.h"
#include "Foundation/NSPathUtilities.h"
#include "TestHTTPServer.h"
#include "VMDownloader.h"
#include "VMZipArchive.h"

namespace {

namespace fs = std::filesystem;

fs::path workDir() {
    static const fs::path path = [] {
        std::string pattern = "/dev/shm/brisfold-offline-bench-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        return fs::path(pattern);
    }();
    return path;
}

std::string noise(std::size_t size, std::uint32_t seed) {
    // Half random, half repeated: packages compress somewhat.
    std::string out(size, '\0');
    std::uint32_t x = seed * 2654435761u | 1;
    for (std::size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<char>((i / 64) % 2 ? x >> 24 : 'm');
    }
    return out;
}

const fs::path& package() {
    static const fs::path archive = [] {
        const fs::path source = workDir() / "source";
        fs::create_directories(source);
        auto zip = VMZipArchive::create();
        const fs::path path = workDir() / "package.zip";
        zip->CreateZipFile2(path.string());
        for (int i = 0; i < 4000; ++i) {
            const fs::path file = source / "small";
            std::ofstream(file, std::ios::binary | std::ios::trunc) << noise(20000, i);
            zip->addFileToZip(file.string(), "vmap/grid/" + std::to_string(i) + ".dat");
        }
        for (int i = 0; i < 3; ++i) {
            const fs::path file = source / "large";
            std::ofstream(file, std::ios::binary | std::ios::trunc) << noise(40'000'000, 9000 + i);
            zip->addFileToZip(file.string(), "vmap/large/" + std::to_string(i) + ".dat");
        }
        zip->CloseZipFile2();
        fs::remove_all(source);
        return path;
    }();
    return archive;
}

double timeOnce(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void runTool(std::vector<std::string> args) {
    testsupport::ChildProcess child(args);
    if (child.waitForExit(600) != 0) std::fprintf(stderr, "%s failed\n", args[0].c_str());
}

std::map<std::string, double> seconds;

void record(benchmark::State& state, const std::string& name, const std::function<void()>& run) {
    for (auto _ : state) {
        const double elapsed = timeOnce(run);
        state.SetIterationTime(elapsed);
        seconds[name] = elapsed;
    }
}

void BM_UnzipOurs(benchmark::State& state) {
    const std::string out = (workDir() / "ours").string();
    package();
    record(state, "ours", [&] {
        auto zip = VMZipArchive::create();
        zip->UnzipOpenFile(package().string());
        zip->UnzipFileTo(out, true);
        zip->UnzipCloseFile();
    });
    fs::remove_all(out);
}

void BM_UnzipMiniunzip(benchmark::State& state) {
    const std::string out = (workDir() / "miniunzip").string();
    fs::create_directories(out);
    record(state, "miniunzip", [&] {
        runTool({"/usr/bin/miniunzip", "-o", package().string(), "-d", out});
    });
    fs::remove_all(out);
}

void BM_UnzipUnzip(benchmark::State& state) {
    const std::string out = (workDir() / "unzip").string();
    record(state, "unzip", [&] {
        runTool({"/usr/bin/unzip", "-o", "-qq", package().string(), "-d", out});
    });
    fs::remove_all(out);
}

constexpr std::size_t kDownloadBytes = 500'000'000;

testsupport::TestHTTPServer& server() {
    static testsupport::TestHTTPServer* instance = [] {
        auto* s = new testsupport::TestHTTPServer();
        static const std::string body = noise(4 * 1024 * 1024, 5);
        s->server().Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(
                kDownloadBytes, "application/octet-stream",
                [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    const std::size_t at = offset % body.size();
                    sink.write(body.data() + at, std::min(length, body.size() - at));
                    return true;
                });
        });
        return s;
    }();
    return *instance;
}

void BM_DownloadOurs(benchmark::State& state) {
    NSSetHomeDirectory(workDir().string());
    const std::string path = (workDir() / "ours.bin").string();
    auto downloader = VMDownloader::create();
    record(state, "download", [&] {
        std::atomic<bool> done{false};
        downloader->downloadWithURL(NSURL::URLWithString(server().url("/big")), path, false, {},
                                    [&](const NSErrorOpt&) { done = true; }, {});
        testsupport::waitUntil([&] { return done.load(); }, 600);
    });
    fs::remove(path);
}

void BM_DownloadCurl(benchmark::State& state) {
    const std::string path = (workDir() / "curl.bin").string();
    record(state, "curl", [&] {
        runTool({"/usr/bin/curl", "-s", "-o", path, server().url("/big")});
    });
    fs::remove(path);
}

BENCHMARK(BM_UnzipOurs)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnzipMiniunzip)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnzipUnzip)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DownloadOurs)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DownloadCurl)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    const auto ratio = [](const char* reference, const char* ours) {
        if (!seconds.count(reference) || !seconds.count(ours) || seconds[ours] <= 0) return;
        std::printf("%-10s / %-8s = %.2fx\n", reference, ours, seconds[reference] / seconds[ours]);
    };
    ratio("miniunzip", "ours");
    ratio("unzip", "ours");
    ratio("curl", "download");
    fs::remove_all(workDir());
    benchmark::Shutdown();
    return 0;
}
