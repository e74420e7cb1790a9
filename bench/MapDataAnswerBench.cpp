// Map data answer parsing: a 1 MiB answer of 169 records split into a copying sink, beside a
// plain memcpy of the same bytes in the same run; then the same answer into a live least engine,
// and a traffic answer into the traffic cache and the engine.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "MapDataAnswer.h"
#include "VAvaCoreDataProvider.h"
#include "vmap_core/MapEngineInternal.h"

namespace {

constexpr std::size_t kAnswerSize = std::size_t{1} << 20;
constexpr int kRecords = 169;

void int32(std::vector<std::uint8_t>& out, std::int32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
}

// Level-4 quadkeys "0000".."2220", each record's data filling the answer to 1 MiB.
std::vector<std::uint8_t> makeAnswer(bool traffic) {
    std::vector<std::uint8_t> answer;
    int32(answer, 0);
    int32(answer, 0);
    const std::size_t perRecord = (kAnswerSize - 8) / kRecords;
    for (int r = 0; r < kRecords; ++r) {
        std::string name;
        for (int shift = 6; shift >= 0; shift -= 2)
            name += static_cast<char>('0' + (r >> shift & 3));
        std::vector<std::uint8_t> body(4, 0);
        body.push_back(static_cast<std::uint8_t>(name.size()));
        body.insert(body.end(), name.begin(), name.end());
        if (traffic) {
            body.push_back(2);
            body.push_back('t');
            body.push_back('1');
            int32(body, 100);
        }
        body.resize(perRecord - 8, static_cast<std::uint8_t>(r));
        int32(answer, static_cast<std::int32_t>(body.size()));
        int32(answer, 0);
        answer.insert(answer.end(), body.begin(), body.end());
    }
    answer.resize(kAnswerSize, 0);
    return answer;
}

const std::vector<std::uint8_t>& answer() {
    static const auto bytes = makeAnswer(false);
    return bytes;
}

struct Engine {
    Engine() {
        EngineCreationRecord record{};
        std::strcpy(record.dataDirectory, "/tmp/zaroruda/data/");
        std::strcpy(record.fontName, "Sans Bold");
        engine = mapEngineCreate(&record);
        mapEngineInit(engine);
        provider->setMapEngine(engine);
    }
    ~Engine() {
        provider->setMapEngine(nullptr);
        mapEngineDestroy(engine);
    }
    MapEngine* engine = nullptr;
    std::shared_ptr<VAvaCoreDataProvider> provider = VAvaCoreDataProvider::create();
};

void BM_SplitIntoCopyingSink(benchmark::State& state) {
    const auto& bytes = answer();
    std::vector<std::uint8_t> out(bytes.size());
    for (auto _ : state) {
        std::size_t at = 0;
        splitMapDataAnswer(bytes, [&](MapDataBody body) {
            std::memcpy(out.data() + at, body.data(), body.size());
            at += body.size();
        });
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void BM_Memcpy(benchmark::State& state) {
    const auto& bytes = answer();
    std::vector<std::uint8_t> out(bytes.size());
    for (auto _ : state) {
        std::memcpy(out.data(), bytes.data(), bytes.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

// Until the engine's store has taken every grid.
void BM_AnswerIntoEngine(benchmark::State& state) {
    Engine engine;
    const auto& bytes = answer();
    for (auto _ : state) {
        engine.provider->processRecivedData(bytes, 0);
        mapEngineWaitForStores(engine.engine,
                               std::chrono::steady_clock::now() + std::chrono::seconds(30));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

// Every round after the first confirms the held tag: a fresh copy of each payload, re-stamped.
void BM_TrafficAnswerIntoCache(benchmark::State& state) {
    Engine engine;
    const auto bytes = makeAnswer(true);
    for (auto _ : state) {
        engine.provider->processRecivedData(bytes, 4);
        mapEngineWaitForStores(engine.engine,
                               std::chrono::steady_clock::now() + std::chrono::seconds(30));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK(BM_SplitIntoCopyingSink);
BENCHMARK(BM_Memcpy);
BENCHMARK(BM_AnswerIntoEngine)->UseRealTime();
BENCHMARK(BM_TrafficAnswerIntoCache)->UseRealTime();

class RateReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            const auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end()) rates[run.run_name.str()] = it->second.value;
        }
    }
    std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto split = reporter.rates.find("BM_SplitIntoCopyingSink");
    const auto copy = reporter.rates.find("BM_Memcpy");
    if (split != reporter.rates.end() && copy != reporter.rates.end()) {
        std::printf("split %.2f GB/s   memcpy %.2f GB/s   ratio %.2fx (target >= 0.5x)\n",
                    split->second / 1e9, copy->second / 1e9, split->second / copy->second);
    }
    benchmark::Shutdown();
    return 0;
}
