#include "UIKit/UIButton.h"
#include "UIKit/UIScrollView.h"
#include "UITestCommon.h"

namespace {

// Records the callbacks, with runs of didScroll folded into one entry.
class ScrollRecorder : public UIScrollViewDelegate {
  public:
    void scrollViewDidScroll(const std::shared_ptr<UIScrollView>& s) override {
        offsets.push_back(s->contentOffset());
        if (events.empty() || events.back() != "didScroll") events.push_back("didScroll");
    }
    void scrollViewWillBeginDragging(const std::shared_ptr<UIScrollView>& s) override {
        events.push_back("willBeginDragging");
        draggingInCallback = s->isDragging();
    }
    void scrollViewDidEndDragging(const std::shared_ptr<UIScrollView>&, bool decelerate) override {
        events.push_back(decelerate ? "didEndDragging(YES)" : "didEndDragging(NO)");
    }
    void scrollViewWillBeginDecelerating(const std::shared_ptr<UIScrollView>&) override {
        events.push_back("willBeginDecelerating");
    }
    void scrollViewDidEndDecelerating(const std::shared_ptr<UIScrollView>& s) override {
        events.push_back("didEndDecelerating");
        deceleratingInCallback = s->isDecelerating();
    }
    void scrollViewDidEndScrollingAnimation(const std::shared_ptr<UIScrollView>&) override {
        events.push_back("didEndScrollingAnimation");
    }
    std::vector<std::string> events;
    std::vector<CGPoint> offsets;
    bool draggingInCallback = false;
    bool deceleratingInCallback = true;
};

class ScrollViewTest : public testsupport::ManualClockTest {
  protected:
    void SetUp() override {
        host = std::make_unique<HeadlessHost>();
        scroll = UIScrollView::create(CGRectMake(0, 0, 320, 400));
        scroll->setContentSize(CGSizeMake(320, 2000));
        recorder = std::make_shared<ScrollRecorder>();
        scroll->setDelegate(recorder);
        host->window()->addSubview(scroll);
    }

    // A finger moving in equal steps a frame apart, lifted at the last point without pausing
    // (pause > 0 holds it still that long first).
    void drag(CGPoint from, CGPoint to, int steps, CFTimeInterval pause = 0) {
        host->touchDown(0, from);
        for (int i = 1; i <= steps; ++i) {
            Clock::advance(1.0 / 60);
            const CGFloat f = CGFloat(i) / steps;
            host->touchMove(0, {from.x + (to.x - from.x) * f, from.y + (to.y - from.y) * f});
        }
        Clock::advance(pause > 0 ? pause : 1.0 / 60);
        host->touchUp(0, to);
    }

    void settle() {
        for (int frames = 0; (scroll->isDecelerating() || frames == 0) && frames < 2000; ++frames) {
            Clock::advance(1.0 / 60);
            loop->runOnce();
        }
    }

    std::unique_ptr<HeadlessHost> host;
    std::shared_ptr<UIScrollView> scroll;
    std::shared_ptr<ScrollRecorder> recorder;
};

TEST_F(ScrollViewTest, FastDragCallsBackInOrderAndDeceleratesWithinTheContent) {
    host->touchDown(0, {100, 300});
    Clock::advance(1.0 / 60);
    host->touchMove(0, {100, 295});  // within the slop: no drag yet
    EXPECT_TRUE(scroll->isTracking());
    EXPECT_FALSE(scroll->isDragging());
    EXPECT_TRUE(recorder->events.empty());
    for (int y = 270; y >= 120; y -= 30) {
        Clock::advance(1.0 / 60);
        host->touchMove(0, {100, CGFloat(y)});
    }
    EXPECT_TRUE(scroll->isDragging());
    EXPECT_TRUE(recorder->draggingInCallback);
    // The content follows the finger from where the drag began: no jump by the slop.
    EXPECT_DOUBLE_EQ(scroll->contentOffset().y, 270 - 120);
    Clock::advance(1.0 / 60);
    host->touchUp(0, {100, 90});
    EXPECT_FALSE(scroll->isTracking());
    EXPECT_TRUE(scroll->isDecelerating());
    const CGFloat released = scroll->contentOffset().y;
    EXPECT_DOUBLE_EQ(released, 180);

    settle();
    EXPECT_FALSE(recorder->deceleratingInCallback);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{
                                    "willBeginDragging", "didScroll", "didEndDragging(YES)",
                                    "willBeginDecelerating", "didScroll", "didEndDecelerating"}));
    // About 1800 pt/s kept going the same way, and never past the end.
    const CGFloat rest = scroll->contentOffset().y;
    EXPECT_GT(rest, released + 300);
    EXPECT_LE(rest, 1600);
    for (size_t i = 1; i < recorder->offsets.size(); ++i)
        EXPECT_GE(recorder->offsets[i].y, recorder->offsets[i - 1].y);
}

