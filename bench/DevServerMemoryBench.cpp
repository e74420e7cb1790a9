// The devserver's memory under a long run of mixed requests, as the app and the map kit make
// them: sign-ins, lists, details, a quotation, messages read, tiles, map data and traffic,
// pushes, and a waiting poll per engineer. The server runs as its own process on a fresh data
// file; its resident size is sampled every second. The run is cut into 30 windows, each with its
// floor (what stays) and peak (requests in flight on top); after the warm-up (the first five
// windows) the floors should be flat. Measures: the last floor (ours_mb) and the floors' slope
// after the warm-up, by least squares (growth_mb_per_hour). The program runs its one sample
// itself, so bench/run-all runs it once.
//
//   DevServerMemoryBench [--duration=SECONDS] [--rate=REQUESTS_PER_SECOND] [benchmark flags]
//
// 30 minutes and 200 requests a second by default, 30 s with BRISFOLD_BENCH_QUICK. Each window
// is printed to standard error as it ends.

#include <benchmark/benchmark.h>
#include <httplib.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "SeedData.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Run {
    std::chrono::seconds duration{std::getenv("BRISFOLD_BENCH_QUICK") ? 30 : 1800};
    double rate = 200;
};
Run gRun;

constexpr int kClients = 4;
constexpr std::chrono::seconds kSampleEvery{1};
// The run's parts, each reported with its floor and peak; the first sixth are the warm-up.
constexpr int kWindows = 30;

double residentMegabytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) return std::strtod(line.c_str() + 6, nullptr) / 1024;
    }
    return 0;
}

// What a client knows of one signed-in engineer.
struct Engineer {
    std::string id;
    std::string cookie;
    std::vector<std::string> inquiries;
    std::vector<std::string> orders;
    std::vector<std::string> messages;
};

class Client {
  public:
    Client(int port, unsigned seed) : http_("127.0.0.1", port), random_(seed) {
        http_.set_connection_timeout(10);
        http_.set_read_timeout(40);
        // The kit sends its mesh lists' ";" as they are.
        http_.set_url_encode(false);
    }

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    template <class T>
    const T& anyOf(const std::vector<T>& items) {
        return items[static_cast<std::size_t>(below(static_cast<int>(items.size())))];
    }

    httplib::Result api(const std::string& path, const std::string& body,
                        const std::string& cookie) {
        httplib::Headers headers;
        if (!cookie.empty()) headers.emplace("Cookie", cookie);
        return http_.Post(("/api/" + path).c_str(), headers, body,
                          "application/x-www-form-urlencoded");
    }
    httplib::Result get(const std::string& target, httplib::Headers headers = {}) {
        return http_.Get(target.c_str(), headers);
    }
    httplib::Result push(const Engineer& engineer, const std::string& alert) {
        return http_.Post("/push/send", {{"Cookie", engineer.cookie}}, "alert=" + alert,
                          "application/x-www-form-urlencoded");
    }

    // Signs in, and learns the engineer's inquiries, orders and messages.
    bool signIn(const devserver::SeedEngineer& seed, Engineer& engineer) {
        const auto login = api(
            "Engineer/Login",
            "UserName=" + std::string(seed.userName) + "&PassWord=" + std::string(seed.password),
            "");
        if (!login || login->status != 200) return false;
        const std::string cookie = login->get_header_value("Set-Cookie");
        engineer.cookie = cookie.substr(0, cookie.find(';'));
        engineer.id = nlohmann::json::parse(login->body).value("UserID", "");
        engineer.inquiries =
            column("AskPrice/AskPriceList", "brisfoldID=" + engineer.id + "&IsOffer=0&rows=100",
                   engineer.cookie, "AskPriceID");
        engineer.orders = column("Order/OrderList", "brisfoldID=" + engineer.id + "&rows=100",
                                 engineer.cookie, "OrderID");
        engineer.messages =
            column("NewsCenter/Index", "UserOrEngineerID=" + engineer.id + "&rows=100",
                   engineer.cookie, "NewsID");
        return !engineer.id.empty() && !engineer.inquiries.empty() && !engineer.orders.empty() &&
               !engineer.messages.empty();
    }

