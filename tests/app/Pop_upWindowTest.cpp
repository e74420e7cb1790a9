#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ManualClock.h"
#include "QuartzCore/CAMediaTimingFunction.h"
#include "ScreenPixels.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UINavigationController.h"
#include "host/HeadlessHost.h"
#include "inquiries/Pop_upWindow.h"
#include "shell/ShowAlertView.h"

namespace {

using namespace testsupport;
using Text = std::optional<std::string>;

const CGColor kOrange{244 / 255.0, 120 / 255.0, 0, 1};

struct Answer {
    Text first;
    Text second;
    bool confirmed;
    bool shownWhileAnswering;
    bool operator==(const Answer&) const = default;
    friend void PrintTo(const Answer& a, std::ostream* os) {
        auto text = [](const Text& t) { return t ? '"' + *t + '"' : std::string("nil"); };
        *os << "(" << text(a.first) << ", " << text(a.second) << ", " << a.confirmed << ", "
            << (a.shownWhileAnswering ? "shown)" : "gone)");
    }
};

// The app's message view, when it shows inside the view.
std::shared_ptr<ShowAlertView> messageIn(const std::shared_ptr<UIView>& view) {
    for (const auto& subview : view->subviews()) {
        if (auto message = std::dynamic_pointer_cast<ShowAlertView>(subview)) return message;
    }
    return nullptr;
}

// A screen in a navigation controller filling the host's key window, as the pop-up's creators
// have it; the pop-up goes on the navigation controller's view.
class PopUpTest : public ManualClockTest {
  protected:
    void SetUp() override {
        nav = UINavigationController::create(screen);
        host.window()->setRootViewController(nav);
    }
    void TearDown() override {
        UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationPortrait);
    }

    std::shared_ptr<Pop_upWindow> single(int64_t type, Text askID, Text watermark) {
        return Pop_upWindow::create(screen->view()->frame(), type, askID, watermark, screen);
    }
    std::shared_ptr<Pop_upWindow> twoField() {
        return Pop_upWindow::create(screen->view()->frame(), 3, std::nullopt, "补偿金额",
                                    "补偿原因", "请在此输入赔偿金额", "请在此输入原因/理由",
                                    screen);
    }
    // The creators' calling order, with a block that records what it hears.
    void show(const std::shared_ptr<Pop_upWindow>& popUp, bool withBlock = true) {
        std::weak_ptr<Pop_upWindow> weak = popUp;
        if (withBlock) {
            popUp->getAttribute([this, weak](const Text& first, const Text& second, bool yes) {
                auto shown = weak.lock();
                answers.push_back({first, second, yes, shown && shown->superview()});
            });
        }
        nav->view()->addSubview(popUp);
        popUp->showSubStationMainView();
        advance(0.7);
    }
    void tapOn(const std::shared_ptr<UIView>& view, std::optional<CGPoint> at = {}) {
        const CGRect b = view->bounds();
        host.tap(view->convertPointToView(
            at.value_or(CGPointMake(CGRectGetMidX(b), CGRectGetMidY(b))), nullptr));
    }
    void typeInto(const std::shared_ptr<UITextField>& field, const std::string& text) {
        tapOn(field);
        ASSERT_TRUE(host.typeText(text));
    }

    HeadlessHost host;
    std::shared_ptr<UIViewController> screen = UIViewController::create();
    std::shared_ptr<UINavigationController> nav;
    std::vector<Answer> answers;
};

TEST_F(PopUpTest, EachTypeAnswersItsBlockAsItsButtonsSayThenGoes) {
    enum Button { Sure, Cancel, Cross };
    struct Case {
        int64_t type;
        std::string amount;  // typed on the keyboard
        std::string reason;
        Button button;
        std::optional<Answer> expected;
    };
    const std::vector<Case> cases = {
        {1, "250", "", Sure, Answer{"A", "250", true, true}},
        {1, "0", "", Sure, Answer{"A", "0", true, true}},
        {1, "1a2.5", "", Sure, Answer{"A", "125", true, true}},  // the pad types digits only
        {1, "250", "", Cancel, std::nullopt},
        {1, "250", "", Cross, std::nullopt},
        {2, "", "", Sure, Answer{std::nullopt, std::nullopt, true, true}},
        {2, "", "", Cancel, std::nullopt},
        {3, "30", "", Sure, Answer{"30", "", true, true}},
        {3, "30", "路远 & 下雨", Sure, Answer{"30", "路远 & 下雨", true, true}},
        {3, "30", "x", Cross, std::nullopt},
        {4, "", "", Sure, Answer{"A", std::nullopt, true, true}},
        {4, "", "", Cancel, Answer{"A", std::nullopt, false, true}},
        {4, "", "", Cross, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " button " << c.button);
        answers.clear();
        auto popUp = c.type == 3 ? twoField() : single(c.type, c.type == 2 ? Text{} : "A", "字");
        show(popUp);
        if (!c.amount.empty()) typeInto(popUp->contentTF(), c.amount);
        if (!c.reason.empty()) typeInto(popUp->contentTF_two(), c.reason);
        tapOn(c.button == Sure     ? popUp->sureBtn()
              : c.button == Cancel ? popUp->cancelBtn()
                                   : popUp->forkBtn());
        EXPECT_EQ(answers, c.expected ? std::vector<Answer>{*c.expected} : std::vector<Answer>{});
        EXPECT_EQ(popUp->superview(), nullptr);
        EXPECT_FALSE(host.typeText("1"));  // the keyboard went with it
        EXPECT_FALSE(messageIn(popUp));
    }
}

