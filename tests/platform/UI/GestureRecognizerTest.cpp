#include "TouchRecordingView.h"
#include "UIKit/UIControl.h"
#include "UIKit/UILongPressGestureRecognizer.h"
#include "UIKit/UIPanGestureRecognizer.h"
#include "UIKit/UIPinchGestureRecognizer.h"
#include "UIKit/UIRotationGestureRecognizer.h"
#include "UIKit/UISwipeGestureRecognizer.h"
#include "UIKit/UITapGestureRecognizer.h"
#include "UITestCommon.h"

namespace {

constexpr double kFrame = 1.0 / 60.0;

// Logs the states its actions arrive with, by name.
struct GestureTarget : NSObject {
    std::vector<std::string> log;
    std::vector<UIGestureRecognizerState> states;
    std::vector<CGPoint> points;
    void handle(UIGestureRecognizer& r) { record("any", r); }
    void tapped(UITapGestureRecognizer& r) { record("tap", r); }
    void other(UIGestureRecognizer& r) { record("other", r); }
    void record(const std::string& what, UIGestureRecognizer& r) {
        log.push_back(what);
        states.push_back(r.state());
        points.push_back(r.locationInView(r.view().get()));
    }
};

// Answers each question as the test says.
struct Delegate : NSObject, UIGestureRecognizerDelegate {
    bool begin = true;
    bool receive = true;
    bool together = false;
    int asked = 0;
    bool gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>&) override {
        ++asked;
        return begin;
    }
    bool gestureRecognizerShouldRecognizeSimultaneouslyWithGestureRecognizer(
        const std::shared_ptr<UIGestureRecognizer>&,
        const std::shared_ptr<UIGestureRecognizer>&) override {
        return together;
    }
    bool gestureRecognizerShouldReceiveTouch(const std::shared_ptr<UIGestureRecognizer>&,
                                             const std::shared_ptr<UITouch>&) override {
        return receive;
    }
};

class GestureRecognizerTest : public testsupport::ManualClockTest {
  protected:
    void SetUp() override {
        host = std::make_unique<HeadlessHost>();
        view = testsupport::TouchRecordingView::create(CGRectMake(0, 0, 300, 400));
        host->window()->addSubview(view);
    }
    // One finger from a to b in `steps` moves, one screen refresh apart.
    void drag(int finger, CGPoint a, CGPoint b, int steps) {
        for (int i = 1; i <= steps; ++i) {
            advance(kFrame);
            const double f = static_cast<double>(i) / steps;
            host->touchMove(finger, {a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f});
        }
    }
    // One finger down at a, moved to b in `steps` frames and lifted there; then the loop idles.
    void stroke(CGPoint a, CGPoint b, int steps) {
        host->touchDown(0, a);
        drag(0, a, b, steps);
        host->touchUp(0, b);
        loop->runUntilIdle();
    }
    // A tap recognised only when a double tap has failed, both on the view.
    std::shared_ptr<UITapGestureRecognizer> singleTapWaitingForDouble(
        const std::shared_ptr<GestureTarget>& singleTarget) {
        auto single = UITapGestureRecognizer::create(singleTarget, &GestureTarget::tapped);
        auto twice = UITapGestureRecognizer::create(target, &GestureTarget::tapped);
        twice->setNumberOfTapsRequired(2);
        single->requireGestureRecognizerToFail(twice);
        view->addGestureRecognizer(single);
        view->addGestureRecognizer(twice);
        return twice;
    }
    // Two fingers down at a and b, moved together by `step` a frame for `steps` frames.
    void moveTwo(CGPoint a, CGPoint b, CGPoint step, int steps) {
        host->post({{0, UITouchPhaseBegan, a}, {1, UITouchPhaseBegan, b}});
        for (int i = 1; i <= steps; ++i) {
            advance(kFrame);
            host->post({{0, UITouchPhaseMoved, {a.x + step.x * i, a.y + step.y * i}},
                        {1, UITouchPhaseMoved, {b.x + step.x * i, b.y + step.y * i}}});
        }
    }
    void tap(CGPoint p) {
        host->touchDown(0, p);
        advance(0.05);
        host->touchUp(0, p);
        loop->runUntilIdle();
    }

    std::unique_ptr<HeadlessHost> host;
    std::shared_ptr<testsupport::TouchRecordingView> view;
    std::shared_ptr<GestureTarget> target = std::make_shared<GestureTarget>();
};

