#include "UIKit/UINavigationController.h"
#include "UIKit/UITabBarController.h"
#include "UIKit/UIViewController.h"
#include "UITestCommon.h"

namespace {

using Log = std::vector<std::string>;

class Screen : public UIViewController {
  public:
    static std::shared_ptr<Screen> create(std::string name, std::shared_ptr<Log> log) {
        auto s = std::shared_ptr<Screen>(new Screen());
        s->name_ = std::move(name);
        s->log_ = std::move(log);
        return s;
    }
    void loadView() override {
        ++loads;
        UIViewController::loadView();
    }
    void viewDidLoad() override { note("didLoad"); }
    void viewWillAppear(bool) override { note("willAppear"); }
    void viewDidAppear(bool) override { note("didAppear"); }
    void viewWillDisappear(bool) override { note("willDisappear"); }
    void viewDidDisappear(bool) override { note("didDisappear"); }
    void willMoveToParentViewController(const std::shared_ptr<UIViewController>& p) override {
        note(p ? "willMove" : "willMove(nil)");
    }
    void didMoveToParentViewController(const std::shared_ptr<UIViewController>& p) override {
        note(p ? "didMove" : "didMove(nil)");
    }
    int loads = 0;

  private:
    Screen() = default;
    void note(const std::string& what) { log_->push_back(name_ + ":" + what); }
    std::string name_;
    std::shared_ptr<Log> log_;
};

class ViewControllerTest : public ::testing::Test {
  protected:
    void TearDown() override {
        host.reset();
        NSRunLoop::mainRunLoop()->runUntilIdle();
    }
    std::shared_ptr<Screen> screen(const std::string& name) { return Screen::create(name, log); }
    // A navigation controller with the screen at its root, shown as the window's root.
    std::shared_ptr<UINavigationController> showInNavigation(const std::shared_ptr<Screen>& root) {
        auto nav = UINavigationController::create(root);
        host->window()->setRootViewController(nav);
        return nav;
    }
    void tapCentreOf(const std::shared_ptr<UIView>& v) {
        const CGRect r = v->convertRectToView(v->bounds(), nullptr);
        host->tap({CGRectGetMidX(r), CGRectGetMidY(r)});
    }
    Log take() {
        Log out = std::move(*log);
        log->clear();
        return out;
    }
    std::unique_ptr<HeadlessHost> host = std::make_unique<HeadlessHost>();
    std::shared_ptr<Log> log = std::make_shared<Log>();
};

TEST_F(ViewControllerTest, WindowRootLoadsOnceJoinsTheResponderChainAndGoesWithTheWindow) {
    auto a = screen("A");
    EXPECT_FALSE(a->isViewLoaded());
    host->window()->setRootViewController(a);
    EXPECT_EQ(take(), (Log{"A:didLoad", "A:willAppear", "A:didAppear"}));
    EXPECT_EQ(a->view()->frame(), host->window()->bounds());
    EXPECT_EQ(a->loads, 1);
    EXPECT_EQ(a->view()->nextResponder(), a);
    EXPECT_EQ(a->nextResponder(), host->window());

    auto b = screen("B");
    host->window()->setRootViewController(b);
    EXPECT_EQ(take(), (Log{"A:willDisappear", "A:didDisappear", "B:didLoad", "B:willAppear",
                           "B:didAppear"}));
    EXPECT_EQ(a->view()->superview(), nullptr);
    host->window()->setHidden(true);
    EXPECT_EQ(take(), (Log{"B:willDisappear", "B:didDisappear"}));
    host->window()->setHidden(false);
    EXPECT_EQ(take(), (Log{"B:willAppear", "B:didAppear"}));
}

TEST_F(ViewControllerTest, PushAndPopTellTheControllersInOrder) {
    auto a = screen("A");
    auto nav = UINavigationController::create(a);
    EXPECT_EQ(take(), (Log{"A:willMove", "A:didMove"}));
    EXPECT_FALSE(a->isViewLoaded());
    host->window()->setRootViewController(nav);
    EXPECT_EQ(take(), (Log{"A:didLoad", "A:willAppear", "A:didAppear"}));

    auto b = screen("B");
    nav->pushViewController(b, false);
    EXPECT_EQ(take(), (Log{"B:willMove", "B:didLoad", "A:willDisappear", "B:willAppear",
                           "A:didDisappear", "B:didAppear", "B:didMove"}));
    EXPECT_EQ(b->navigationController(), nav);
    EXPECT_EQ(b->view()->superview(), nav->view());
    EXPECT_EQ(a->view()->superview(), nullptr);
    EXPECT_EQ(nav->navigationBar()->items().size(), 2u);

    EXPECT_EQ(nav->popViewControllerAnimated(false), b);
    EXPECT_EQ(take(), (Log{"B:willMove(nil)", "B:willDisappear", "A:willAppear", "B:didDisappear",
                           "A:didAppear", "B:didMove(nil)"}));
    EXPECT_EQ(b->parentViewController(), nullptr);
    EXPECT_EQ(nav->popViewControllerAnimated(false), nullptr);  // the root stays
    EXPECT_EQ(nav->viewControllers().size(), 1u);

    // A controller cannot be pushed twice.
    nav->pushViewController(a, false);
    EXPECT_EQ(nav->viewControllers().size(), 1u);

    // Animated, the push finishes on the next turn.
    nav->pushViewController(b, true);
    EXPECT_EQ(take(), (Log{"B:willMove", "A:willDisappear", "B:willAppear"}));
    NSRunLoop::mainRunLoop()->runOnce();
    EXPECT_EQ(take(), (Log{"A:didDisappear", "B:didAppear", "B:didMove"}));

    // Popping to a controller skips the ones in between.
    auto c = screen("C"), d = screen("D");
    nav->pushViewController(c, false);
    nav->pushViewController(d, false);
    take();
    EXPECT_EQ(nav->popToViewController(b, false),
              (std::vector<std::shared_ptr<UIViewController>>{c, d}));
    EXPECT_EQ(take(), (Log{"C:willMove(nil)", "D:willMove(nil)", "D:willDisappear", "B:willAppear",
                           "D:didDisappear", "B:didAppear", "C:didMove(nil)", "D:didMove(nil)"}));
    EXPECT_EQ(nav->popToRootViewControllerAnimated(false),
              (std::vector<std::shared_ptr<UIViewController>>{b}));
    EXPECT_EQ(nav->visibleViewController(), a);
}

TEST_F(ViewControllerTest, NavigationItemsShowInTheBarThatKeepsItsHeightWhenHidden) {
    auto a = screen("A");
    a->setTitle("消息");
    a->setEdgesForExtendedLayout(UIRectEdgeNone);
    auto nav = showInNavigation(a);
    auto bar = nav->navigationBar();
    nav->view()->layoutIfNeeded();
    EXPECT_EQ(bar->frame(), CGRectMake(0, 20, 320, 44));
    EXPECT_EQ(a->view()->frame(), CGRectMake(0, 64, 320, 568 - 64));
    bar->setTitleTextAttributes({UIFont::boldSystemFontOfSize(19), UIColor::whiteColor()});
    auto title = std::dynamic_pointer_cast<UILabel>(bar->titleView());
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->font()->pointSize(), 19);
    EXPECT_TRUE(title->textColor()->isEqual(*UIColor::whiteColor()));

