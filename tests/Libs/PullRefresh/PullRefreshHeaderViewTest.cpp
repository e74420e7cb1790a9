#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ManualClock.h"
#include "PullRefresh/PullRefreshHeaderView.h"
#include "ScreenPixels.h"
#include "UIKit/UITableView.h"
#include "host/HeadlessHost.h"

namespace {

using State = PullRefreshBaseView::State;

class Screen : public PullRefreshBaseViewDelegate, public UITableViewDataSource {
  public:
    void refreshViewBeginRefreshing(const std::shared_ptr<PullRefreshBaseView>& view) override {
        calls.push_back(view.get());
        stateInCall = view->state();
        if (endAtOnce) view->endRefreshing();
    }
    int tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, int) override {
        return rows;
    }
    std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(
        const std::shared_ptr<UITableView>&, const NSIndexPath&) override {
        return UITableViewCell::create(UITableViewCellStyleDefault, "row");
    }

    std::vector<PullRefreshBaseView*> calls;
    State stateInCall = State::normal;
    bool endAtOnce = false;
    int rows = 0;
};

class PullRefreshHeaderViewTest : public testsupport::ManualClockTest {
  protected:
    void SetUp() override {
        host = std::make_unique<HeadlessHost>();
        screen = std::make_shared<Screen>();
        table = UITableView::create(CGRectMake(0, 64, 320, 400));
        table->setDataSource(screen);
        header = PullRefreshHeaderView::header();
        header->setScrollView(table);
        header->setDelegate(screen);
        host->window()->addSubview(table);
        table->reloadData();
    }

    // A finger pulling down by the distance in ten frames and resting before it lets go; with
    // `back`, it first returns that far up.
    void pull(CGFloat distance, CGFloat back = 0) {
        hold(distance, back);
        release();
    }
    void hold(CGFloat distance, CGFloat back = 0) {
        host->touchDown(0, {160, 150});
        for (int i = 1; i <= 10; ++i) {
            Clock::advance(1.0 / 60);
            host->touchMove(0, {160, 150 + distance * i / 10});
        }
        if (back > 0) {
            Clock::advance(1.0 / 60);
            host->touchMove(0, {160, 150 + distance - back});
        }
        Clock::advance(0.5);
        fingerY = 150 + distance - back;
    }
    void release() { host->touchUp(0, {160, fingerY}); }

    // A second of frames: long enough for every spring and scroll animation to end.
    void settle() {
        for (int i = 0; i < 60; ++i) advance(1.0 / 60);
    }

    std::unique_ptr<HeadlessHost> host;
    std::shared_ptr<Screen> screen;
    std::shared_ptr<UITableView> table;
    std::shared_ptr<PullRefreshHeaderView> header;
    CGFloat fingerY = 0;
};

TEST_F(PullRefreshHeaderViewTest, ReleasePastItsHeightRefreshesOnceAndHoldsItInView) {
    hold(200);
    EXPECT_DOUBLE_EQ(table->contentOffset().y, -90);
    EXPECT_EQ(header->state(), State::pulling);
    EXPECT_EQ(header->statusLabel()->text(), "松开立即刷新");
    EXPECT_NEAR(header->arrowView()->transform().a, -1, 1e-9);  // turned over
    // The arrow is drawn where the pulled-down header shows: left of centre, mid-height.
    const CGFloat headerMidY = 64 - 30 + 90;
    EXPECT_TRUE(
        testsupport::colourNear(testsupport::screenPixel(host->compose(), 160 - 75, headerMidY),
                                {0.45, 0.45, 0.45, 1}, 0.05));
    EXPECT_TRUE(screen->calls.empty());

    release();
    settle();
    ASSERT_EQ(screen->calls, std::vector<PullRefreshBaseView*>{header.get()});
    EXPECT_EQ(screen->stateInCall, State::refreshing);
    EXPECT_EQ(header->statusLabel()->text(), "正在刷新...");
    EXPECT_TRUE(header->arrowView()->isHidden());
    EXPECT_TRUE(header->activityView()->isAnimating());
    EXPECT_EQ(table->contentInset().top, 60);
    EXPECT_NEAR(table->contentOffset().y, -60, 0.5);

    pull(200);
    settle();
    EXPECT_EQ(screen->calls.size(), 1u);

    header->endRefreshing();
    settle();
    EXPECT_EQ(header->state(), State::normal);
    EXPECT_EQ(header->statusLabel()->text(), "下拉刷新");
    EXPECT_FALSE(header->activityView()->isAnimating());
    EXPECT_EQ(table->contentInset().top, 0);
    EXPECT_EQ(table->contentOffset(), CGPointZero);

    // Ended inside the callback, it springs back to the top at once.
    screen->endAtOnce = true;
    pull(200);
    settle();
    EXPECT_EQ(screen->calls.size(), 2u);
    EXPECT_EQ(header->state(), State::normal);
    EXPECT_EQ(table->contentInset().top, 0);
    EXPECT_EQ(table->contentOffset(), CGPointZero);
}

TEST_F(PullRefreshHeaderViewTest, PullsThatEndShortOfItsHeightDoNotRefresh) {
    struct Case {
        const char* name;
        int rows;
        CGFloat startOffset;
        CGFloat distance;
        CGFloat back;
    };
    const Case cases[] = {
        {"short pull on an empty list", 0, 0, 100, 0},
        {"pulled past, then taken back", 0, 0, 200, 190},
        {"long pull in the middle of a list", 30, 300, 200, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        screen->rows = c.rows;
        table->reloadData();
        table->setContentOffset({0, c.startOffset});
        pull(c.distance, c.back);
        settle();
        EXPECT_TRUE(screen->calls.empty());
        EXPECT_EQ(header->state(), State::normal);
        EXPECT_EQ(header->statusLabel()->text(), "下拉刷新");
        EXPECT_EQ(table->contentInset().top, 0);
    }
}

}  // namespace
