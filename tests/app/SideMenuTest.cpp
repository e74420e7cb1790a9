// The side menu as every tab shows it, tapped as a finger would.

#include <functional>
#include <memory>

#include "MessagesFixture.h"
#include "ScreenPixels.h"
#include "UIKit/UITableView.h"
#include "shell/CustomNavBar.h"
#include "shell/CustomTabBar.h"
#include "shell/LeftViewController.h"

namespace {

using testsupport::runUntil;

std::shared_ptr<UITableView> firstTable(const std::shared_ptr<UIView>& view) {
    if (auto table = std::dynamic_pointer_cast<UITableView>(view)) return table;
    for (const auto& sub : view->subviews())
        if (auto table = firstTable(sub)) return table;
    return nullptr;
}

bool still(const std::shared_ptr<UIView>& view) {
    if (!view->layer()->animationKeys().empty()) return false;
    for (const auto& sub : view->subviews())
        if (!still(sub)) return false;
    return true;
}

CGRect inWindow(const std::shared_ptr<UIView>& view) {
    return view->convertRectToView(view->bounds(), nullptr);
}

// In the window, nothing above it hidden, and on the screen.
bool shown(const std::shared_ptr<UIView>& view, CGRect screen) {
    if (!view->window()) return false;
    for (const UIView* v = view.get(); v; v = v->superview().get())
        if (v->isHidden()) return false;
    return CGRectIntersectsRect(inWindow(view), screen);
}

class SideMenuTest : public MessagesFixture {
  protected:
    void settle() {
        ASSERT_TRUE(runUntil([&] { return still(host.window()); }));
    }
    CGColor pixel(CGFloat x, CGFloat y) { return testsupport::screenPixel(host.compose(), x, y); }
};

// The menu leaves a strip of the tab beside it, under a shade: a tap there closes the menu and
// the row under the finger hears nothing, on the first opening as after a screen opened from the
// menu came back, when the tab's bars were laid out anew.
TEST_F(SideMenuTest, TapBesideTheOpenMenuClosesItAndReachesNothingOnEveryTab) {
    const CGRect screen = host.window()->bounds();
    const auto navBar = CustomNavBar::shareManager();
    for (size_t tab = 0; tab < 4; ++tab) {
        SCOPED_TRACE(::testing::Message() << "tab " << tab);
        app->tabBarController()->setSelectedIndex(tab);
        host.runFor(0);
        const auto nav = navigation(tab);
        const auto container = nav->topViewController();
        std::shared_ptr<UITableView> table;
        ASSERT_TRUE(runUntil([&] {
            table = firstTable(container->view());
            return table && !table->visibleCells().empty() && !FactoryClass::isLoadingShown();
        }));
        std::shared_ptr<UIViewController> menu;
        for (bool roundTrip : {false, true}) {
            SCOPED_TRACE(roundTrip ? "after a screen opened from the menu came back" : "opened");
            tap(navBar->leftButton());
            settle();
            for (const auto& child : container->childViewControllers())
                if (std::dynamic_pointer_cast<LeftViewController>(child)) menu = child;
            ASSERT_TRUE(menu);
            ASSERT_TRUE(shown(menu->view(), screen));
            if (roundTrip) {
                tap(std::static_pointer_cast<LeftViewController>(menu)->favouritesRow());
                ASSERT_TRUE(runUntil([&] { return nav->topViewController() != container; }));
                settle();
                tap(navBar->leftButton());
                ASSERT_TRUE(runUntil([&] { return nav->topViewController() == container; }));
                settle();
                ASSERT_TRUE(shown(menu->view(), screen));
            }

            // Where the tab bar lies, the menu shows as above it.
            const CGRect m = inWindow(menu->view());
            const CGFloat barY = screen.size.height - CustomTabBar::kHeight / 2;
            EXPECT_TRUE(testsupport::colourNear(pixel(CGRectGetMidX(m), barY),
                                                pixel(CGRectGetMidX(m), barY - 80)));

            const auto row = table->visibleCells().front();
            host.tap(CGPointMake((CGRectGetMaxX(m) + screen.size.width) / 2,
                                 CGRectGetMidY(inWindow(row))));
            host.runFor(0);
            settle();
            EXPECT_FALSE(shown(menu->view(), screen));
            EXPECT_EQ(nav->viewControllers().size(), 1u);
            EXPECT_FALSE(table->indexPathForSelectedRow());
            EXPECT_FALSE(shownPopup(nav));
            if (::testing::Test::HasFailure()) return;
        }
    }
}

}  // namespace
