#include <thread>

#include "Foundation/ThreadChecker.h"
#include "ThreadChecks.h"
#include "UIKit/UIWindow.h"
#include "UITestCommon.h"

namespace {

std::vector<std::string>* gLog = nullptr;

class LoggingView : public UIView {
  public:
    static std::shared_ptr<LoggingView> create(std::string name, CGRect frame = CGRectZero) {
        auto v = finishCreate(std::shared_ptr<LoggingView>(new LoggingView()), frame);
        v->name_ = std::move(name);
        return v;
    }
    void willMoveToSuperview(const std::shared_ptr<UIView>& s) override {
        log(std::string("willMoveToSuperview ") + (s ? "set" : "null"));
    }
    void didMoveToSuperview() override { log("didMoveToSuperview"); }
    void didMoveToWindow() override {
        log(std::string("didMoveToWindow ") + (window() ? "set" : "null"));
    }
    void didAddSubview(const std::shared_ptr<UIView>&) override { log("didAddSubview"); }
    void willRemoveSubview(const std::shared_ptr<UIView>&) override { log("willRemoveSubview"); }
    void layoutSubviews() override {
        ++layouts;
        log("layoutSubviews");
    }
    int layouts = 0;

  private:
    void log(const std::string& s) {
        if (gLog) gLog->push_back(name_ + ": " + s);
    }
    std::string name_;
};

class ViewTree : public ::testing::Test {
  protected:
    void SetUp() override { gLog = &log; }
    void TearDown() override { gLog = nullptr; }
    std::vector<std::string> log;
};

TEST_F(ViewTree, AddSubviewReparentsAndTellsEveryone) {
    HeadlessHost host;
    auto a = LoggingView::create("a");
    auto b = LoggingView::create("b");
    auto child = LoggingView::create("child");
    host.window()->addSubview(a);
    a->addSubview(child);
    EXPECT_EQ(child->window(), host.window());
    log.clear();

    b->addSubview(child);  // b is not in a window
    EXPECT_EQ(child->superview(), b);
    EXPECT_TRUE(a->subviews().empty());
    EXPECT_EQ(child->window(), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"child: willMoveToSuperview set",
                                             "a: willRemoveSubview", "child: didMoveToWindow null",
                                             "child: didMoveToSuperview", "b: didAddSubview"}));
    // The layer tree follows the view tree.
    EXPECT_EQ(child->layer()->superlayer(), b->layer());
    EXPECT_TRUE(a->layer()->sublayers().empty());

    log.clear();
    child->removeFromSuperview();
    EXPECT_EQ(child->superview(), nullptr);
    EXPECT_EQ(log,
              (std::vector<std::string>{"b: willRemoveSubview", "child: willMoveToSuperview null",
                                        "child: didMoveToSuperview"}));
    // A view cannot become its own ancestor.
    child->addSubview(b);
    b->addSubview(child);
    EXPECT_EQ(child->superview(), nullptr);
}

TEST_F(ViewTree, OrderingOperationsKeepSubviewLayersAboveLayersTheViewAddedItself) {
    auto parent = UIView::create();
    auto plate = CALayer::layer();
    parent->layer()->addSublayer(plate);
    auto v1 = UIView::create(), v2 = UIView::create(), v3 = UIView::create(), v4 = UIView::create();
    // Drawing order agrees with the subview order hit testing uses, above the plate.
    auto expectOrder = [&](const std::vector<std::shared_ptr<UIView>>& views) {
        std::vector<CALayer*> layers{plate.get()};
        for (const auto& v : views) layers.push_back(v->layer().get());
        EXPECT_EQ(parent->subviews(), views);
        std::vector<CALayer*> drawn;
        for (const auto& l : parent->layer()->sublayers()) drawn.push_back(l.get());
        EXPECT_EQ(drawn, layers);
    };
    parent->addSubview(v1);
    parent->addSubview(v2);
    parent->insertSubviewAtIndex(v3, 0);
    expectOrder({v3, v1, v2});
    parent->insertSubviewAboveSubview(v4, v3.get());
    expectOrder({v3, v4, v1, v2});
    parent->bringSubviewToFront(v3.get());
    parent->sendSubviewToBack(v2.get());
    expectOrder({v2, v4, v1, v3});
    parent->insertSubviewBelowSubview(v3, v2.get());
    expectOrder({v3, v2, v4, v1});
    parent->insertSubviewAtIndex(v3, 99);  // same parent, index past the end
    expectOrder({v2, v4, v1, v3});
    parent->exchangeSubviewAtIndex(0, 2);
    expectOrder({v1, v4, v2, v3});

    auto deep = UIView::create();
    deep->setTag(9);
    v1->addSubview(deep);
    EXPECT_EQ(parent->viewWithTag(9), deep);
    EXPECT_EQ(parent->viewWithTag(8), nullptr);
}