TEST_F(GestureRecognizerTest, RightSwipeFiresOnASwipeOnlyAndHonoursTheDirectionMask) {
    auto swipe = UISwipeGestureRecognizer::create(target, &GestureTarget::handle);
    view->addGestureRecognizer(swipe);
    host->touchDown(0, {50, 200});
    drag(0, {50, 200}, {150, 205}, 6);
    ASSERT_EQ(target->states,
              (std::vector<UIGestureRecognizerState>{UIGestureRecognizerStateRecognized}));
    host->touchUp(0, {150, 205});
    loop->runUntilIdle();
    EXPECT_EQ(target->log.size(), 1u);

    // A slow swipe is no swipe.
    stroke({50, 200}, {150, 200}, 120);
    EXPECT_EQ(target->log.size(), 1u);

    swipe->setDirection(UISwipeGestureRecognizerDirectionLeft |
                        UISwipeGestureRecognizerDirectionUp);
    stroke({150, 300}, {140, 200}, 5);
    EXPECT_EQ(target->log.size(), 2u);

    // Two fingers required: one finger does not do.
    swipe->setNumberOfTouchesRequired(2);
    stroke({250, 100}, {150, 100}, 5);
    moveTwo({250, 100}, {250, 140}, {-20, 0}, 5);
    EXPECT_EQ(target->log.size(), 3u);
}

TEST_F(GestureRecognizerTest, PinchReportsScaleAndVelocityFromTwoFingers) {
    auto pinch = UIPinchGestureRecognizer::create(target, &GestureTarget::handle);
    view->addGestureRecognizer(pinch);
    host->post({{0, UITouchPhaseBegan, {100, 100}}, {1, UITouchPhaseBegan, {140, 100}}});
    EXPECT_EQ(pinch->locationInView(view.get()), CGPointMake(120, 100));
    advance(kFrame);
    host->touchMove(1, {144, 100});
    drag(1, {144, 100}, {180, 100}, 4);
    ASSERT_FALSE(target->states.empty());
    EXPECT_EQ(target->states.front(), UIGestureRecognizerStateBegan);
    EXPECT_EQ(target->states.back(), UIGestureRecognizerStateChanged);
    EXPECT_DOUBLE_EQ(pinch->scale(), 2.0);
    // From 1 at the start to 2 five frames later, all within the last tenth of a second.
    EXPECT_NEAR(pinch->velocity(), 1.0 / (5 * kFrame), 1e-6);

    // The map sets the scale to its own measure; later moves multiply it.
    pinch->setScale(8);
    drag(0, {100, 100}, {20, 100}, 2);
    EXPECT_DOUBLE_EQ(pinch->scale(), 16.0);

    host->touchUp(1, {180, 100});
    EXPECT_EQ(target->states.back(), UIGestureRecognizerStateEnded);
    host->touchUp(0, {20, 100});
    loop->runUntilIdle();
    EXPECT_EQ(pinch->state(), UIGestureRecognizerStatePossible);
    EXPECT_DOUBLE_EQ(pinch->scale(), 1.0);
}

TEST_F(GestureRecognizerTest, RotationReportsTheAngleClockwisePositive) {
    auto rotation = UIRotationGestureRecognizer::create(target, &GestureTarget::handle);
    view->addGestureRecognizer(rotation);
    host->post({{0, UITouchPhaseBegan, {100, 100}}, {1, UITouchPhaseBegan, {150, 100}}});
    // A quarter turn clockwise on screen (y grows downwards), in nine steps.
    for (int i = 1; i <= 9; ++i) {
        advance(kFrame);
        const double a = std::numbers::pi / 2 * i / 9;
        host->touchMove(1, {100 + 50 * std::cos(a), 100 + 50 * std::sin(a)});
    }
    EXPECT_EQ(target->states.front(), UIGestureRecognizerStateBegan);
    EXPECT_NEAR(rotation->rotation(), std::numbers::pi / 2, 1e-9);
    EXPECT_GT(rotation->velocity(), 0);

    // The map resets it to read increments; a turn back is negative from there.
    rotation->setRotation(0);
    advance(kFrame);
    host->touchMove(1, {150, 100});
    EXPECT_NEAR(rotation->rotation(), -std::numbers::pi / 2, 1e-9);
    host->post({{0, UITouchPhaseEnded, {100, 100}}, {1, UITouchPhaseEnded, {150, 100}}});
    EXPECT_EQ(target->states.back(), UIGestureRecognizerStateEnded);
}