  private:
    std::vector<std::string> column(const std::string& path, const std::string& body,
                                    const std::string& cookie, const std::string& key) {
        std::vector<std::string> values;
        const auto result = api(path, body, cookie);
        if (!result || result->status != 200) return values;
        const auto reply = nlohmann::json::parse(result->body);
        for (const auto& row : reply["List"]) values.push_back(row.value(key, ""));
        return values;
    }

    httplib::Client http_;
    std::mt19937 random_;
};

std::string quadKey(Client& client) {
    std::string key;
    const int digits = 1 + client.below(20);
    for (int i = 0; i < digits; ++i) key += static_cast<char>('0' + client.below(4));
    return key;
}

std::string meshes(Client& client, std::string_view tag = {}) {
    std::string mesh;
    const int count = 1 + client.below(8);
    for (int i = 0; i < count; ++i) {
        if (i > 0) mesh += ";";
        mesh += quadKey(client);
        if (!tag.empty()) mesh += "-" + std::string(tag);
    }
    return mesh;
}

httplib::Result mapData(Client& client) {
    static const int kTypes[] = {20, 11, 1, 13, 40};
    const httplib::Headers kit = {{"User-Agent", "VAVA_SDK_iOS_3DMap_3.1.0"},
                                  {"logversion", "2.0"}};
    switch (client.below(3)) {
        case 0:
            return client.get(
                "/ws/mps/vmap?mapdataver=5&type=" + std::to_string(kTypes[client.below(5)]) +
                    "&cp=1&mesh=" + meshes(client),
                kit);
        case 1:
            return client.get("/ws/mps/smap?mapdataver=5&cp=1&mesh=" + meshes(client), kit);
        default:
            return client.get("/ws/mps/rtt?mapdataver=5&v=6.0.0&bver=2&mesh=" +
                                  meshes(client, "t" + std::to_string(client.below(50))),
                              kit);
    }
}

httplib::Result tile(Client& client) {
    const int z = client.below(19);
    const int side = 1 << z;
    // Mostly the scales of phones' screens; a scale-4 tile is a 4 MiB bitmap while drawn.
    static const int kScales[] = {1, 2, 2, 3, 3, 3, 4};
    return client.get("/tiles/" + std::to_string(z) + "/" + std::to_string(client.below(side)) +
                      "/" + std::to_string(client.below(side)) +
                      ".png?scale=" + std::to_string(kScales[client.below(7)]));
}

httplib::Result list(Client& client, const Engineer& e) {
    const std::string page = "&rows=10&pageindex=" + std::to_string(1 + client.below(8));
    switch (client.below(6)) {
        case 0:
            return client.api("AskPrice/AskPriceList",
                              "brisfoldID=" + e.id + "&IsOffer=" + std::to_string(client.below(3)) +
                                  page + "&lastDateTime=",
                              e.cookie);
        case 1:
            return client.api("Order/OrderList",
                              "brisfoldID=" + e.id + page +
                                  "&OrderStateID=" + std::to_string(18 + client.below(5)),
                              e.cookie);
        case 2:
            return client.api("NewsCenter/Index", "UserOrEngineerID=" + e.id + page, e.cookie);
        case 3:
            return client.api("AskPrice/GetDeviceList",
                              "askpriceID=" + client.anyOf(e.inquiries) + "&rows=10&pageindex=1",
                              e.cookie);
        case 4: {
            static const std::vector<std::string> kIndexes = {"SSHY", "SBCS", "SBLX"};
            return client.api("AskPrice/GetDictionary", "Index=" + client.anyOf(kIndexes),
                              e.cookie);
        }
        default:
            return client.api("NewsCenter/GetNotice", "", e.cookie);
    }
}

