#include "TouchRecordingView.h"
#include "UIKit/UIGestureRecognizerBase.h"
#include "UIKit/UIWindow.h"
#include "UITestCommon.h"

namespace {

using TouchRecorder = testsupport::TouchRecordingView;

// Records its touch stream and takes the touches over after the first move, as a pan would.
class GrabbingRecognizer : public UIGestureRecognizerBase {
  public:
    static std::shared_ptr<GrabbingRecognizer> create() {
        return std::shared_ptr<GrabbingRecognizer>(new GrabbingRecognizer());
    }
    void touchesBegan(const UITouchSet& t, UIEvent*) override {
        seen.push_back("began " + std::to_string(t.size()));
    }
    void touchesMoved(const UITouchSet&, UIEvent*) override {
        seen.push_back("moved");
        grabbed = true;
    }
    void touchesEnded(const UITouchSet&, UIEvent*) override { seen.push_back("ended"); }
    bool cancelsViewTouches() const override { return grabbed; }
    std::vector<std::string> seen;
    bool grabbed = false;
};

TEST(TouchDelivery, TouchesStayWithTheViewTheyBeganInAndItsWindow) {
    HeadlessHost host;
    auto a = TouchRecorder::create(CGRectMake(0, 0, 100, 100));
    auto beside = TouchRecorder::create(CGRectMake(100, 0, 100, 100));
    host.window()->addSubview(a);
    host.window()->addSubview(beside);
    auto second = UIWindow::create(host.window()->bounds());
    auto b = TouchRecorder::create(CGRectMake(200, 200, 100, 100));
    second->addSubview(b);

    host.touchDown(0, {50, 50}, 1.0);
    // Another window comes forward while the first finger is still down.
    second->makeKeyAndVisible();
    host.touchDown(1, {250, 250}, 1.1);
    host.post({{0, UITouchPhaseMoved, {150, 50}}, {1, UITouchPhaseMoved, {260, 260}}}, 1.2);
    host.post({{0, UITouchPhaseEnded, {160, 60}}, {1, UITouchPhaseEnded, {260, 260}}}, 1.3);
    host.window()->makeKeyWindow();
    second->setHidden(true);

    EXPECT_EQ(a->events, (std::vector<std::string>{"began", "moved", "ended"}));
    EXPECT_EQ(a->points.back(), CGPointMake(160, 60));
    EXPECT_TRUE(beside->events.empty());
    EXPECT_EQ(b->events, (std::vector<std::string>{"began", "moved", "ended"}));
    EXPECT_EQ(host.fingersDown(), 0u);
}

TEST(TouchDelivery, UnhandledTouchesClimbTheResponderChain) {
    HeadlessHost host;
    auto handler = TouchRecorder::create(CGRectMake(0, 0, 200, 200));
    auto inner = TouchRecorder::create(CGRectMake(10, 10, 50, 50), true);
    handler->addSubview(inner);
    host.window()->addSubview(handler);
    host.tap({20, 20});
    EXPECT_EQ(inner->events, (std::vector<std::string>{"began", "ended"}));
    EXPECT_EQ(handler->events, (std::vector<std::string>{"ended"}));
    EXPECT_EQ(handler->points.back(), CGPointMake(20, 20));
}

TEST(TouchDelivery, TapCountGrowsForQuickTapsInPlace) {
    HeadlessHost host;
    auto v = TouchRecorder::create(CGRectMake(0, 0, 200, 200));
    host.window()->addSubview(v);
    host.touchDown(0, {50, 50}, 1.0);
    host.touchUp(0, {50, 50}, 1.05);
    host.touchDown(0, {52, 51}, 1.2);
    host.touchUp(0, {52, 51}, 1.25);
    host.touchDown(0, {52, 51}, 2.0);  // too late
    host.touchUp(0, {52, 51}, 2.05);
    host.touchDown(0, {120, 120}, 2.1);  // too far
    host.touchUp(0, {120, 120}, 2.15);
    EXPECT_EQ(v->tapCounts, (std::vector<unsigned>{1, 1, 2, 2, 1, 1, 1, 1}));
}

TEST(TouchDelivery, RecognizersSeeTouchesFirstAndCanTakeThemOver) {
    HeadlessHost host;
    auto parent = TouchRecorder::create(CGRectMake(0, 0, 300, 300));
    auto child = TouchRecorder::create(CGRectMake(0, 0, 100, 100));
    parent->addSubview(child);
    host.window()->addSubview(parent);
    auto grab = GrabbingRecognizer::create();
    parent->addGestureRecognizer(grab);

    host.post({{1, UITouchPhaseBegan, {10, 10}}, {2, UITouchPhaseBegan, {20, 20}}});
    host.touchMove(1, {40, 40});
    host.touchMove(1, {50, 50});
    host.post({{1, UITouchPhaseEnded, {50, 50}}, {2, UITouchPhaseEnded, {20, 20}}});
    EXPECT_EQ(grab->seen, (std::vector<std::string>{"began 2", "moved", "moved", "ended"}));
    // The child saw the beginning, then one cancellation, and nothing after.
    EXPECT_EQ(child->events, (std::vector<std::string>{"began", "cancelled", "cancelled"}));

    parent->removeGestureRecognizer(grab.get());
    child->events.clear();
    host.tap({10, 10});
    EXPECT_EQ(child->events, (std::vector<std::string>{"began", "ended"}));
}

// Lays its one child over the whole of itself, as a cell lays out its content.
class FillingView : public UIView {
  public:
    static std::shared_ptr<FillingView> create(CGRect frame) {
        return finishCreate(std::shared_ptr<FillingView>(new FillingView()), frame);
    }
    void layoutSubviews() override {
        for (const auto& v : subviews()) v->setFrame(bounds());
    }
};

TEST(TouchDelivery, ATouchFindsTheViewsWhereTheirPendingLayoutPutsThem) {
    HeadlessHost host;
    host.runFor(0.05);
    auto cell = FillingView::create(CGRectMake(0, 0, 320, 44));
    auto content = TouchRecorder::create(CGRectMake(0, 0, 320, 44));
    cell->addSubview(content);
    host.window()->addSubview(cell);
    host.runFor(0.05);
    // Grown in the same turn of the loop as the touch, with its layout still to come.
    cell->setFrame(CGRectMake(0, 0, 320, 170));
    cell->setNeedsLayout();
    host.tap({160, 120});
    ASSERT_EQ(content->events, (std::vector<std::string>{"began", "ended"}));
    EXPECT_EQ(content->points.back(), CGPointMake(160, 120));
}

}  // namespace