TEST_F(GestureRecognizerTest, PinchAndRotationRunTogetherOnlyWhenTheDelegateAllows) {
    auto other = std::make_shared<GestureTarget>();
    auto pinch = UIPinchGestureRecognizer::create(target, &GestureTarget::handle);
    auto rotation = UIRotationGestureRecognizer::create(other, &GestureTarget::handle);
    auto delegate = std::make_shared<Delegate>();
    pinch->setDelegate(delegate);
    view->addGestureRecognizer(pinch);
    view->addGestureRecognizer(rotation);

    auto spreadAndTurn = [&] {
        host->post({{0, UITouchPhaseBegan, {100, 100}}, {1, UITouchPhaseBegan, {150, 100}}});
        for (int i = 1; i <= 6; ++i) {
            advance(kFrame);
            const double a = 0.5 * i / 6, r = 50 + 10.0 * i;
            host->touchMove(1, {100 + r * std::cos(a), 100 + r * std::sin(a)});
        }
        host->post({{0, UITouchPhaseEnded, {100, 100}}, {1, UITouchPhaseEnded, {150, 100}}});
        loop->runUntilIdle();
    };
    spreadAndTurn();
    // The first to recognise wins: the pinch (its threshold is met first).
    EXPECT_FALSE(target->states.empty());
    EXPECT_TRUE(other->states.empty());

    target->states.clear();
    delegate->together = true;
    spreadAndTurn();
    EXPECT_FALSE(target->states.empty());
    ASSERT_FALSE(other->states.empty());
    EXPECT_EQ(other->states.back(), UIGestureRecognizerStateEnded);
}

TEST_F(GestureRecognizerTest,
       TwoFingerRecognizersFailOnAThirdFingerEndWhenOneLiftsAndLeaveTheirView) {
    const std::vector<std::pair<const char*, std::shared_ptr<UIGestureRecognizer>>> recognizers = {
        {"pinch", UIPinchGestureRecognizer::create(target, &GestureTarget::handle)},
        {"rotation", UIRotationGestureRecognizer::create(target, &GestureTarget::handle)}};
    for (const auto& [name, r] : recognizers) {
        SCOPED_TRACE(name);
        target->states.clear();
        view->addGestureRecognizer(r);
        host->post({{0, UITouchPhaseBegan, {100, 100}}, {1, UITouchPhaseBegan, {150, 100}}});
        host->touchDown(2, {200, 200});
        EXPECT_EQ(r->state(), UIGestureRecognizerStateFailed);
        // Spreading and turning the first two now does nothing.
        drag(1, {150, 100}, {180, 160}, 4);
        host->post({{0, UITouchPhaseEnded, {100, 100}},
                    {1, UITouchPhaseEnded, {180, 160}},
                    {2, UITouchPhaseEnded, {200, 200}}});
        loop->runUntilIdle();
        EXPECT_TRUE(target->states.empty());

        // Under way, the gesture ends as soon as one of its two fingers lifts.
        host->post({{0, UITouchPhaseBegan, {100, 100}}, {1, UITouchPhaseBegan, {150, 100}}});
        drag(1, {150, 100}, {180, 160}, 4);
        ASSERT_FALSE(target->states.empty());
        EXPECT_EQ(target->states.front(), UIGestureRecognizerStateBegan);
        host->touchUp(0, {100, 100});
        EXPECT_EQ(target->states.back(), UIGestureRecognizerStateEnded);
        host->touchUp(1, {180, 160});
        loop->runUntilIdle();
        EXPECT_EQ(r->state(), UIGestureRecognizerStatePossible);

        // Taken off its view mid-gesture it is cancelled and hears no more touches.
        host->post({{0, UITouchPhaseBegan, {100, 100}}, {1, UITouchPhaseBegan, {150, 100}}});
        drag(1, {150, 100}, {180, 160}, 4);
        EXPECT_EQ(target->states.back(), UIGestureRecognizerStateChanged);
        view->removeGestureRecognizer(r.get());
        EXPECT_EQ(target->states.back(), UIGestureRecognizerStateCancelled);
        const auto heard = target->states.size();
        drag(1, {180, 160}, {250, 100}, 3);
        host->post({{0, UITouchPhaseEnded, {100, 100}}, {1, UITouchPhaseEnded, {250, 100}}});
        EXPECT_EQ(target->states.size(), heard);
        EXPECT_EQ(r->state(), UIGestureRecognizerStatePossible);
    }
}

