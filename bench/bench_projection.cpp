// Coordinate <-> map point conversion: ours (the engine's projection at zoom 20) against PROJ's
// EPSG:4326 -> EPSG:3857 transformation scaled onto the same zoom-20 plane, in one run.

#include <benchmark/benchmark.h>
#include <proj.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "VMGeometry.h"

namespace {

constexpr double kWorld = 268435456.0;               // map points per side at zoom 20
constexpr double kHalfEquator = 20037508.342789244;  // pi * 6378137, in metres
constexpr double kMetresToMapPoints = kWorld / (2 * kHalfEquator);

struct ProjContext {
    PJ_CONTEXT* context = proj_context_create();
    PJ* transform = nullptr;
    ProjContext() {
        PJ* raw = proj_create_crs_to_crs(context, "EPSG:4326", "EPSG:3857", nullptr);
        // Longitude first, as our coordinates are handed over.
        transform = proj_normalize_for_visualization(context, raw);
        proj_destroy(raw);
    }
    ~ProjContext() {
        proj_destroy(transform);
        proj_context_destroy(context);
    }
};

ProjContext& proj() {
    static ProjContext instance;
    return instance;
}

const std::vector<CLLocationCoordinate2D>& coordinates() {
    static const std::vector<CLLocationCoordinate2D> all = [] {
        std::vector<CLLocationCoordinate2D> out(4096);
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> lat(-85, 85);
        std::uniform_real_distribution<double> lon(-180, 180);
        for (auto& c : out) c = {lat(rng), lon(rng)};
        return out;
    }();
    return all;
}

const std::vector<VMMapPoint>& mapPoints() {
    static const std::vector<VMMapPoint> all = [] {
        std::vector<VMMapPoint> out;
        for (const auto& c : coordinates()) out.push_back(mapPointForCoordinate(c));
        return out;
    }();
    return all;
}

VMMapPoint projMapPoint(CLLocationCoordinate2D c) {
    const PJ_COORD out =
        proj_trans(proj().transform, PJ_FWD, proj_coord(c.longitude, c.latitude, 0, 0));
    return {std::floor((out.xy.x + kHalfEquator) * kMetresToMapPoints + 0.5),
            std::floor((kHalfEquator - out.xy.y) * kMetresToMapPoints + 0.5)};
}

CLLocationCoordinate2D projCoordinate(VMMapPoint p) {
    const PJ_COORD in = proj_coord(p.x / kMetresToMapPoints - kHalfEquator,
                                   kHalfEquator - p.y / kMetresToMapPoints, 0, 0);
    const PJ_COORD out = proj_trans(proj().transform, PJ_INV, in);
    return {out.lp.phi, out.lp.lam};
}

void BM_Ours_CoordinateToMapPoint(benchmark::State& state) {
    const auto& in = coordinates();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(mapPointForCoordinate(in[i++ & 4095]));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_PROJ_CoordinateToMapPoint(benchmark::State& state) {
    const auto& in = coordinates();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(projMapPoint(in[i++ & 4095]));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Ours_MapPointToCoordinate(benchmark::State& state) {
    const auto& in = mapPoints();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(coordinateForMapPoint(in[i++ & 4095]));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_PROJ_MapPointToCoordinate(benchmark::State& state) {
    const auto& in = mapPoints();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(projCoordinate(in[i++ & 4095]));
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_Ours_CoordinateToMapPoint);
BENCHMARK(BM_PROJ_CoordinateToMapPoint);
BENCHMARK(BM_Ours_MapPointToCoordinate);
BENCHMARK(BM_PROJ_MapPointToCoordinate);

// Keeps each run's rate so the two implementations can be compared after the console report.
class RateReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // With repetitions the median stands for the benchmark; it is reported last.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            const auto it = run.counters.find("items_per_second");
            if (it != run.counters.end()) rates[run.run_name.str()] = it->second.value;
        }
    }
    std::map<std::string, double> rates;
};

// Largest disagreement, in map points, between the two forward conversions, and the largest
// disagreement of the inverse conversions expressed in map points at the point's own scale.
bool printAgreement() {
    double forward = 0;
    double inverse = 0;
    for (std::size_t i = 0; i < coordinates().size(); ++i) {
        const VMMapPoint a = mapPointForCoordinate(coordinates()[i]);
        const VMMapPoint b = projMapPoint(coordinates()[i]);
        forward = std::max({forward, std::fabs(a.x - b.x), std::fabs(a.y - b.y)});

        const CLLocationCoordinate2D c = coordinateForMapPoint(mapPoints()[i]);
        const CLLocationCoordinate2D d = projCoordinate(mapPoints()[i]);
        const VMMapPoint back = {(c.longitude - d.longitude) / 360 * kWorld,
                                 (c.latitude - d.latitude) / 360 * kWorld /
                                     std::cos(c.latitude * 3.141592653589793 / 180)};
        inverse = std::max({inverse, std::fabs(back.x), std::fabs(back.y)});
    }
    std::fprintf(stderr,
                 "agreement over %zu points: forward max |ours - PROJ| = %.3f map points, "
                 "inverse max = %.6f map points\n",
                 coordinates().size(), forward, inverse);
    // Timings of conversions that disagree would compare unequal work.
    return forward < 1e-3 && inverse < 1e-3;
}

void printRatio(const RateReporter& reporter, const std::string& what) {
    const auto ours = reporter.rates.find("BM_Ours_" + what);
    const auto theirs = reporter.rates.find("BM_PROJ_" + what);
    if (ours == reporter.rates.end() || theirs == reporter.rates.end()) return;
    std::printf("%-22s ours %8.2f M/s   PROJ %8.2f M/s   ratio %.1fx\n", what.c_str(),
                ours->second / 1e6, theirs->second / 1e6, ours->second / theirs->second);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (proj().transform == nullptr) {
        std::fprintf(stderr, "PROJ could not build EPSG:4326 -> EPSG:3857\n");
        return 1;
    }
    if (!printAgreement()) return 1;
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatio(reporter, "CoordinateToMapPoint");
    printRatio(reporter, "MapPointToCoordinate");
    benchmark::Shutdown();
    return 0;
}
