#include <functional>
#include <vector>

#include "Foundation/NSURL.h"
#include "Foundation/NSURLConnection.h"
#include "Foundation/NSURLRequest.h"
#include "LabelFit.h"
#include "MessagesFixture.h"
#include "VMMapServices.h"
#include "inquiries/HomeInfoViewController.h"
#include "inquiries/RemarkViewController.h"
#include "messages/MapViewController.h"
#include "messages/MessageCell.h"
#include "messages/MessageInfoCell.h"
#include "messages/PublicNewsViewController.h"
#include "shell/CustomNavBar.h"
#include "shell/CustomTabBar.h"

namespace {

using testsupport::runUntil;

class MessageCentreTest : public MessagesFixture {
  protected:
    void SetUp() override {
        MessagesFixture::SetUp();
        list = showMessages();
        ASSERT_TRUE(list);
        ASSERT_TRUE(runUntil([&] { return !requests->isInFlight(pageOne()); }));
    }
    std::string pageOne() const {
        return "UserOrEngineerID=" + app->APPUserID() + "&rows=10&pageindex=1&lastDateTime=";
    }
    // The row of the first loaded message that matches; -1 when none.
    int rowOf(const std::function<bool(const HomeModel&)>& match) {
        for (size_t i = 0; i < list->dataArray().size(); ++i)
            if (match(*list->dataArray()[i])) return static_cast<int>(i);
        return -1;
    }
    // Loads pages until a message matches.
    int findRow(const std::function<bool(const HomeModel&)>& match) {
        while (rowOf(match) < 0 && list->pageIndex() < 20) {
            const size_t before = list->dataArray().size();
            pullPastEnd(*list);
            if (!runUntil([&] { return list->dataArray().size() > before; })) break;
        }
        list->tableView()->setContentOffset(CGPointZero);
        return rowOf(match);
    }
    std::shared_ptr<MessageCell> cell(int row) {
        return cellOf<MessageCell>(list->tableView(), row);
    }
    void tapRow(int row) {
        const auto c = cell(row);
        ASSERT_TRUE(c);
        const CGRect f = c->convertRectToView(c->bounds(), nullptr);
        ASSERT_TRUE(runUntil([] { return !FactoryClass::isLoadingShown(); }));
        host.tap(CGPointMake(f.origin.x + f.size.width / 2, f.origin.y + 60));
        host.runFor(0);
    }
    std::shared_ptr<UIViewController> top() { return navigation(kMessageTab)->topViewController(); }
    void back() {
        navigation(kMessageTab)->popToRootViewControllerAnimated(false);
        host.runFor(0);
    }
    bool unreadOf(const std::string& type, const HomeModel& m) {
        return m.newtypeIDStr() == type && m.isReadStr() != "1";
    }