httplib::Result detailOrChange(Client& client, const Engineer& e) {
    switch (client.below(5)) {
        case 0:
            return client.api("AskPrice/AskPriceDetail",
                              "engineerID=" + e.id + "&askpriceID=" + client.anyOf(e.inquiries),
                              e.cookie);
        case 1:
            return client.api("Order/OrderDetail",
                              "brisfoldID=" + e.id + "&OrderID=" + client.anyOf(e.orders),
                              e.cookie);
        case 2:
            return client.api("NewsCenter/NewsIsRead", "newsID=" + client.anyOf(e.messages),
                              e.cookie);
        case 3:
            return client.api("AskPrice/EngineerPrice",
                              "brisfoldID=" + e.id + "&askpriceID=" + client.anyOf(e.inquiries) +
                                  "&price=" + std::to_string(1000 + client.below(9000)),
                              e.cookie);
        default:
            return client.push(e, "memory%20" + std::to_string(client.below(1000000)));
    }
}

httplib::Result oneOfTheMix(Client& client, const Engineer& e) {
    const int pick = client.below(100);
    if (pick < 30) return list(client, e);
    if (pick < 50) return detailOrChange(client, e);
    if (pick < 70) return tile(client);
    if (pick < 95) return mapData(client);
    return client.get("/push/poll?wait=0&after=" + std::to_string(client.below(1000)),
                      {{"Cookie", e.cookie}});
}

// True when answered 200. Sign-ins are rare, as their hashing takes a core for a quarter second.
bool anyRequest(Client& client, std::vector<Engineer>& engineers) {
    const auto which = static_cast<std::size_t>(client.below(static_cast<int>(engineers.size())));
    if (client.below(1000) == 0) {
        Engineer again;
        if (!client.signIn(devserver::kSeedEngineers[which], again)) return false;
        engineers[which] = std::move(again);
        return true;
    }
    const auto result = oneOfTheMix(client, engineers[which]);
    return result && result->status == 200;
}

struct Counts {
    std::atomic<long> answered{0};
    std::atomic<long> failed{0};
    std::atomic<bool> signInFailed{false};
    std::atomic<bool> stop{false};
};

void requestLoop(int port, unsigned seed, Counts& counts) {
    Client client(port, seed);
    std::vector<Engineer> engineers(devserver::kSeedEngineers.size());
    for (std::size_t i = 0; i < engineers.size(); ++i) {
        if (!client.signIn(devserver::kSeedEngineers[i], engineers[i])) {
            counts.signInFailed = true;
            return;
        }
    }
    const auto interval = std::chrono::duration<double>(kClients / gRun.rate);
    auto next = Clock::now();
    while (!counts.stop) {
        (anyRequest(client, engineers) ? counts.answered : counts.failed)++;
        next += std::chrono::duration_cast<Clock::duration>(interval);
        std::this_thread::sleep_until(next);
    }
}

// As the app does: a poll waits for each engineer, and is answered by the pushes of the mix.
void pollLoop(int port, const devserver::SeedEngineer& seed, Counts& counts) {
    Client client(port, seed.userName.size());
    Engineer engineer;
    if (!client.signIn(seed, engineer)) {
        counts.signInFailed = true;
        return;
    }
    std::string last = "0";
    while (!counts.stop) {
        const auto result =
            client.get("/push/poll?wait=5&after=" + last, {{"Cookie", engineer.cookie}});
        if (!result || result->status != 200) {
            ++counts.failed;
            continue;
        }
        ++counts.answered;
        last = std::to_string(nlohmann::json::parse(result->body)["last"].get<std::uint64_t>());
    }
}

// The resident size over one window of the run: what stays (its floor) and, above it, what
// requests in flight take for a moment (a scale-4 tile's bitmap is 4 MiB while it is drawn).
struct Window {
    double endSeconds = 0;
    double floorMB = 1e12;
    double peakMB = 0;
};

Window watch(pid_t pid, Clock::time_point start, Clock::time_point end) {
    Window window;
    for (auto at = Clock::now(); at < end; at += kSampleEvery) {
        std::this_thread::sleep_until(at);
        const double mb = residentMegabytes(pid);
        window.floorMB = std::min(window.floorMB, mb);
        window.peakMB = std::max(window.peakMB, mb);
    }
    window.endSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    return window;
}

