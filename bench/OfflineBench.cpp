// Offline packages as users wait for them: unpacking a 200 MB package (thousands of small
// entries, a few large) into tmpfs beside the system's miniunzip, and downloading 500 MB over
// loopback beside curl. Three samples each in a process, interleaved with the reference, medians
// reported; bench/run-all runs five processes, so that the spread between them shows. The files
// made are compared byte for byte with miniunzip's, unzip's and curl's.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Deadline.h"
#include "Files.h"
#include "Foundation/NSPathUtilities.h"
#include "TestHTTPServer.h"
#include "VMDownloader.h"
#include "VMZipArchive.h"

namespace {

namespace fs = std::filesystem;

bool quickRun() { return std::getenv("BRISFOLD_BENCH_QUICK") != nullptr; }
constexpr int kSamples = 3;

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
        const int smallCount = quickRun() ? 40 : 4000;
        const std::size_t largeSize = quickRun() ? 400'000 : 40'000'000;
        for (int i = 0; i < smallCount; ++i) {
            const fs::path file = source / "small";
            std::ofstream(file, std::ios::binary | std::ios::trunc) << noise(20000, i);
            zip->addFileToZip(file.string(), "vmap/grid/" + std::to_string(i) + ".dat");
        }
        for (int i = 0; i < 3; ++i) {
            const fs::path file = source / "large";
            std::ofstream(file, std::ios::binary | std::ios::trunc) << noise(largeSize, 9000 + i);
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

// Empty when both trees hold the same files with the same bytes.
std::string treeDifference(const fs::path& a, const fs::path& b) {
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(a)) {
        if (!entry.is_regular_file()) continue;
        ++files;
        const fs::path other = b / fs::relative(entry.path(), a);
        if (testsupport::readFile(entry.path()) != testsupport::readFile(other))
            return fs::relative(entry.path(), a).string() + " differs from " + b.string();
    }
    std::size_t otherFiles = 0;
    for (const auto& entry : fs::recursive_directory_iterator(b))
        otherFiles += entry.is_regular_file();
    if (files != otherFiles || files == 0) return "the trees hold different files";
    return {};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Samples of ours and the reference, the order swapped each time so load falls on both alike.
void interleave(benchmark::State& state, const std::function<void()>& ours,
                const std::function<void()>& reference) {
    std::vector<double> oursSeconds, referenceSeconds;
    for (auto _ : state) {
        for (int i = 0; i < kSamples; ++i) {
            if (i % 2) referenceSeconds.push_back(timeOnce(reference));
            oursSeconds.push_back(timeOnce(ours));
            if (i % 2 == 0) referenceSeconds.push_back(timeOnce(reference));
        }
        state.SetIterationTime(median(oursSeconds));
    }
    state.counters["ours_ms"] = median(oursSeconds) * 1000;
    state.counters["anchor_ms"] = median(referenceSeconds) * 1000;
}

void BM_Unzip(benchmark::State& state) {
    const fs::path ours = workDir() / "ours", mini = workDir() / "miniunzip",
                   info = workDir() / "unzip";
    package();
    fs::create_directories(mini);
    interleave(
        state,
        [&] {
            auto zip = VMZipArchive::create();
            zip->UnzipOpenFile(package().string());
            zip->UnzipFileTo(ours.string(), true);
            zip->UnzipCloseFile();
        },
        [&] {
            runTool({"/usr/bin/miniunzip", "-o", package().string(), "-d", mini.string()});
        });
    runTool({"/usr/bin/unzip", "-o", "-qq", package().string(), "-d", info.string()});
    for (const auto& reference : {mini, info}) {
        const std::string fault = treeDifference(ours, reference);
        if (!fault.empty()) {
            state.SkipWithError(fault.c_str());
            break;
        }
    }
    for (const auto& dir : {ours, mini, info}) fs::remove_all(dir);
}

std::size_t downloadBytes() { return quickRun() ? 5'000'000 : 500'000'000; }

testsupport::TestHTTPServer& server() {
    static testsupport::TestHTTPServer* instance = [] {
        auto* s = new testsupport::TestHTTPServer();
        static const std::string body = noise(4 * 1024 * 1024, 5);
        s->server().Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(
                downloadBytes(), "application/octet-stream",
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

void BM_Download(benchmark::State& state) {
    NSSetHomeDirectory(workDir().string());
    const fs::path ours = workDir() / "ours.bin", curl = workDir() / "curl.bin";
    auto downloader = VMDownloader::create();
    bool failed = false;
    interleave(
        state,
        [&] {
            std::atomic<bool> done{false};
            // Held until done: dropping the handle cancels the transfer.
            const auto operation = downloader->downloadWithURL(
                NSURL::URLWithString(server().url("/big")), ours.string(), false, {},
                [&](const NSErrorOpt& error) {
                    failed = failed || error.has_value();
                    done = true;
                },
                {});
            testsupport::waitUntil([&] { return done.load(); }, 600);
        },
        [&] {
            runTool({"/usr/bin/curl", "-s", "-o", curl.string(), server().url("/big")});
        });
    const std::string a = testsupport::readFile(ours), b = testsupport::readFile(curl);
    if (failed || a.size() != downloadBytes() || a != b)
        state.SkipWithError(("the download differs from curl's: " + std::to_string(a.size()) +
                             " / " + std::to_string(b.size()) + (failed ? " failed" : ""))
                                .c_str());
    fs::remove(ours);
    fs::remove(curl);
}

BENCHMARK(BM_Unzip)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Download)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    fs::remove_all(workDir());
    benchmark::Shutdown();
    return 0;
}