    std::shared_ptr<MessageMiddleViewController> list;
};

TEST_F(MessageCentreTest, PagesDotsAndTimesOfTheList) {
    ASSERT_EQ(list->dataArray().size(), 10u);
    pullPastEnd(*list);
    ASSERT_TRUE(runUntil([&] { return list->dataArray().size() == 20; }));
    EXPECT_TRUE(
        requests->replyForKey("UserOrEngineerID=" + app->APPUserID() + "&rows=10&pageindex=2")
            .is_object());
    list->tableView()->setContentOffset(CGPointZero);
    for (int row = 0; row < 20; ++row) {
        const auto& item = *list->dataArray()[static_cast<size_t>(row)];
        const auto c = cell(row);
        ASSERT_TRUE(c);
        const bool dot = !c->signView()->backgroundColor()->isEqual(*UIColor::clearColor());
        EXPECT_EQ(dot, item.isReadStr() != "1" && item.newtypeIDStr() != "-1") << row;
        EXPECT_EQ(c->timeLab()->text(), item.timeStr().substr(0, 19));
        EXPECT_EQ(c->timeLab()->text().find('.'), std::string::npos);
    }
    EXPECT_FALSE(CustomTabBar::shareManager()->badge()->isHidden());
    const auto second =
        requests->replyForKey("UserOrEngineerID=" + app->APPUserID() + "&rows=10&pageindex=2");
    EXPECT_EQ(list->rowsOfOnePage(), 10u);
    EXPECT_EQ(list->totalRowCount(), second["totalCount"].get<uint64_t>());
    screenshot("message-centre.png");

    // Redrawn from the items: a message marked read loses its dot.
    const int unread = rowOf([&](const HomeModel& m) { return unreadOf("56", m); });
    ASSERT_GE(unread, 0);
    list->dataArray()[static_cast<size_t>(unread)]->setIsReadStr("1");
    list->refreshCurrentDataTable();
    EXPECT_TRUE(cell(unread)->signView()->backgroundColor()->isEqual(*UIColor::clearColor()));
}

TEST_F(MessageCentreTest, OpeningAMessageMarksItReadAndOpensWhatItIsAbout) {
    // An inquiry message: read on the server, one less on the badge and in the defaults.
    int row = findRow([&](const HomeModel& m) { return unreadOf("56", m); });
    ASSERT_GE(row, 0);
    auto item = list->dataArray()[static_cast<size_t>(row)];
    const long before = app->notReadCount();
    ASSERT_GT(before, 1);
    const std::string read = "newsID=" + item->newsIDStr();
    // What the wait below takes for the mark's reply is this test's own.
    ASSERT_TRUE(requests->replyForKey(read).is_null());
    tapRow(row);
    ASSERT_TRUE(runUntil([&] { return requests->replyForKey(read).is_object(); })) << read;
    EXPECT_EQ(app->notReadCount(), before - 1);
    EXPECT_EQ(NSUserDefaults::standardUserDefaults()->integerForKey("APPNotReadCount"), before - 1);
    EXPECT_EQ(app->remoteLab()->text(), std::to_string(before - 1));
    auto inquiry = std::dynamic_pointer_cast<HomeInfoViewController>(top());
    ASSERT_TRUE(inquiry);
    const std::string detail = "AskPriceID=" + item->resourceIDStr();
    ASSERT_TRUE(runUntil([&] { return requests->replyForKey(detail).is_object(); })) << detail;
    ASSERT_TRUE(runUntil([&] { return !inquiry->titleLabel()->text().empty(); }));
    EXPECT_FALSE(inquiry->faverateBtn()->backgroundImageForState(UIControlStateNormal));
    EXPECT_EQ(stored("SELECT is_read FROM messages WHERE news_id = ?", item->newsIDStr()), "1");
    back();

    // Read already: no second mark.
    watch(read);
    tapRow(row);
    ASSERT_TRUE(std::dynamic_pointer_cast<HomeInfoViewController>(top()));
    back();
    EXPECT_EQ(replies(read), 0);
    EXPECT_EQ(app->notReadCount(), before - 1);

    // An order message opens the order.
    for (const char* type : {"55", "57"}) {
        row = findRow([&](const HomeModel& m) { return m.newtypeIDStr() == type; });
        ASSERT_GE(row, 0) << type;
        item = list->dataArray()[static_cast<size_t>(row)];
        tapRow(row);
        auto order = std::dynamic_pointer_cast<OrderInfoViewController>(top());
        ASSERT_TRUE(order) << type;
        const std::string body = engineer() + "&OrderID=" + item->resourceIDStr();
        ASSERT_TRUE(runUntil([&] { return order->orderIDStr() == item->resourceIDStr(); })) << body;
        EXPECT_TRUE(requests->replyForKey(body).is_object());
        back();
    }

    // A notice opens the notice screen, and neither marks nor counts.
    row = findRow([&](const HomeModel& m) { return m.newtypeIDStr() == "-1"; });
    ASSERT_GE(row, 0);
    item = list->dataArray()[static_cast<size_t>(row)];
    const long count = app->notReadCount();
    watch("newsID=" + item->newsIDStr());
    tapRow(row);
    ASSERT_TRUE(std::dynamic_pointer_cast<RemarkViewController>(top()));
    host.runFor(0.2);
    EXPECT_EQ(replies("newsID=" + item->newsIDStr()), 0);
    EXPECT_EQ(app->notReadCount(), count);
    back();

    // The count the app shows is the server's: the next start signs in with it.
    const long shown = app->notReadCount();
    server.stop();
    std::string error;
    ASSERT_TRUE(server.start(0, &error)) << error;
    launch();
    EXPECT_EQ(app->notReadCount(), shown);
}

TEST_F(MessageCentreTest, TheBadgeFollowsTheUnreadCount) {
    struct Case {
        long seeded;
        bool hidden;
        std::string text;
    };
    const Case cases[] = {
        {101, false, "99+"}, {100, false, "99"}, {2, false, "1"}, {1, true, ""}, {0, true, ""}};
    const auto badge = CustomTabBar::shareManager()->badge();
    ASSERT_EQ(app->remoteLab(), badge);
    ASSERT_EQ(badge->superview(), CustomTabBar::shareManager());
    for (const auto& c : cases) {
        const int row =
            findRow([&](const HomeModel& m) { return unreadOf("58", m) || unreadOf("55", m); });
        ASSERT_GE(row, 0);
        app->setNotReadCount(c.seeded);
        tapRow(row);
        back();
        EXPECT_EQ(app->notReadCount(), std::max(0L, c.seeded - 1)) << c.seeded;
        EXPECT_EQ(badge->isHidden(), c.hidden) << c.seeded;
        if (!c.hidden) {
            EXPECT_EQ(badge->text(), c.text) << c.seeded;
        }
    }
}

TEST_F(MessageCentreTest, EditModeDeletesTheSelectionInOrder) {
    const auto button = list->rightButton();
    ASSERT_TRUE(button);
    EXPECT_EQ(button->superview(), CustomNavBar::shareManager());
    tap(button);
    EXPECT_EQ(button->titleForState(UIControlStateNormal), "删除");
    tap(button);
    EXPECT_EQ(button->titleForState(UIControlStateNormal), "编辑");
    EXPECT_FALSE(list->isEditing());

    tap(button);
    std::vector<std::shared_ptr<HomeModel>> chosen;
    for (const int row : {3, 0, 5}) {
        chosen.push_back(list->dataArray()[static_cast<size_t>(row)]);
        tapRow(row);
    }
    ASSERT_EQ(list->selectArray(), chosen);
    // Beside the check column the time still shows whole, inside the row.
    const auto first = cell(0);
    ASSERT_TRUE(first);
    first->layoutIfNeeded();
    EXPECT_TRUE(readsWhole(*first->timeLab()));
    const CGRect time =
        first->timeLab()->convertRectToView(first->timeLab()->bounds(), first.get());
    EXPECT_LE(CGRectGetMaxX(time), first->bounds().size.width);
    screenshot("message-edit.png");
    for (const auto& m : chosen) watch("NewsID=" + m->newsIDStr());
    tap(button);
    for (const auto& m : chosen)
        EXPECT_EQ(std::find(list->dataArray().begin(), list->dataArray().end(), m),
                  list->dataArray().end());
    EXPECT_EQ(list->dataArray().size(), 7u);
    EXPECT_EQ(button->titleForState(UIControlStateNormal), "编辑");
    for (const auto& m : chosen) {
        ASSERT_TRUE(runUntil([&] { return replies("NewsID=" + m->newsIDStr()) == 1; }));
        EXPECT_EQ(stored("SELECT COUNT(*) FROM messages WHERE news_id = ?", m->newsIDStr()), "0");
    }

    // The button belongs to this bar alone, and says "删除" again when edit mode outlived a visit.
    tap(button);
    app->tabBarController()->setSelectedIndex(kOrderTab);
    host.runFor(0);
    EXPECT_FALSE(button->superview());
    app->tabBarController()->setSelectedIndex(kMessageTab);
    host.runFor(0);
    EXPECT_EQ(list->rightButton()->titleForState(UIControlStateNormal), "删除");
}

TEST_F(MessageCentreTest, TheTabSlidesItsMenuAndReloadsOnceWhenAsked) {
    auto container = std::dynamic_pointer_cast<MessageViewController>(
        navigation(kMessageTab)->topViewController());
    ASSERT_TRUE(container);
    const CGFloat w = container->view()->bounds().size.width;
    tap(CustomNavBar::shareManager()->leftButton());
    host.runFor(0.5);
    EXPECT_TRUE(list->isShowLeftView());
    EXPECT_EQ(container->leftView()->frame().origin.x, 0);
    EXPECT_EQ(container->midView()->frame().origin.x, 0.75 * w);
    ASSERT_TRUE(container->shadowView()->superview());
    // The shade shows on the quarter of the screen the list still covers.
    host.tap(CGPointMake(0.875 * w, 300));
    host.runFor(0.5);
    EXPECT_FALSE(list->isShowLeftView());
    EXPECT_FALSE(container->shadowView()->superview());
    EXPECT_EQ(container->midView()->frame().origin.x, 0);

    watch(pageOne());
    container->setNeedRefreshLoad(true);
    for (int visit = 0; visit < 2; ++visit) {
        app->tabBarController()->setSelectedIndex(kOrderTab);
        host.runFor(0);
        app->tabBarController()->setSelectedIndex(kMessageTab);
        host.runFor(0);
        ASSERT_TRUE(runUntil([&] { return !requests->isInFlight(pageOne()); }));
    }
    EXPECT_EQ(replies(pageOne()), 1);
}

TEST_F(MessageCentreTest, NoticePageShowsTheLastNoticeAndASwipePops) {
    const auto nav = navigation(kMessageTab);
    auto notice = PublicNewsViewController::create();
    nav->pushViewController(notice, false);
    ASSERT_TRUE(runUntil([&] { return requests->replyForKey("").is_object(); }));
    ASSERT_TRUE(runUntil([&] {
        return notice->webView() &&
               notice->webView()->textContent().find("安全作业提醒") != std::string::npos;
    }));
    EXPECT_EQ(notice->webView()->textContent().find("年终结算安排"), std::string::npos);
    host.touchDown(0, CGPointMake(40, 300));
    host.touchMove(0, CGPointMake(150, 300));
    host.touchMove(0, CGPointMake(280, 300));
    host.touchUp(0, CGPointMake(280, 300));
    host.runFor(0.5);
    EXPECT_NE(nav->topViewController(), notice);
}

class AddressSink : public MapViewDelegate {
  public:
    void getAddressFromMap(const std::string& address) override { addresses.push_back(address); }
    std::vector<std::string> addresses;
};

TEST_F(MessageCentreTest, MapPositionScreenHidesTheBarsAndTellsTheAddressOnceOrThatItCannot) {
    VAvaSearchServices::sharedServices()->setApiKey("stale");
    auto sink = std::make_shared<AddressSink>();
    auto screen = MapViewController::create();
    screen->setDelegate(sink);
    EXPECT_EQ(VAvaSearchServices::sharedServices()->apiKey(), BrisfoldAppDelegate::kVendorApiKey);
    EXPECT_EQ(VMMapServices::sharedServices()->apiKey(), BrisfoldAppDelegate::kVendorApiKey);
    EXPECT_TRUE(FactoryClass::isLoadingShown());
    // Pushed, the screen's viewWillAppear hides the bars.
    const auto nav = navigation(kMessageTab);
    nav->setNavigationBarHidden(false);
    nav->setToolbarHidden(false);
    app->tabBarController()->tabBar()->setHidden(false);
    nav->pushViewController(screen, false);
    host.runFor(0.1);
    EXPECT_TRUE(nav->isNavigationBarHidden());
    EXPECT_TRUE(nav->isToolbarHidden());
    EXPECT_TRUE(app->tabBarController()->tabBar()->isHidden());
    ASSERT_TRUE(runUntil([&] { return !sink->addresses.empty(); }));
    host.runFor(0.5);
    EXPECT_EQ(sink->addresses, std::vector<std::string>{kGuangzhou});
    EXPECT_FALSE(FactoryClass::isLoadingShown());
    EXPECT_TRUE(screen->haveSendRequest());
    nav->popViewControllerAnimated(false);

    // Asked again, the screen starts a new lookup with a map view and a search of the vendor's
    // key, and the delegate hears the address once more.
    VMMapServices::sharedServices()->setApiKey("another");
    VAvaSearchServices::sharedServices()->setApiKey("another");
    const auto firstMap = screen->mapView();
    screen->initMapView();
    EXPECT_NE(screen->mapView(), firstMap);
    EXPECT_EQ(VMMapServices::sharedServices()->apiKey(), BrisfoldAppDelegate::kVendorApiKey);
    EXPECT_EQ(VAvaSearchServices::sharedServices()->apiKey(), BrisfoldAppDelegate::kVendorApiKey);
    ASSERT_TRUE(runUntil([&] { return sink->addresses.size() == 2; }));
    VAvaSearchServices::sharedServices()->setApiKey("another");
    screen->initSearch();
    EXPECT_EQ(VAvaSearchServices::sharedServices()->apiKey(), BrisfoldAppDelegate::kVendorApiKey);

    testsupport::TestHTTPServer search;
    search.server().Post(
        "/api/Search/ReGeocode",
        [](const httplib::Request&, httplib::Response& response) { response.status = 500; });
    VAvaSearchServices::sharedServices()->setSearchServer(search.url("/"));
    auto failing = MapViewController::create();
    auto quiet = std::make_shared<AddressSink>();
    failing->setDelegate(quiet);
    ASSERT_TRUE(runUntil([&] { return toast() == "无法获取当前位置"; }));
    EXPECT_TRUE(quiet->addresses.empty());
    EXPECT_FALSE(FactoryClass::isLoadingShown());
}

// A cell of the message centre that nothing shows: a plain row of the identifier it was made
// with, with nothing of its own in it.
TEST(MessageInfoCellTest, IsAnEmptyRow) {
    const auto cell = MessageInfoCell::create(UITableViewCellStyleDefault, "MessageInfoCell");
    EXPECT_EQ(cell->reuseIdentifier(), "MessageInfoCell");
    EXPECT_EQ(cell->style(), UITableViewCellStyleDefault);
    EXPECT_TRUE(cell->contentView()->subviews().empty());
    cell->setSelected(true, false);
    EXPECT_TRUE(cell->isSelected());
}

TEST_F(MessageCentreTest, RemoteNotificationRaisesTheUnreadCountByOne) {
    const auto source = app->notificationSource();
    ASSERT_TRUE(source);
    ASSERT_TRUE(runUntil([&] { return source->lastId().has_value(); }));
    const long before = app->notReadCount();
    auto request = NSMutableURLRequest::requestWithURL(
        NSURL::URLWithString("http://127.0.0.1:" + std::to_string(server.port()) + "/push/send"));
    request->setHTTPMethod("POST");
    request->setHTTPBody(engineer() + "&alert=" + formValue("新订单已生成"));
    long status = 0;
    NSURLConnection::sendAsynchronousRequest(
        request, [&](const std::shared_ptr<NSHTTPURLResponse>& response, const NSData&,
                     const NSErrorOpt&) { status = response ? response->statusCode() : -1; });
    // The poll may bring the message before the send's own answer is delivered.
    ASSERT_TRUE(runUntil([&] { return app->notReadCount() == before + 1 && status != 0; }));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(NSUserDefaults::standardUserDefaults()->integerForKey("APPNotReadCount"), before + 1);
    const auto badge = CustomTabBar::shareManager()->badge();
    EXPECT_FALSE(badge->isHidden());
    EXPECT_EQ(badge->text(), before + 1 >= 100 ? "99+" : std::to_string(before + 1));
    // Once only: the next poll brings nothing new.
    host.runFor(0.5);
    EXPECT_EQ(app->notReadCount(), before + 1);
}

TEST(MessageCellTest, MissingRecordHasNoDotNorTexts) {
    auto message = MessageCell::create("MessageCell");
    message->setupUIConfigWithFrame(CGRectMake(0, 0, 320, 70));
    auto item = HomeModel::create();
    item->setNewtypeIDStr("56");
    item->setTitleStr("订单消息");
    message->updateUIConfigWithModel(item.get(), false);
    EXPECT_TRUE(message->signView()->backgroundColor()->isEqual(*UIColor::redColor()));
    message->updateUIConfigWithModel(nullptr, false);
    EXPECT_TRUE(message->signView()->backgroundColor()->isEqual(*UIColor::clearColor()));
    EXPECT_EQ(message->titleLab()->text(), "");
}

}  // namespace