    int edits = 0;
    auto right = UIBarButtonItem::create(
        "编辑", UIBarButtonItemStylePlain, std::shared_ptr<NSObject>(UIView::create()),
        [&edits](const std::shared_ptr<UIBarButtonItem>&) { ++edits; });
    right->setTintColor(UIColor::redColor());
    a->navigationItem()->setRightBarButtonItem(right);
    auto left = UIView::create(CGRectMake(0, 0, 30, 30));
    a->navigationItem()->setLeftBarButtonItem(UIBarButtonItem::createWithCustomView(left));
    a->setTitle("全部消息");
    host->window()->layoutIfNeeded();
    EXPECT_EQ(std::dynamic_pointer_cast<UILabel>(bar->titleView())->text(), "全部消息");
    EXPECT_EQ(left->frame(), CGRectMake(8, 7, 30, 30));
    auto button = std::dynamic_pointer_cast<UIButton>(bar->rightView());
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->currentTitle(), "编辑");
    EXPECT_TRUE(button->currentTitleColor()->isEqual(*UIColor::redColor()));
    EXPECT_DOUBLE_EQ(CGRectGetMaxX(button->frame()), 320 - 8);
    // The target was a temporary: the item keeps no one alive, and sends nothing once it went.
    tapCentreOf(button);
    EXPECT_EQ(edits, 0);

    auto keeper = UIView::create();
    a->navigationItem()->setRightBarButtonItem(UIBarButtonItem::create(
        "编辑", UIBarButtonItemStylePlain, std::shared_ptr<NSObject>(keeper),
        [&edits](const std::shared_ptr<UIBarButtonItem>&) { ++edits; }));
    host->window()->layoutIfNeeded();
    tapCentreOf(bar->rightView());
    EXPECT_EQ(edits, 1);

    // The pushed screen gets a back button that pops.
    auto b = screen("B");
    nav->pushViewController(b, false);
    host->window()->layoutIfNeeded();
    auto back = std::dynamic_pointer_cast<UIButton>(bar->leftView());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->currentTitle(), "全部消息");
    tapCentreOf(back);
    NSRunLoop::mainRunLoop()->runUntilIdle();
    EXPECT_EQ(nav->topViewController(), a);

    nav->setNavigationBarHidden(true, true);
    EXPECT_TRUE(bar->isHidden());
    EXPECT_EQ(bar->frame().size.height, 44);
    EXPECT_EQ(a->view()->frame(), CGRectMake(0, 0, 320, 568));
}