TEST_F(GestureRecognizerTest, DoubleTapWinsOverASingleTapThatRequiresItToFailOrLeavesItsView) {
    auto singleTarget = std::make_shared<GestureTarget>();
    auto twice = singleTapWaitingForDouble(singleTarget);

    tap({100, 100});
    // The single tap waits until the double tap has given up, and so does the view.
    advance(0.2);
    EXPECT_TRUE(singleTarget->log.empty());
    EXPECT_EQ(view->events, (std::vector<std::string>{"began"}));
    advance(0.2);
    ASSERT_EQ(singleTarget->states,
              (std::vector<UIGestureRecognizerState>{UIGestureRecognizerStateRecognized}));
    EXPECT_TRUE(target->log.empty());
    EXPECT_EQ(view->events, (std::vector<std::string>{"began", "cancelled"}));

    tap({100, 100});
    advance(0.1);
    tap({103, 98});
    ASSERT_EQ(target->states,
              (std::vector<UIGestureRecognizerState>{UIGestureRecognizerStateRecognized}));
    advance(1);
    EXPECT_EQ(singleTarget->log.size(), 1u);
    // The recognised double tap took its second touch from the view.
    EXPECT_EQ(view->events.back(), "cancelled");

    // Taken off its view while the lift and the single tap wait for it to decide, the double
    // tap lets them go.
    view->events.clear();
    tap({100, 100});
    view->removeGestureRecognizer(twice.get());
    advance(1);
    EXPECT_EQ(target->log.size(), 1u);
    EXPECT_EQ(singleTarget->log.size(), 2u);
    EXPECT_EQ(view->events, (std::vector<std::string>{"began", "cancelled"}));
    EXPECT_EQ(twice->state(), UIGestureRecognizerStatePossible);
}

TEST_F(GestureRecognizerTest, PanWaitingForADoubleTapDoesNotBeginAfterItsFingerIsUp) {
    auto pan = UIPanGestureRecognizer::create(target, &GestureTarget::handle);
    auto twiceTarget = std::make_shared<GestureTarget>();
    auto twice = UITapGestureRecognizer::create(twiceTarget, &GestureTarget::tapped);
    twice->setNumberOfTapsRequired(2);
    pan->requireGestureRecognizerToFail(twice);
    view->addGestureRecognizer(pan);
    view->addGestureRecognizer(twice);

    // Far enough for a pan, not too far for a tap: the pan waits, then the finger lifts.
    stroke({100, 100}, {110, 100}, 2);
    advance(1);
    EXPECT_TRUE(twiceTarget->log.empty());
    // With no finger down there is no pan to begin; one left begun would never end.
    EXPECT_TRUE(target->states.empty());
    EXPECT_EQ(pan->state(), UIGestureRecognizerStatePossible);

    // The next plain touch reaches the view and is not taken by a stale pan.
    view->events.clear();
    tap({200, 300});
    advance(1);
    EXPECT_EQ(view->events, (std::vector<std::string>{"began", "ended"}));
    EXPECT_TRUE(target->states.empty());
}

TEST_F(GestureRecognizerTest, ViewHearsTheLiftOnceUndecidedRecognizersFail) {
    auto twice = UITapGestureRecognizer::create(target, &GestureTarget::tapped);
    twice->setNumberOfTapsRequired(2);
    view->addGestureRecognizer(twice);
    tap({100, 100});
    EXPECT_EQ(view->events, (std::vector<std::string>{"began"}));
    advance(0.4);
    EXPECT_EQ(view->events, (std::vector<std::string>{"began", "ended"}));

    // A control on the view is not kept waiting.
    auto button = UIControl::create(CGRectMake(200, 200, 50, 50));
    view->addSubview(button);
    int pressed = 0;
    button->addTarget(
        target, [&](const auto&, UIEvent*) { ++pressed; }, UIControlEventTouchUpInside);
    tap({220, 220});
    EXPECT_EQ(pressed, 1);
    advance(0.4);

    twice->setDelaysTouchesEnded(false);
    view->events.clear();
    tap({100, 100});
    EXPECT_EQ(view->events, (std::vector<std::string>{"began", "ended"}));
    advance(0.4);
    EXPECT_TRUE(target->log.empty());
}

