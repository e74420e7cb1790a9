// Time to compose a full 640x1136 screen of twelve rows of text and pictures, the frame that
// a scrolling list shows. Layers keep what they drew, so an unchanged frame only blends;
// the second case moves every row (as scrolling does) and the third redraws one label a frame.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "host/HeadlessHost.h"

namespace {

struct Screen {
    HeadlessHost host;
    std::shared_ptr<UIView> list;
    std::vector<std::shared_ptr<UILabel>> titles;
    std::vector<std::shared_ptr<UILabel>> labels;

    Screen() {
        list = UIView::create(CGRectMake(0, 64, 320, 12 * 42));
        list->setBackgroundColor(UIColor::colorWithWhite(0.94, 1));
        host.window()->addSubview(list);
        auto icon = UIImage::imageNamed("ic_service_location");
        auto badge = UIImage::imageNamed("待实施按钮.png");
        for (int i = 0; i < 12; ++i) {
            auto row = UIView::create(CGRectMake(0, i * 42, 320, 41.5));
            row->setBackgroundColor(UIColor::whiteColor());
            auto image = UIImageView::createWithImage(icon);
            image->setCenter(CGPointMake(20, 21));
            row->addSubview(image);
            auto title = UILabel::create(CGRectMake(36, 3, 190, 20));
            title->setText("上海宏远机电有限公司 第" + std::to_string(i + 1) + "号询价");
            title->setFont(UIFont::boldSystemFontOfSize(15));
            row->addSubview(title);
            auto detail = UILabel::create(CGRectMake(36, 22, 190, 16));
            detail->setText("离心式冷水机组 维保服务 剩余3天");
            detail->setFont(UIFont::systemFontOfSize(12));
            detail->setTextColor(UIColor::grayColor());
            row->addSubview(detail);
            auto button = UIImageView::create(CGRectMake(240, 8, 70, 26));
            button->setImage(badge);
            row->addSubview(button);
            list->addSubview(row);
            titles.push_back(title);
            labels.push_back(title);
            labels.push_back(detail);
        }
        host.compose();
    }
};

void record(benchmark::State& state, const std::vector<double>& ms) {
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted.empty() ? 0 : sorted[sorted.size() / 2];
    state.counters["median_ms"] = median;
}

template <class Change>
void composeLoop(benchmark::State& state, Change change) {
    Screen screen;
    std::vector<double> ms;
    int frame = 0;
    for (auto _ : state) {
        change(screen, frame++);
        const auto start = std::chrono::steady_clock::now();
        auto image = screen.host.compose();
        benchmark::DoNotOptimize(image.get());
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    record(state, ms);
}

void BM_ComposeUnchanged(benchmark::State& state) {
    composeLoop(state, [](Screen&, int) {});
}

void BM_ComposeScrolled(benchmark::State& state) {
    composeLoop(state, [](Screen& s, int frame) {
        s.list->setCenter(CGPointMake(160, 64 + 252 - (frame % 40)));
    });
}

void BM_ComposeOneLabelChanged(benchmark::State& state) {
    composeLoop(state, [](Screen& s, int frame) {
        s.titles[static_cast<size_t>(frame % 12)]->setText("第" + std::to_string(frame) + "帧");
    });
}

// What the cache saves: every label lays out and draws its text again each frame.
void BM_ComposeAllTextRedrawn(benchmark::State& state) {
    composeLoop(state, [](Screen& s, int) {
        for (auto& l : s.labels) l->setNeedsDisplay();
    });
}

BENCHMARK(BM_ComposeUnchanged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeScrolled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeOneLabelChanged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeAllTextRedrawn)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