TEST_F(PopUpTest, EmptyAmountIsRefusedWithAMessageAndThePopUpStays) {
    auto amount = single(1, "A", "请在此填写报价金额");
    show(amount);
    tapOn(amount->sureBtn());
    const auto amountMessage = messageIn(amount);
    ASSERT_TRUE(amountMessage);
    EXPECT_EQ(amountMessage->message(), "报价金额不可为空(如无需求,可填写'0')");
    EXPECT_EQ(amountMessage->customType(), 2);
    EXPECT_EQ(amount->superview(), nav->view());

    auto compensation = twoField();
    show(compensation);
    typeInto(compensation->contentTF_two(), "原因");
    tapOn(compensation->sureBtn());
    const auto compensationMessage = messageIn(compensation);
    ASSERT_TRUE(compensationMessage);
    EXPECT_EQ(compensationMessage->message(), "补偿金额不可为空(如无需求,可填写'0')");
    EXPECT_TRUE(answers.empty());

    // Only an empty amount is refused; what was typed stays.
    compensation->contentTF()->setText("   ");
    tapOn(compensation->sureBtn());
    EXPECT_EQ(answers, (std::vector<Answer>{{"   ", "原因", true, true}}));
}

TEST_F(PopUpTest, WithoutABlockOrWithATypeItsInitialiserDoesNotServeNothingIsCalled) {
    for (auto popUp : {single(1, "A", "x"), single(2, "A", "x"), single(4, "A", "x"), twoField()}) {
        show(popUp, false);
        popUp->contentTF()->setText("9");
        tapOn(popUp->sureBtn());
        EXPECT_EQ(popUp->superview(), nullptr);
    }
    auto question = single(4, "A", "x");
    show(question, false);
    tapOn(question->cancelBtn());
    EXPECT_EQ(question->superview(), nullptr);

    // Neither a card nor a cover: showing takes it off at once, and its buttons call nothing.
    for (auto popUp : {single(3, "A", "x"), single(7, "A", "x"),
                       Pop_upWindow::create(CGRectZero, 4, "A", "a", "b", "c", "d", screen)}) {
        EXPECT_EQ(popUp->subStationIdMainView(), nullptr);
        show(popUp);
        EXPECT_EQ(popUp->superview(), nullptr);
        popUp->sureBtnClick();
        popUp->cancelBtnClick();
    }
    EXPECT_TRUE(answers.empty());
}

TEST_F(PopUpTest, TheBuildersMakeTheCardOfThePopUpsOwnTypeOnce) {
    // The two-field builder, given a pop-up of type 3 that the single-field initialiser left
    // without a card: the card of two fields, whatever type the call names.
    auto amountAndReason = single(3, "A", "x");
    amountAndReason->setupUIConfigWithClass(screen, 1);
    ASSERT_TRUE(amountAndReason->subStationIdMainView());
    EXPECT_EQ(amountAndReason->subStationIdMainView()->frame().size.height, 230);
    EXPECT_TRUE(amountAndReason->contentTF_two());
    // Built already: a second call adds nothing.
    const auto card = amountAndReason->subStationIdMainView();
    const size_t views = amountAndReason->subviews().size();
    amountAndReason->setupUIConfigWithClass(screen);
    EXPECT_EQ(amountAndReason->subStationIdMainView(), card);
    EXPECT_EQ(amountAndReason->subviews().size(), views);
    show(amountAndReason);
    amountAndReason->contentTF()->setText("30");
    tapOn(amountAndReason->sureBtn());
    EXPECT_EQ(answers, (std::vector<Answer>{{"30", "", true, true}}));

    // The single-field builder on a type 2 made by the two-field initialiser.
    auto confirmation = Pop_upWindow::create(screen->view()->frame(), 2, std::nullopt, "a", "b",
                                             "确认出发吗", "d", screen);
    confirmation->setupUIConfigWithClass(screen);
    ASSERT_TRUE(confirmation->subStationIdMainView());
    EXPECT_EQ(confirmation->subStationIdMainView()->frame().size.height, 160);
    EXPECT_EQ(confirmation->contentTF()->text(), "确认出发吗");
    EXPECT_FALSE(confirmation->contentTF_two());
}