TEST_F(GestureRecognizerTest, TapFailsOnMovementAndCountsFingers) {
    auto tapOne = UITapGestureRecognizer::create(target, &GestureTarget::tapped);
    view->addGestureRecognizer(tapOne);
    stroke({100, 100}, {115, 100}, 3);
    EXPECT_TRUE(target->log.empty());
    // Within the slop it is still a tap.
    stroke({100, 100}, {106, 104}, 2);
    EXPECT_EQ(target->log.size(), 1u);

    auto twoFinger = UITapGestureRecognizer::create(target, &GestureTarget::other);
    twoFinger->setNumberOfTouchesRequired(2);
    view->removeGestureRecognizer(tapOne.get());
    view->addGestureRecognizer(twoFinger);
    host->post({{0, UITouchPhaseBegan, {100, 100}}, {1, UITouchPhaseBegan, {140, 100}}});
    advance(0.05);
    host->touchUp(0, {100, 100});
    host->touchUp(1, {140, 100});
    EXPECT_EQ(target->log, (std::vector<std::string>{"tap", "other"}));
}

TEST_F(GestureRecognizerTest, LongPressBeginsAfterTheDurationUnlessTheFingerWandersOrAPanWins) {
    auto press = UILongPressGestureRecognizer::create(target, &GestureTarget::handle);
    view->addGestureRecognizer(press);
    host->touchDown(0, {100, 100});
    advance(0.45);
    EXPECT_TRUE(target->states.empty());
    advance(0.1);
    ASSERT_EQ(target->states,
              (std::vector<UIGestureRecognizerState>{UIGestureRecognizerStateBegan}));
    EXPECT_EQ(target->points.front(), CGPointMake(100, 100));
    // Once begun the finger may go anywhere.
    drag(0, {100, 100}, {160, 100}, 2);
    host->touchUp(0, {160, 100});
    EXPECT_EQ(target->states, (std::vector<UIGestureRecognizerState>{
                                  UIGestureRecognizerStateBegan, UIGestureRecognizerStateChanged,
                                  UIGestureRecognizerStateChanged, UIGestureRecognizerStateEnded}));
    EXPECT_EQ(view->events.back(), "cancelled");
    loop->runUntilIdle();

    target->states.clear();
    host->touchDown(0, {100, 100});
    advance(0.2);
    drag(0, {100, 100}, {120, 100}, 2);
    advance(1);
    host->touchUp(0, {120, 100});
    EXPECT_TRUE(target->states.empty());
    loop->runUntilIdle();

    // A pan beats a long press that allows the movement; disabled, it cancels and hears no more.
    press->setAllowableMovement(1000);
    auto panTarget = std::make_shared<GestureTarget>();
    auto pan = UIPanGestureRecognizer::create(panTarget, &GestureTarget::handle);
    view->addGestureRecognizer(pan);
    host->touchDown(0, {100, 100});
    drag(0, {100, 100}, {150, 100}, 5);
    advance(1);
    EXPECT_TRUE(target->states.empty());
    EXPECT_EQ(press->state(), UIGestureRecognizerStateFailed);
    pan->setEnabled(false);
    EXPECT_EQ(panTarget->states.back(), UIGestureRecognizerStateCancelled);
    const auto heard = panTarget->states.size();
    drag(0, {150, 100}, {200, 100}, 2);
    host->touchUp(0, {200, 100});
    loop->runUntilIdle();
    stroke({100, 100}, {150, 100}, 5);
    EXPECT_EQ(panTarget->states.size(), heard);
}

TEST_F(GestureRecognizerTest, PanTranslationVelocityAndReset) {
    auto pan = UIPanGestureRecognizer::create(target, &GestureTarget::handle);
    view->addGestureRecognizer(pan);
    host->touchDown(0, {100, 100});
    drag(0, {100, 100}, {106, 100}, 2);
    EXPECT_TRUE(target->states.empty());
    // 6 points per frame: 360 points per second.
    drag(0, {106, 100}, {160, 100}, 9);
    ASSERT_FALSE(target->states.empty());
    EXPECT_EQ(target->states.front(), UIGestureRecognizerStateBegan);
    EXPECT_EQ(pan->translationInView(view.get()), CGPointMake(60, 0));
    EXPECT_NEAR(pan->velocityInView(view.get()).x, 360, 1e-6);
    // The view lost the touch when the pan began.
    EXPECT_EQ(view->events, (std::vector<std::string>{"began", "moved", "moved", "cancelled"}));

    pan->setTranslation(CGPointZero, view.get());
    drag(0, {160, 100}, {160, 160}, 12);
    EXPECT_EQ(pan->translationInView(nullptr), CGPointMake(0, 60));
    EXPECT_NEAR(pan->velocityInView(nullptr).y, 300, 1e-6);

    // A finger that rests before it lifts has no speed left.
    advance(0.3);
    host->touchUp(0, {160, 160});
    EXPECT_EQ(target->states.back(), UIGestureRecognizerStateEnded);
    EXPECT_EQ(pan->velocityInView(view.get()), CGPointZero);
    loop->runUntilIdle();
    EXPECT_EQ(pan->state(), UIGestureRecognizerStatePossible);
}

