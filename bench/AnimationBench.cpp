// What animations cost a frame: composing a screen of forty views that animate their position
// and opacity, against the same screen whose views are moved by hand to the same places (the
// ratio is the price of computing presentation values). And the time a finger move takes to
// pass through the eight recognisers a map view carries.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

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

// Mean frame times of the two compose cases, for the ratio printed at the end.
double gAnimatedMs = 0;
double gByHandMs = 0;

struct Screen {
    HeadlessHost host;
    std::vector<std::shared_ptr<UIView>> views;

    Screen() {
        for (int i = 0; i < kViews; ++i) {
            auto v = UIView::create(CGRectMake(10, 10 + i * 13, 40, 12));
            v->setBackgroundColor(UIColor::colorWithRed(i / 40.0, 0.5, 1 - i / 40.0, 1));
            host.window()->addSubview(v);
            views.push_back(v);
        }
        host.compose();
    }
    CGPoint start(int i) const { return {30, 16.0 + i * 13}; }
    CGPoint end(int i) const { return {290, 16.0 + i * 13}; }
};

double frameMs(Screen& screen) {
    const auto t0 = std::chrono::steady_clock::now();
    auto image = screen.host.compose();
    benchmark::DoNotOptimize(image.get());
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void BM_ComposeAnimatedViews(benchmark::State& state) {
    Clock::useManual();
    {
        Screen screen;
        UIViewAnimateWithDuration(kDuration, 0, UIViewAnimationOptionCurveLinear,
                                  [&] {
                                      for (int i = 0; i < kViews; ++i) {
                                          screen.views[i]->setCenter(screen.end(i));
                                          screen.views[i]->setAlpha(0.5);
                                      }
                                  },
                                  {});
        double total = 0;
        for (auto _ : state) {
            Clock::advance(kFrame);
            NSRunLoop::mainRunLoop()->runUntilIdle();
            total += frameMs(screen);
        }
        gAnimatedMs = total / static_cast<double>(state.iterations());
        state.counters["frame_ms"] = gAnimatedMs;
        for (auto& v : screen.views) v->layer()->removeAllAnimations();
        NSRunLoop::mainRunLoop()->runUntilIdle();
    }
    Clock::useReal();
}

void BM_ComposeViewsMovedByHand(benchmark::State& state) {
    Clock::useManual();
    {
        Screen screen;
        double t = 0;
        double total = 0;
        for (auto _ : state) {
            t += kFrame;
            const double f = t / kDuration;
            for (int i = 0; i < kViews; ++i) {
                const CGPoint a = screen.start(i), b = screen.end(i);
                screen.views[i]->setCenter({a.x + (b.x - a.x) * f, a.y});
                screen.views[i]->setAlpha(1 - 0.5 * f);
            }
            total += frameMs(screen);
        }
        gByHandMs = total / static_cast<double>(state.iterations());
        state.counters["frame_ms"] = gByHandMs;
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

BENCHMARK(BM_ComposeAnimatedViews)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeViewsMovedByHand)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FingerMoveThroughMapRecognizers)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gAnimatedMs > 0 && gByHandMs > 0)
        std::printf("animated / moved by hand frame time: %.3f\n", gAnimatedMs / gByHandMs);
    return 0;
}
