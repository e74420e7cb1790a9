#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ManualClock.h"
#include "ShellHome.h"
#include "UIKit/NSStringDrawing.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIApplication.h"
#include "host/HeadlessHost.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/FactoryClass.h"
#include "shell/MiddleNavView.h"
#include "shell/ShowAlertView.h"

namespace {

class ShellViewsTest : public testsupport::ManualClockTest {
  protected:
    void SetUp() override {
        app = BrisfoldAppDelegate::launch(host.window(), "http://127.0.0.1:9/");
    }

    ShellHome home;
    HeadlessHost host;
    std::shared_ptr<BrisfoldAppDelegate> app;
};

TEST_F(ShellViewsTest, ToastFadesAndGoesAfterItsTimeLeavingTheScreenUsable) {
    auto toast = ShowAlertView::initializeAlertViewWithFrame(ShowAlertView::toastFrame(),
                                                             "网络异常", 1, nullptr);
    toast->addAlertView();
    EXPECT_EQ(toast->superview(), host.window());
    EXPECT_DOUBLE_EQ(toast->frame().size.width, host.window()->bounds().size.width / 3);
    EXPECT_FALSE(toast->isUserInteractionEnabled());
    EXPECT_TRUE(toast->layer()->animationForKey("opacity"));
    advance(1.0);
    // A second message starts its time afresh.
    ShowAlertView::initializeAlertViewWithFrame(ShowAlertView::toastFrame(), "再来", 1, nullptr)
        ->addAlertView();
    EXPECT_EQ(toast->message(), "再来");
    advance(1.4);
    EXPECT_EQ(toast->superview(), host.window());
    advance(0.2);
    EXPECT_FALSE(toast->superview());

    // Type 2 shows inside its owner, which covers the window.
    auto popup = UIView::create(host.window()->bounds());
    host.window()->addSubview(popup);
    ShowAlertView::initializeAlertViewWithFrame(ShowAlertView::toastFrame(), "请输入金额", 2, popup)
        ->addAlertView();
    EXPECT_EQ(toast->superview(), popup);
    advance(1.6);
    EXPECT_FALSE(toast->superview());
}

TEST_F(ShellViewsTest, LoadingOverlayCoversTheWindowUntilTakenDownOrTapped) {
    const auto application = UIApplication::sharedApplication();
    const auto& overlay = FactoryClass::loadingView();
    auto spinner = std::dynamic_pointer_cast<UIActivityIndicatorView>(overlay->subviews().at(0));
    ASSERT_TRUE(spinner);
    for (const bool byTap : {false, true}) {
        FactoryClass::showloadingView();
        EXPECT_EQ(overlay->superview(), host.window());
        EXPECT_EQ(overlay->frame(), host.window()->bounds());
        EXPECT_TRUE(spinner->isAnimating());
        EXPECT_TRUE(application->isNetworkActivityIndicatorVisible());
        if (byTap)
            tapView(host, overlay);
        else
            FactoryClass::deleteLoingView();
        EXPECT_FALSE(overlay->superview()) << byTap;
        EXPECT_FALSE(spinner->isAnimating()) << byTap;
        EXPECT_FALSE(application->isNetworkActivityIndicatorVisible()) << byTap;
    }
}

TEST_F(ShellViewsTest, CellHeightsAndButtonWidthsFollowTheWrappedText) {
    // The screen's font sets every ideograph one em wide, so these sizes are exact.
    const CGFloat line = NSStringSizeWithFont("一", UIFont::systemFontOfSize(16)).height;
    std::string ideographs;
    for (int i = 0; i < 40; ++i) ideographs += "一";
    // The same text broken into lines of n ideographs by hand.
    auto linesOf = [&](int n) {
        std::string text;
        for (int i = 0; i < 40; ++i) text += std::string(i > 0 && i % n == 0 ? "\n" : "") + "一";
        return text;
    };
    EXPECT_EQ(FactoryClass::heightOfCellWithTitleText("", "", 320, 16, false, false), 40);
    EXPECT_EQ(FactoryClass::heightOfCellWithTitleText("型号", "", 320, 16, true, false),
              static_cast<int>(line));
    // The content wraps at (320 / 5) * 3 - 30 = 162 points: ten ideographs a line.
    EXPECT_EQ(FactoryClass::heightOfCellWithTitleText("型号", ideographs, 320, 16, false, false),
              FactoryClass::heightOfCellWithTitleText("", linesOf(10), 1000, 16, false, false));
    EXPECT_GT(FactoryClass::heightOfCellWithTitleText("", linesOf(10), 1000, 16, false, false),
              3 * line);
    // The title wraps at (320 / 5) * 2 - 20 = 108 points: six a line.
    EXPECT_EQ(FactoryClass::heightOfCellWithTitleText(ideographs, "", 320, 16, false, false),
              FactoryClass::heightOfCellWithTitleText(linesOf(6), "", 1000, 16, false, false));
    EXPECT_GT(FactoryClass::heightOfCellWithTitleText(linesOf(6), "", 1000, 16, false, false),
              6 * line);

    EXPECT_EQ(FactoryClass::widthOfButtonWithContentText("", 30, 15, false), 0);
    EXPECT_EQ(FactoryClass::widthOfButtonWithContentText("收藏", 30, 15, false), 30);
    EXPECT_LE(FactoryClass::widthOfButtonWithContentText(ideographs, 30, 15, true),
              host.window()->bounds().size.width - 20);
}

// The tabs' own taps are seen through the screens; here, that a menu outliving its target sends
// nothing.
TEST_F(ShellViewsTest, MenuSendsItsTapsOnlyWhileItsTargetLives) {
    auto target = UIView::create();
    std::vector<int> tapped;
    auto nav = MiddleNavView::create(CGRectMake(0, 64, 320, 40));
    nav->creatMiddleNavWithClass(
        target, [&](const std::shared_ptr<UIButton>& b) { tapped.push_back(b->tag()); },
        {"报价中", "未中签"}, 1);
    host.window()->addSubview(nav);
    tapView(host, nav->viewWithTag(10));
    EXPECT_EQ(tapped, (std::vector<int>{10}));
    target.reset();
    tapView(host, nav->viewWithTag(11));
    EXPECT_EQ(tapped.size(), 1u);
}

}  // namespace