TEST_F(ViewControllerTest, TabSwitchTellsBothAndTheBarFollows) {
    auto a = screen("A"), b = screen("B"), c = screen("C");
    a->setTabBarItem(UITabBarItem::create("询价", nullptr, 1));
    b->setTabBarItem(UITabBarItem::create("订单", nullptr, 2));
    c->setTitle("消息");
    auto nav = UINavigationController::create(c);
    nav->setTabBarItem(c->tabBarItem());
    auto tabs = UITabBarController::create();
    tabs->setViewControllers({a, b, nav});
    host->window()->setRootViewController(tabs);
    tabs->view()->layoutIfNeeded();
    take();
    EXPECT_EQ(tabs->tabBar()->frame(), CGRectMake(0, 568 - 49, 320, 49));
    EXPECT_EQ(tabs->tabBar()->selectedItem(), a->tabBarItem());

    tabs->setSelectedIndex(1);
    EXPECT_EQ(take(), (Log{"B:didLoad", "A:willDisappear", "B:willAppear", "A:didDisappear",
                           "B:didAppear"}));
    EXPECT_EQ(a->view()->superview(), nullptr);
    tabs->setSelectedIndex(1);
    tabs->setSelectedIndex(7);
    EXPECT_TRUE(take().empty());

    // A tap on the third item shows the navigation controller and its top screen.
    auto item = tabs->tabBar()->buttonForItem(c->tabBarItem().get());
    tapCentreOf(item);
    EXPECT_EQ(take(), (Log{"C:didLoad", "B:willDisappear", "C:willAppear", "B:didDisappear",
                           "C:didAppear"}));

    // A pushed screen asking for it moves the bar out, its hidden flag untouched.
    auto d = screen("D");
    d->setHidesBottomBarWhenPushed(true);
    nav->pushViewController(d, false);
    EXPECT_EQ(tabs->tabBar()->frame().origin.y, 568);
    EXPECT_FALSE(tabs->tabBar()->isHidden());
    nav->popViewControllerAnimated(false);
    EXPECT_EQ(tabs->tabBar()->frame().origin.y, 568 - 49);
}

TEST_F(ViewControllerTest, ChildrenShowingTheirViewsFollowTheParent) {
    auto parent = screen("P");
    auto shown = screen("S"), offstage = screen("O");
    parent->addChildViewController(shown);
    shown->view();
    parent->view()->addSubview(shown->view());
    shown->didMoveToParentViewController(parent);
    parent->addChildViewController(offstage);
    offstage->didMoveToParentViewController(parent);
    take();

    host->window()->setRootViewController(parent);
    EXPECT_EQ(take(), (Log{"P:willAppear", "S:willAppear", "P:didAppear", "S:didAppear"}));
    shown->willMoveToParentViewController(nullptr);
    shown->removeFromParentViewController();
    EXPECT_EQ(take(), (Log{"S:willMove(nil)", "S:didMove(nil)"}));
    EXPECT_EQ(parent->childViewControllers().size(), 1u);
    EXPECT_EQ(shown->parentViewController(), nullptr);
}

TEST_F(ViewControllerTest, PresentedControllerCoversTheWindowUntilDismissed) {
    auto a = screen("A");
    auto nav = showInNavigation(a);
    take();
    auto m = screen("M");
    bool presented = false;
    a->presentViewController(m, false, [&presented] { presented = true; });
    EXPECT_TRUE(presented);
    EXPECT_EQ(take(), (Log{"M:didLoad", "A:willDisappear", "M:willAppear", "M:didAppear",
                           "A:didDisappear"}));
    EXPECT_EQ(m->presentingViewController(), nav);
    EXPECT_EQ(m->view()->frame(), host->window()->bounds());
    a->presentViewController(screen("X"), false);  // one at a time
    EXPECT_TRUE(take().empty());

    bool dismissed = false;
    m->dismissViewControllerAnimated(true, [&dismissed] { dismissed = true; });
    EXPECT_EQ(take(), (Log{"M:willDisappear", "A:willAppear"}));
    EXPECT_FALSE(dismissed);
    NSRunLoop::mainRunLoop()->runOnce();
    EXPECT_TRUE(dismissed);
    EXPECT_EQ(take(), (Log{"M:didDisappear", "A:didAppear"}));
    EXPECT_EQ(m->view()->superview(), nullptr);
    EXPECT_EQ(nav->presentedViewController(), nullptr);
}

}  // namespace