TEST_F(ViewTree, AutoresizingFollowsTheSuperviewSize) {
    auto parent = UIView::create(CGRectMake(0, 0, 100, 100));
    auto wide = UIView::create(CGRectMake(10, 10, 80, 20));
    wide->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    auto centred = UIView::create(CGRectMake(40, 40, 20, 20));
    centred->setAutoresizingMask(
        UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
        UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin);
    auto tall = UIView::create(CGRectMake(0, 20, 50, 60));
    tall->setAutoresizingMask(UIViewAutoresizingFlexibleHeight |
                              UIViewAutoresizingFlexibleTopMargin);
    for (auto& v : {wide, centred, tall}) parent->addSubview(v);

    parent->setFrame(CGRectMake(0, 0, 200, 180));
    EXPECT_EQ(wide->frame(), CGRectMake(10, 10, 180, 20));
    EXPECT_EQ(centred->frame(), CGRectMake(90, 80, 20, 20));
    // 80 more points shared by the top margin (20) and the height (60) in proportion.
    EXPECT_EQ(tall->frame(), CGRectMake(0, 40, 50, 120));

    parent->setAutoresizesSubviews(false);
    parent->setFrame(CGRectMake(0, 0, 100, 100));
    EXPECT_EQ(wide->frame(), CGRectMake(10, 10, 180, 20));
}

TEST_F(ViewTree, LayoutRunsOnceWhenNeeded) {
    auto v = LoggingView::create("v", CGRectMake(0, 0, 10, 10));
    v->layoutIfNeeded();
    const int initial = v->layouts;
    v->layoutIfNeeded();
    EXPECT_EQ(v->layouts, initial);
    v->setFrame(CGRectMake(0, 0, 20, 10));
    v->setNeedsLayout();
    v->layoutIfNeeded();
    EXPECT_EQ(v->layouts, initial + 1);
    v->setCenter(CGPointMake(50, 50));  // moving does not need layout
    v->layoutIfNeeded();
    EXPECT_EQ(v->layouts, initial + 1);
}

TEST_F(ViewTree, HitTestingHonoursVisibilityInteractionAndBounds) {
    HeadlessHost host;
    auto parent = UIView::create(CGRectMake(0, 0, 100, 100));
    auto child = UIView::create(CGRectMake(50, 50, 100, 100));
    parent->addSubview(child);
    host.window()->addSubview(parent);
    UIWindow& w = *host.window();

    EXPECT_EQ(w.hitTest({60, 60}, nullptr), child);
    EXPECT_EQ(w.hitTest({10, 10}, nullptr), parent);
    // Outside the parent's bounds nothing inside the parent is hit, drawn there or not.
    EXPECT_EQ(w.hitTest({120, 120}, nullptr), host.window());

    child->setHidden(true);
    EXPECT_EQ(w.hitTest({60, 60}, nullptr), parent);
    child->setHidden(false);
    child->setAlpha(0.005);
    EXPECT_EQ(w.hitTest({60, 60}, nullptr), parent);
    child->setAlpha(0.02);
    EXPECT_EQ(w.hitTest({60, 60}, nullptr), child);
    child->setUserInteractionEnabled(false);
    EXPECT_EQ(w.hitTest({60, 60}, nullptr), parent);
    parent->setUserInteractionEnabled(false);
    EXPECT_EQ(w.hitTest({60, 60}, nullptr), host.window());

    // Transforms are part of hit testing: a view scaled down no longer covers its old corner.
    parent->setUserInteractionEnabled(true);
    child->setUserInteractionEnabled(true);
    child->setTransform(CGAffineTransformMakeScale(0.5, 0.5));
    EXPECT_EQ(w.hitTest({60, 60}, nullptr), parent);
    EXPECT_EQ(w.hitTest({80, 80}, nullptr), child);
    // Scaled to nothing, it covers nothing, not even its centre.
    child->setCenter({50, 50});
    child->setTransform(CGAffineTransformMakeScale(0, 0));
    EXPECT_EQ(w.hitTest({50, 50}, nullptr), parent);
    EXPECT_EQ(parent->layer()->hitTest({50, 50}), parent->layer());
}