// Least squares: MB per hour of the windows' floors from `from` on.
double floorSlopePerHour(const std::vector<Window>& windows, std::size_t from) {
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = from; i < windows.size(); ++i) {
        const double x = windows[i].endSeconds, y = windows[i].floorMB;
        n += 1;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double denominator = n * sxx - sx * sx;
    return denominator > 0 ? (n * sxy - sx * sy) / denominator * 3600 : 0;
}

fs::path newHome() {
    std::string pattern = (fs::temp_directory_path() / "devserver-memory-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
}

void BM_DevServerMemoryUnderMixedRequests(benchmark::State& state) {
    const fs::path home = newHome();
    testsupport::ChildProcess server({"/bin/sh", "-c",
                                      "exec " BRISFOLD_DEVSERVER_EXE " --data " +
                                          (home / "devserver.sqlite").string() + " 2>/dev/null"});
    const auto portLine = server.readLine(30);
    if (!portLine) {
        state.SkipWithError("the devserver did not start");
        return;
    }
    const int port = std::stoi(*portLine);
    const double idleMB = residentMegabytes(server.pid());
    for (auto _ : state) {
        Counts counts;
        std::vector<std::thread> threads;
        for (int i = 0; i < kClients; ++i)
            threads.emplace_back(requestLoop, port, 7919u * (i + 1), std::ref(counts));
        for (const auto& seed : devserver::kSeedEngineers)
            threads.emplace_back(pollLoop, port, std::cref(seed), std::ref(counts));
        std::vector<Window> windows;
        const auto start = Clock::now();
        const auto each = std::chrono::milliseconds(gRun.duration) / kWindows;
        std::fprintf(stderr, "idle: %.2f MB\n", idleMB);
        for (int i = 1; i <= kWindows; ++i) {
            windows.push_back(watch(server.pid(), start, start + i * each));
            std::fprintf(stderr,
                         "%6.0f s  floor %6.2f MB  peak %6.2f MB  %9ld requests  %ld failed\n",
                         windows.back().endSeconds, windows.back().floorMB, windows.back().peakMB,
                         counts.answered.load(), counts.failed.load());
        }
        counts.stop = true;
        for (auto& thread : threads) thread.join();
        const std::size_t warm = windows.size() / 6;
        double peak = 0;
        for (const auto& window : windows) peak = std::max(peak, window.peakMB);
        state.counters["ours_mb"] = windows.back().floorMB;
        state.counters["idle_mb"] = idleMB;
        state.counters["after_warmup_mb"] = windows[warm - 1].floorMB;
        state.counters["peak_mb"] = peak;
        state.counters["growth_mb_per_hour"] = floorSlopePerHour(windows, warm);
        state.counters["requests"] = static_cast<double>(counts.answered);
        state.counters["samples"] = static_cast<double>(windows.size());
        if (counts.signInFailed) state.SkipWithError("a client could not sign in");
        // Refusals and errors would measure another server.
        if (counts.failed * 1000 > counts.answered)
            state.SkipWithError(("failed requests: " + std::to_string(counts.failed)).c_str());
    }
    server.stop();
    fs::remove_all(home);
}
BENCHMARK(BM_DevServerMemoryUnderMixedRequests)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

// Takes this program's own flags out of argv before the benchmark library reads the rest.
bool takeOwnFlags(int& argc, char** argv) {
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        char* end = nullptr;
        if (arg.starts_with("--duration=")) {
            const long seconds = std::strtol(argv[i] + 11, &end, 10);
            if (*end != '\0' || seconds < kWindows) return false;
            gRun.duration = std::chrono::seconds(seconds);
        } else if (arg.starts_with("--rate=")) {
            gRun.rate = std::strtod(argv[i] + 7, &end);
            if (*end != '\0' || !(gRun.rate >= 1 && gRun.rate <= 10000)) return false;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!takeOwnFlags(argc, argv)) {
        std::fprintf(stderr,
                     "usage: %s [--duration=SECONDS (30 or more)] [--rate=REQUESTS_PER_SECOND] "
                     "[benchmark flags]\n",
                     argv[0]);
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