TEST_F(GestureRecognizerTest, PanTranslationIsInTheViewsCoordinates) {
    auto inner = UIView::create(CGRectMake(50, 50, 100, 100));
    inner->setTransform(CGAffineTransformMakeScale(2, 2));
    view->addSubview(inner);
    auto pan = UIPanGestureRecognizer::create(target, &GestureTarget::handle);
    pan->setMaximumNumberOfTouches(1);
    inner->addGestureRecognizer(pan);
    host->touchDown(0, {100, 100});
    drag(0, {100, 100}, {140, 80}, 4);
    EXPECT_EQ(pan->translationInView(inner.get()), CGPointMake(20, -10));
    EXPECT_EQ(pan->translationInView(nullptr), CGPointMake(40, -20));
    pan->setTranslation(CGPointMake(5, 5), inner.get());
    EXPECT_EQ(pan->translationInView(nullptr), CGPointMake(10, 10));
    host->touchUp(0, {140, 80});
    EXPECT_EQ(target->states.back(), UIGestureRecognizerStateEnded);

    // Two fingers down before moving fail a one-finger pan.
    target->states.clear();
    loop->runUntilIdle();
    moveTwo({100, 100}, {110, 100}, {10, 0}, 4);
    EXPECT_TRUE(target->states.empty());
}

TEST_F(GestureRecognizerTest, DelegateDecidesBeginningAndReceiving) {
    auto pan = UIPanGestureRecognizer::create(target, &GestureTarget::handle);
    auto delegate = std::make_shared<Delegate>();
    pan->setDelegate(delegate);
    view->addGestureRecognizer(pan);

    delegate->begin = false;
    host->touchDown(0, {100, 100});
    drag(0, {100, 100}, {150, 100}, 5);
    EXPECT_EQ(pan->state(), UIGestureRecognizerStateFailed);
    host->touchUp(0, {150, 100});
    EXPECT_EQ(delegate->asked, 1);
    EXPECT_TRUE(target->states.empty());
    // A refused recogniser leaves the touches to the view.
    EXPECT_EQ(view->events.back(), "ended");
    loop->runUntilIdle();

    delegate->begin = true;
    delegate->receive = false;
    stroke({100, 100}, {150, 100}, 5);
    EXPECT_EQ(delegate->asked, 1);
    EXPECT_TRUE(target->states.empty());

    delegate->receive = true;
    pan->setCancelsTouchesInView(false);
    view->events.clear();
    stroke({100, 100}, {150, 100}, 5);
    EXPECT_EQ(target->states.back(), UIGestureRecognizerStateEnded);
    EXPECT_EQ(view->events.back(), "ended");
}

TEST_F(GestureRecognizerTest, TargetsHearActionsInOrderAndCanLeave) {
    auto second = std::make_shared<GestureTarget>();
    auto tapOne = UITapGestureRecognizer::create(target, &GestureTarget::tapped);
    tapOne->addTarget(second, &GestureTarget::handle);
    tapOne->addTarget(target, &GestureTarget::other);
    tapOne->addTarget(target, &GestureTarget::tapped);  // already there
    view->addGestureRecognizer(tapOne);
    tap({10, 10});
    EXPECT_EQ(target->log, (std::vector<std::string>{"tap", "other"}));
    EXPECT_EQ(second->log, (std::vector<std::string>{"any"}));

    tapOne->removeTarget(target, &GestureTarget::tapped);
    second.reset();
    tap({10, 10});
    EXPECT_EQ(target->log, (std::vector<std::string>{"tap", "other", "other"}));
    EXPECT_EQ(tapOne->locationOfTouch(0, nullptr), CGPointZero);
}

}  // namespace
