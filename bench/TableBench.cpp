// A list screen as users feel it: a table of a thousand rows showing twelve cells of text and
// pictures on the 640x1136 screen. Each frame reloads the table (the cells come back from the
// reuse pool and are filled again) and composes the screen; the last case scrolls instead.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "UIKit/UIImageView.h"
#include "UIKit/UITableView.h"
#include "host/HeadlessHost.h"

namespace {

class Inquiries : public UITableViewDataSource, public UITableViewDelegate {
  public:
    int generation = 0;
    UIImageRef icon = UIImage::imageNamed("ic_service_location");
    UIImageRef badge = UIImage::imageNamed("待实施按钮.png");

    int tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, int) override {
        return 1000;
    }
    std::optional<CGFloat> tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                            const NSIndexPath&) override {
        return 42;
    }
    std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(
        const std::shared_ptr<UITableView>& table, const NSIndexPath& p) override {
        auto cell = table->dequeueReusableCellWithIdentifier("inquiry");
        if (!cell) {
            cell = UITableViewCell::create(UITableViewCellStyleSubtitle, "inquiry");
            cell->textLabel()->setFont(UIFont::boldSystemFontOfSize(15));
            cell->detailTextLabel()->setTextColor(UIColor::grayColor());
            auto button = UIImageView::create(CGRectMake(0, 0, 70, 26));
            button->setImage(badge);
            cell->setAccessoryView(button);
        }
        cell->imageView()->setImage(icon);
        cell->textLabel()->setText("上海宏远机电有限公司 第" + std::to_string(p.row + 1) +
                                   "号询价 " + std::to_string(generation));
        cell->detailTextLabel()->setText("离心式冷水机组 维保服务 剩余" +
                                         std::to_string(p.row % 7 + 1) + "天");
        return cell;
    }
};

struct ListScreen {
    HeadlessHost host;
    std::shared_ptr<Inquiries> data = std::make_shared<Inquiries>();
    std::shared_ptr<UITableView> table;

    ListScreen() {
        table = UITableView::create(CGRectMake(0, 64, 320, 12 * 42));
        table->setDataSource(data);
        table->setDelegate(data);
        host.window()->addSubview(table);
        table->reloadData();
        host.compose();
    }
};

template <class Change>
void frameLoop(benchmark::State& state, Change change) {
    ListScreen screen;
    std::vector<double> ms;
    int frame = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        change(screen, frame++);
        auto image = screen.host.compose();
        benchmark::DoNotOptimize(image.get());
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms.empty() ? 0 : ms[ms.size() / 2];
    state.counters["visible_cells"] = static_cast<double>(screen.table->visibleCells().size());
}

// New texts every frame: every label lays out and draws again.
void BM_TableReloadNewData(benchmark::State& state) {
    frameLoop(state, [](ListScreen& s, int frame) {
        s.data->generation = frame;
        s.table->reloadData();
    });
}

// The same texts: the cells are refilled, but what they show is kept.
void BM_TableReloadSameData(benchmark::State& state) {
    frameLoop(state, [](ListScreen& s, int) { s.table->reloadData(); });
}

// Seven points a frame down the list: rows leave and come back through the pool.
void BM_TableScroll(benchmark::State& state) {
    frameLoop(state, [](ListScreen& s, int frame) {
        s.table->setContentOffset({0, static_cast<CGFloat>((frame * 7) % 40000)});
    });
}

BENCHMARK(BM_TableReloadNewData)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableReloadSameData)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableScroll)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