TEST_F(PopUpTest, InputsByTypeTakeTheFocusAndOthersDrawTheirLineInFullColour) {
    const struct {
        int64_t type;
        bool editable;
        CGColor ink;
    } cases[] = {{1, true, {}}, {2, false, kBlack}, {3, true, {}}, {4, false, kOrange}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        auto popUp = c.type == 3 ? twoField() : single(c.type, "A", "请在此填写报价金额");
        show(popUp);
        if (c.type == 3) {
            EXPECT_EQ(popUp->contentTF_two()->keyboardType(), UIKeyboardTypeDefault);
        } else {
            EXPECT_EQ(popUp->contentTF_two(), nullptr);
        }
        // An input takes the focus as it shows, and its text stays clear of its edge.
        EXPECT_EQ(popUp->contentTF()->isFirstResponder(), c.editable);
        const CGRect text = popUp->contentTF()->textRectForBounds(popUp->contentTF()->bounds());
        tapOn(popUp->contentTF());
        EXPECT_EQ(popUp->contentTF()->isFirstResponder(), c.editable);
        if (c.editable) {
            EXPECT_GE(text.origin.x, 10);
            EXPECT_EQ(popUp->contentTF()->keyboardType(), UIKeyboardTypeNumberPad);
        } else {
            // The line is drawn in its full colour, not dimmed like a disabled field.
            const auto image = host.compose();
            const CGRect line =
                popUp->contentTF()->convertRectToView(popUp->contentTF()->bounds(), nullptr);
            bool inked = false;
            for (CGFloat y = line.origin.y; y < CGRectGetMaxY(line) && !inked; y += 0.5)
                for (CGFloat x = line.origin.x + 22; x < CGRectGetMaxX(line) && !inked; x += 0.5)
                    inked = coloursClose(screenPixel(image, x, y), c.ink, 0.05);
            EXPECT_TRUE(inked);
        }
        popUp->forkBtnClick();
    }
}

TEST_F(PopUpTest, TheCoverTakesTheWindowTurnedWithALandscapeStatusBarAndKeepsTheCardCentred) {
    UIApplication::sharedApplication()->setStatusBarOrientation(
        UIInterfaceOrientationLandscapeRight);
    auto popUp = single(1, "A", "x");
    show(popUp);
    EXPECT_EQ(popUp->frame(), CGRectMake(0, 0, 568, 320));
    EXPECT_EQ(popUp->subStationIdMainView()->center(), CGPointMake(284, 160));
    popUp->setFrame(CGRectMake(0, 0, 400, 300));
    EXPECT_EQ(popUp->subStationIdMainView()->center(), CGPointMake(200, 150));
}

// Counts the touches that reach it, to see what the pop-up passes on.
class TouchLog : public UIView {
  public:
    static std::shared_ptr<TouchLog> create(CGRect frame) {
        return finishCreate(std::shared_ptr<TouchLog>(new TouchLog()), frame);
    }
    void touchesEnded(const UITouchSet&, UIEvent*) override { ++ended; }
    int ended = 0;

  private:
    TouchLog() = default;
};

TEST_F(PopUpTest, TouchOffTheControlsPutsTheKeyboardAwayAndGoesNoFurther) {
    auto below = TouchLog::create(host.window()->bounds());
    nav->view()->addSubview(below);
    auto popUp = twoField();
    below->addSubview(popUp);
    popUp->showSubStationMainView();
    advance(0.7);

    typeInto(popUp->contentTF(), "12");
    tapOn(popUp, CGPointMake(10, 100));  // the dimmed cover
    EXPECT_FALSE(host.typeText("x"));
    typeInto(popUp->contentTF_two(), "远");
    tapOn(popUp->subStationIdMainView(), CGPointMake(142, 8));  // the card's own background
    EXPECT_FALSE(host.typeText("x"));
    typeInto(popUp->contentTF(), "3");
    tapOn(popUp->contentTF_two());  // the other field takes the keyboard over
    EXPECT_TRUE(popUp->contentTF_two()->isFirstResponder());

    EXPECT_EQ(popUp->contentTF()->text(), "123");
    EXPECT_EQ(popUp->contentTF_two()->text(), "远");
    EXPECT_EQ(below->ended, 0);
}

TEST_F(PopUpTest, TheCardGrowsOvershootsAndSettlesWhenShown) {
    auto popUp = single(1, "A", "请在此填写报价金额");
    nav->view()->addSubview(popUp);
    popUp->showSubStationMainView();
    const auto& card = popUp->subStationIdMainView();
    auto scale = [&] {
        const CATransform3D t = card->layer()->presentationValues(CACurrentMediaTime()).transform;
        return std::hypot(t.m11, t.m12);
    };
    // Inside the card's corner: the dimmed window while the card is small, then the card.
    const CGPoint corner = card->convertPointToView({12, 12}, nullptr);
    EXPECT_NEAR(scale(), 0.1, 1e-6);
    EXPECT_TRUE(colourNear(screenPixel(host.compose(), corner.x, corner.y), {0.4, 0.4, 0.4, 1}));

    double peak = 0;
    for (int step = 0; step < 71; ++step) {
        advance(0.01);
        peak = std::max(peak, scale());
    }
    EXPECT_GT(peak, 1.1) << "it overshoots before it settles";
    EXPECT_TRUE(card->layer()->animationKeys().empty());
    EXPECT_DOUBLE_EQ(scale(), 1);
    EXPECT_TRUE(colourNear(screenPixel(host.compose(), corner.x, corner.y), kWhite));
}

}  // namespace