TEST_F(ScrollViewTest, TouchStopsAFlingAndAFlingPastTheEndSpringsBackToTheLastOffset) {
    drag({100, 380}, {100, 80}, 4);
    ASSERT_TRUE(scroll->isDecelerating());
    Clock::advance(1.0 / 60);
    loop->runOnce();
    host->touchDown(1, {100, 200});
    EXPECT_FALSE(scroll->isDecelerating());
    const CGFloat held = scroll->contentOffset().y;
    settle();
    EXPECT_EQ(scroll->contentOffset().y, held);
    host->touchUp(1, {100, 200});

    scroll->setContentOffset({0, 1500});
    recorder->offsets.clear();
    drag({100, 380}, {100, 80}, 4);
    settle();
    EXPECT_EQ(scroll->contentOffset().y, 1600);
    CGFloat farthest = 0;
    for (const auto& o : recorder->offsets) farthest = std::max(farthest, o.y);
    EXPECT_GT(farthest, 1600);  // it went beyond and came back
    EXPECT_EQ(recorder->events.back(), "didEndDecelerating");
}

TEST_F(ScrollViewTest, SlowReleaseEndsWithoutDeceleratingAndPullsBeyondTheTopRubberBand) {
    drag({100, 100}, {100, 160}, 3, 0.5);
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"willBeginDragging", "didScroll", "didEndDragging(YES)",
                                        "willBeginDecelerating"}));
    // Pulled 40 pt past the top after the slop: the content moved half of that.
    EXPECT_DOUBLE_EQ(recorder->offsets.back().y, -20);
    settle();
    EXPECT_EQ(scroll->contentOffset().y, 0);
    EXPECT_EQ(recorder->events.back(), "didEndDecelerating");

    scroll->setContentOffset({0, 500});
    recorder->events.clear();
    drag({100, 300}, {100, 200}, 5, 0.5);
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"willBeginDragging", "didScroll", "didEndDragging(NO)"}));
    EXPECT_FALSE(scroll->isDecelerating());
    EXPECT_DOUBLE_EQ(scroll->contentOffset().y, 580);
}

TEST_F(ScrollViewTest, WithoutBouncesTheOffsetStaysInsideAndShortOrDisabledDoesNotDrag) {
    scroll->setScrollEnabled(false);
    drag({100, 300}, {100, 100}, 5);
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_EQ(scroll->contentOffset().y, 0);

    scroll->setScrollEnabled(true);
    scroll->setBounces(false);
    drag({100, 100}, {100, 300}, 5);
    EXPECT_EQ(scroll->contentOffset().y, 0);
    for (const auto& o : recorder->offsets) EXPECT_GE(o.y, 0);

    scroll->setBounces(true);
    scroll->setContentSize(CGSizeMake(320, 300));
    recorder->events.clear();
    drag({100, 300}, {100, 100}, 5);
    EXPECT_TRUE(recorder->events.empty());
    scroll->setAlwaysBounceVertical(true);
    drag({100, 300}, {100, 100}, 5);
    EXPECT_EQ(recorder->events.front(), "willBeginDragging");
    settle();
    EXPECT_EQ(scroll->contentOffset().y, 0);
}

TEST_F(ScrollViewTest, ContentInsetWidensTheRange) {
    scroll->setContentInset(UIEdgeInsetsMake(60, 0, 40, 0));
    EXPECT_EQ(scroll->maximumContentOffset(), CGPointMake(0, 1640));
    scroll->setContentOffset({0, -60});
    drag({100, 100}, {100, 140}, 2, 0.5);
    settle();
    EXPECT_EQ(scroll->contentOffset().y, -60);
}

TEST_F(ScrollViewTest, DragStartedOnAButtonScrollsAndCancelsTheButton) {
    auto button = UIButton::create(CGRectMake(50, 200, 200, 60));
    scroll->addSubview(button);
    std::vector<std::string> actions;
    auto note = [&actions](const char* what) {
        return [&actions, what](const std::shared_ptr<UIControl>&, UIEvent*) {
            actions.push_back(what);
        };
    };
    button->addTarget({}, note("up"), UIControlEventTouchUpInside);
    button->addTarget({}, note("cancel"), UIControlEventTouchCancel);

    host->tap({100, 230});
    EXPECT_EQ(actions, (std::vector<std::string>{"up"}));
    EXPECT_TRUE(recorder->events.empty());

    actions.clear();
    drag({100, 230}, {100, 130}, 5, 0.5);
    EXPECT_EQ(actions, (std::vector<std::string>{"cancel"}));
    EXPECT_DOUBLE_EQ(scroll->contentOffset().y, 80);
    EXPECT_FALSE(button->isHighlighted());
}

TEST_F(ScrollViewTest, AnimatedOffsetStepsOnTheClockAndReportsItsEnd) {
    scroll->setContentOffset({0, 300}, true);
    EXPECT_EQ(scroll->contentOffset().y, 0);
    Clock::advance(0.1);
    loop->runOnce();
    const CGFloat midway = scroll->contentOffset().y;
    EXPECT_GT(midway, 0);
    EXPECT_LT(midway, 300);
    for (int i = 0; i < 30; ++i) {
        Clock::advance(1.0 / 60);
        loop->runOnce();
    }
    EXPECT_EQ(scroll->contentOffset().y, 300);
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"didScroll", "didEndScrollingAnimation"}));
}

}  // namespace
