// What animations cost a frame: composing a screen of forty views that animate their position
// and opacity, against the same screen whose views are moved by hand to the same places, the two
// composed in turn, one frame each (the ratio is the price of computing presentation values).
// And the time a finger move takes to pass through the eight recognisers a map view carries.

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "BenchTiming.h"
#include "Foundation/NSRunLoop.h"
#include "UIKit/UILongPressGestureRecognizer.h"
#include "UIKit/UIPanGestureRecognizer.h"
#include "UIKit/UIPinchGestureRecognizer.h"
#include "UIKit/UIRotationGestureRecognizer.h"
#include "UIKit/UITapGestureRecognizer.h"
#include "UIKit/UIViewAnimationWithBlocks.h"
#include "host/HeadlessHost.h"

namespace {

constexpr int kViews = 40;
constexpr double kFrame = 1.0 / 60.0;
constexpr double kDuration = 1000.0;

// Median frame times of the two compose cases, for the ratio printed at the end.
double gAnimatedMs = 0;
double gByHandMs = 0;

// Forty views in a screen-sized layer of their own, so that a whole side can be hidden.
struct Side {
    std::shared_ptr<UIView> layer = UIView::create(CGRectMake(0, 0, 320, 568));
    std::vector<std::shared_ptr<UIView>> views;

    explicit Side(UIWindow& window) {
        for (int i = 0; i < kViews; ++i) {
            auto v = UIView::create(CGRectMake(10, 10 + i * 13, 40, 12));
            v->setBackgroundColor(UIColor::colorWithRed(i / 40.0, 0.5, 1 - i / 40.0, 1));
            layer->addSubview(v);
            views.push_back(v);
        }
        window.addSubview(layer);
    }
    CGPoint start(int i) const { return {30, 16.0 + i * 13}; }
    CGPoint end(int i) const { return {290, 16.0 + i * 13}; }
};

void BM_ComposeAnimatedViews(benchmark::State& state) {
    Clock::useManual();
    {
        HeadlessHost host;
        std::array<Side, 2> sides{Side(*host.window()), Side(*host.window())};
        Side& animated = sides[0];
        Side& byHand = sides[1];
        host.compose();
        UIViewAnimateWithDuration(kDuration, 0, UIViewAnimationOptionCurveLinear,
                                  [&] {
                                      for (int i = 0; i < kViews; ++i) {
                                          animated.views[i]->setCenter(animated.end(i));
                                          animated.views[i]->setAlpha(0.5);
                                      }
                                  },
                                  {});
        double t = 0;
        const auto prepare = [&](std::size_t side) {
            sides[side].layer->setHidden(false);
            sides[1 - side].layer->setHidden(true);
            if (side == 0) {
                Clock::advance(kFrame);
                NSRunLoop::mainRunLoop()->runUntilIdle();
                return;
            }
            t += kFrame;
            const double f = t / kDuration;
            for (int i = 0; i < kViews; ++i) {
                const CGPoint a = byHand.start(i), b = byHand.end(i);
                byHand.views[i]->setCenter({a.x + (b.x - a.x) * f, a.y});
                byHand.views[i]->setAlpha(1 - 0.5 * f);
            }
        };
        const auto compose = [&] { benchmark::DoNotOptimize(host.compose().get()); };
        for (auto _ : state) {
            const auto ms = benchsupport::interleave<2>(300, {compose, compose}, prepare);
            gAnimatedMs = benchsupport::percentiles(ms[0]).median;
            gByHandMs = benchsupport::percentiles(ms[1]).median;
        }
        state.counters["frame_ms"] = gAnimatedMs;
        state.counters["moved_by_hand_ms"] = gByHandMs;
        for (auto& v : animated.views) v->layer()->removeAllAnimations();
        NSRunLoop::mainRunLoop()->runUntilIdle();
    }
    Clock::useReal();
}

struct Target : NSObject {
    int actions = 0;
    void act(UIGestureRecognizer&) { ++actions; }
};

// One finger moving on a view with the map's recognisers: a pan follows it, the rest fail.
void BM_FingerMoveThroughMapRecognizers(benchmark::State& state) {
    Clock::useManual();
    {
        HeadlessHost host;
        auto map = UIView::create(CGRectMake(0, 0, 320, 480));
        host.window()->addSubview(map);
        auto target = std::make_shared<Target>();
        auto twice = UITapGestureRecognizer::create(target, &Target::act);
        twice->setNumberOfTapsRequired(2);
        auto twoFingers = UITapGestureRecognizer::create(target, &Target::act);
        twoFingers->setNumberOfTouchesRequired(2);
        auto pan = UIPanGestureRecognizer::create(target, &Target::act);
        pan->setMaximumNumberOfTouches(1);
        auto pull = UIPanGestureRecognizer::create(target, &Target::act);
        pull->setMinimumNumberOfTouches(2);
        pull->setMaximumNumberOfTouches(2);
        auto single = UITapGestureRecognizer::create(target, &Target::act);
        single->requireGestureRecognizerToFail(twice);
        for (const std::shared_ptr<UIGestureRecognizer>& r :
             std::vector<std::shared_ptr<UIGestureRecognizer>>{
                 twice, twoFingers, UIPinchGestureRecognizer::create(target, &Target::act), pan,
                 pull, UIRotationGestureRecognizer::create(target, &Target::act), single,
                 UILongPressGestureRecognizer::create(target, &Target::act)})
            map->addGestureRecognizer(r);

        host.touchDown(0, {160, 240});
        double x = 160;
        for (auto _ : state) {
            Clock::advance(kFrame);
            x = x > 300 ? 20 : x + 3;
            host.touchMove(0, {x, 240});
        }
        host.touchUp(0, {x, 240});
        NSRunLoop::mainRunLoop()->runUntilIdle();
        benchmark::DoNotOptimize(target->actions);
    }
    Clock::useReal();
}

BENCHMARK(BM_ComposeAnimatedViews)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FingerMoveThroughMapRecognizers)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gAnimatedMs > 0 && gByHandMs > 0)
        std::printf("composed frame medians: animated %.3f ms, moved by hand %.3f ms, ratio %.3f\n",
                    gAnimatedMs, gByHandMs, gAnimatedMs / gByHandMs);
    return 0;
}