TEST_F(ViewTree, ConvertPointRoundTripsThroughTransformedBranches) {
    HeadlessHost host;
    auto left = UIView::create(CGRectMake(20, 30, 100, 100));
    auto leftChild = UIView::create(CGRectMake(10, 10, 50, 50));
    left->addSubview(leftChild);
    left->setBounds(CGRectMake(5, -5, 100, 100));  // scrolled contents
    auto right = UIView::create(CGRectMake(150, 200, 80, 60));
    right->setTransform(CGAffineTransformRotate(CGAffineTransformMakeScale(2, 0.5), 0.3));
    auto rightChild = UIView::create(CGRectMake(7, 3, 20, 20));
    right->addSubview(rightChild);
    host.window()->addSubview(left);
    host.window()->addSubview(right);

    for (CGPoint p : {CGPoint{0, 0}, CGPoint{3.5, -7}, CGPoint{49, 12}}) {
        const CGPoint there = leftChild->convertPointToView(p, rightChild.get());
        const CGPoint back = leftChild->convertPointFromView(there, rightChild.get());
        EXPECT_NEAR(back.x, p.x, 1e-9);
        EXPECT_NEAR(back.y, p.y, 1e-9);
    }
    // The centre of a rotated view stays where its centre is in the superview.
    const CGPoint c = right->convertPointToView(
        {CGRectGetMidX(right->bounds()), CGRectGetMidY(right->bounds())}, host.window().get());
    EXPECT_NEAR(c.x, right->center().x, 1e-9);
    EXPECT_NEAR(c.y, right->center().y, 1e-9);
    const CGRect r = leftChild->convertRectToView(leftChild->bounds(), nullptr);
    EXPECT_EQ(r, CGRectMake(25, 45, 50, 50));
}

// A view tree belongs to the thread that made it: changing it from another thread, or adding a
// view made on another thread, fails loudly.
TEST(ViewTreeDeathTest, ChangingATreeFromAnotherThreadFailsLoudly) {
    BRISFOLD_THREAD_CHECK_DEATH_TEST();
    HeadlessHost host;
    auto parent = UIView::create(CGRectMake(0, 0, 100, 100));
    auto child = UIView::create(CGRectMake(0, 0, 10, 10));
    host.window()->addSubview(parent);
    parent->addSubview(child);
    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"addSubview", [&] { parent->addSubview(UIView::create()); }},
        {"removeFromSuperview", [&] { child->removeFromSuperview(); }},
        {"bringSubviewToFront", [&] { parent->bringSubviewToFront(child.get()); }},
        {"setFrame", [&] { child->setFrame(CGRectMake(1, 1, 5, 5)); }},
        {"setCenter",
         [&] {
             child->setCenter({5, 5});
         }},
        {"setHidden", [&] { child->setHidden(true); }},
        {"sendEvent",
         [&] {
             auto event = UIEvent::create({UITouch::create({50, 50}, 0)}, 0);
             host.window()->sendEvent(*event);
         }},
    };
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        EXPECT_DEATH(std::thread(call).join(), "UIView used off its thread: .*UI(View|Window)::");
    }

    std::shared_ptr<UIView> madeElsewhere;
    std::thread([&] { madeElsewhere = UIView::create(); }).join();
    EXPECT_DEATH(parent->addSubview(madeElsewhere), "UIView used off its thread: .*insertChecked");
    EXPECT_EQ(parent->subviews().size(), 1u);
}

}  // namespace
