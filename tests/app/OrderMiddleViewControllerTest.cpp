#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "ManualClock.h"
#include "MessagesFixture.h"
#include "TestHTTPServer.h"
#include "VAvaSearchServices.h"
#include "orders/OrderCell.h"

namespace {

using testsupport::runUntil;

constexpr const char* kBeijing = "北京市东城区东长安街";
constexpr const char* kShenzhen = "广东省深圳市福田区福中三路";

class OrderMiddleViewControllerTest : public MessagesFixture {
  protected:
    void SetUp() override {
        MessagesFixture::SetUp();
        screen = showOrders();
        ASSERT_TRUE(screen);
    }

    // Selects tab i as a tap on it does and waits for its first page.
    void showTab(int i) {
        const auto holder = screen->menu()->viewWithTag(10 + i);
        ASSERT_TRUE(holder);
        const auto button = std::dynamic_pointer_cast<UIButton>(holder->subviews().front());
        ASSERT_TRUE(button);
        button->sendActionsForControlEvents(UIControlEventTouchUpInside);
        std::string body = engineer() + "&rows=10&pageindex=1";
        if (i > 0) body += "&OrderStateID=" + std::to_string(17 + i);
        ASSERT_TRUE(runUntil([&] {
            if (!requests->replyForKey(body).is_object()) return false;
            for (const auto& row : screen->dataArray())
                if (i > 0 && row->orderState() != 17 + i) return false;
            return !screen->dataArray().empty();
        })) << body;
    }
    std::shared_ptr<OrderCell> cellAt(int row) {
        screen->tableView()->scrollToRowAtIndexPath(NSIndexPath::indexPathForRow(row, 0),
                                                    UITableViewScrollPositionTop, false);
        return std::dynamic_pointer_cast<OrderCell>(
            screen->tableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(row, 0)));
    }
    int rowWithActions() const {
        for (size_t i = 0; i < screen->dataArray().size(); ++i)
            if (screen->dataArray()[i]->hasActions()) return static_cast<int>(i);
        ADD_FAILURE() << "no order with actions";
        return 0;
    }
    std::shared_ptr<Pop_upWindow> shownPopup() {
        return MessagesFixture::shownPopup(screen->navigationController());
    }
    std::string stored(const std::string& column, const std::string& order) {
        return MessagesFixture::stored("SELECT " + column + " FROM orders WHERE order_id = ?",
                                       order);
    }
    bool listed(const std::string& order) const {
        for (const auto& row : screen->dataArray())
            if (row->orderIDStr() == order) return true;
        return false;
    }
    std::shared_ptr<OrderMiddleViewController> screen;
};

TEST_F(OrderMiddleViewControllerTest, EveryTabAsksForItsStateAndSwipesMoveBetweenTabs) {
    EXPECT_TRUE(
        requests->replyForKey(engineer() + "&rows=10&pageindex=1&lastDateTime=").is_object());
    EXPECT_EQ(screen->currentSelectSectionStr(), "全部订单");
    screenshot("orders-all.png");
    // A pull past the end appends the second and last page.
    const auto table = screen->tableView();
    screen->scrollViewWillBeginDragging(table);
    table->setContentOffset(
        CGPointMake(0, table->contentSize().height - table->frame().size.height + 70));
    screen->scrollViewDidEndDragging(table, false);
    ASSERT_TRUE(runUntil([&] { return screen->dataArray().size() == 20; }));
    EXPECT_TRUE(
        requests->replyForKey(engineer() + "&rows=10&pageindex=2&lastDateTime=").is_object());
    EXPECT_EQ(screen->bottomLabel()->text(), "已经是最后页");
    table->setContentOffset(CGPointZero);
    for (int i = 1; i <= 5; ++i) {
        showTab(i);
        EXPECT_EQ(screen->currentSelectSectionStr(), OrderMiddleViewController::sectionTitles()[i]);
        EXPECT_EQ(screen->dataArray().size(), 4u);
        if (i == 2) screenshot("orders-to-implement.png");
    }
    // A refresh stays on the tab.
    screen->doRefresh();
    ASSERT_TRUE(runUntil([&] {
        return requests
            ->replyForKey(engineer() +
                          "&rows=10&pageindex=1&OrderStateID=22"
                          "&lastDateTime=")
            .is_object();
    }));
    // Right of the last tab is the first, left of the first is the last.
    screen->swipeSlipForLeft(false);
    EXPECT_EQ(screen->currentSelectSectionStr(), "全部订单");
    ASSERT_TRUE(runUntil(
        [&] { return requests->replyForKey(engineer() + "&rows=10&pageindex=1").is_object(); }));
    screen->swipeSlipForLeft(true);
    EXPECT_EQ(screen->currentSelectSectionStr(), "其他");
    const std::string last = engineer() + "&rows=10&pageindex=1&OrderStateID=22";
    ASSERT_TRUE(runUntil([&] { return !requests->isInFlight(last); }));
}

TEST_F(OrderMiddleViewControllerTest, StateMovesAreSentWithTheAddressOfThePositionTheMapReported) {
    struct Step {
        int tab;
        const char* confirmation;
        const char* position;
        const char* address;
        const char* title;  // the province where the answer has no city
    };
    const Step steps[] = {
        {1, "确认出发吗", "23.12911 113.26436", kGuangzhou, "广州市"},
        {2, "确认实施吗", "39.90872 116.39750", kBeijing, "北京市"},
        {3, "确认完工吗", "22.54286 114.05956", kShenzhen, "深圳市"},
    };
    std::string order;
    for (const auto& step : steps) {
        locateAt(step.position);
        showTab(step.tab);
        int row = 0;
        if (!order.empty())
            while (screen->dataArray().at(static_cast<size_t>(row))->orderIDStr() != order) ++row;
        order = screen->dataArray().at(static_cast<size_t>(row))->orderIDStr();
        cellAt(row)->offerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
        const auto popup = shownPopup();
        ASSERT_TRUE(popup);
        EXPECT_EQ(popup->waterMark(), step.confirmation);
        if (step.tab == 1) screenshot("departure-confirmation.png");
        popup->sureBtnClick();
        const auto mapView = screen->mapView();
        ASSERT_TRUE(mapView) << "the position comes from a map view";
        EXPECT_FALSE(mapView->superview());

        const std::string body = engineer() + "&OrderID=" + order + "&LeaveAddress=" + step.address;
        ASSERT_TRUE(runUntil([&] { return requests->replyForKey(body).is_object(); })) << body;
        EXPECT_EQ(requests->replyForKey(body)["code"], "1");
        EXPECT_EQ(mapView->userLocation()->title(), step.title);
        EXPECT_EQ(mapView->userLocation()->subtitle(), step.address);
        EXPECT_FALSE(screen->mapView());
        // Only the move of the order's state is accepted: "code" 1 shows the path was right.
        EXPECT_EQ(stored("order_state_id", order), std::to_string(19 + step.tab - 1));
        EXPECT_EQ(stored("leave_address", order), step.address);
        // A success reloads the tab, where the order is no longer.
        ASSERT_TRUE(runUntil([&] { return !listed(order) && !screen->dataArray().empty(); }));
        EXPECT_EQ(screen->currentSelectSectionStr(),
                  OrderMiddleViewController::sectionTitles()[step.tab]);
    }
}

TEST_F(OrderMiddleViewControllerTest, PositionThatCannotBeHadIsToldAndALaterTryWorks) {
    // Out at sea: no address is near, so the search fails.
    locateAt("10.00000 140.00000");
    showTab(1);
    const std::string order = screen->dataArray().front()->orderIDStr();
    cellAt(0)->offerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    shownPopup()->sureBtnClick();
    ASSERT_TRUE(runUntil([&] { return toast() == PositionLookup::kFailureMessage; }));
    EXPECT_FALSE(FactoryClass::isLoadingShown());
    EXPECT_FALSE(screen->isSendAddress());
    EXPECT_FALSE(screen->mapView());
    EXPECT_EQ(stored("order_state_id", order), "18");

    // No fix in time.
    ASSERT_TRUE(runUntil([&] { return toast().empty(); }));
    {
        const auto file = shellHome.dir.path() / "late.txt";
        std::ofstream(file) << "1000 fix 23.12911 113.26436 10\n";
        CLLocationManager::setSource(CLLocationSource::fromFile(file.string(), nullptr));
        testsupport::ManualClock clock;
        cellAt(0)->offerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
        shownPopup()->sureBtnClick();
        clock.advance(PositionLookup::kFixTimeout - 1);
        EXPECT_TRUE(FactoryClass::isLoadingShown());
        clock.advance(2);
        EXPECT_EQ(toast(), PositionLookup::kFailureMessage);
        EXPECT_FALSE(FactoryClass::isLoadingShown());
        EXPECT_FALSE(screen->isSendAddress());
        clock.advance(10);
    }
    EXPECT_EQ(stored("order_state_id", order), "18");

    locateAt("23.12911 113.26436");
    ASSERT_TRUE(runUntil([&] { return toast().empty(); }));
    cellAt(0)->offerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    shownPopup()->sureBtnClick();
    ASSERT_TRUE(runUntil([&] { return stored("order_state_id", order) == "19"; }));
    EXPECT_EQ(stored("leave_address", order), kGuangzhou);
}

TEST_F(OrderMiddleViewControllerTest,
       TheAddressGoesToTheOrderConfirmedThoughTheListChangedMeanwhile) {
    // The search answers only when the test lets it, with an address that needs escaping.
    testsupport::TestHTTPServer search;
    search.server().Post(
        "/api/Search/ReGeocode", [&](const httplib::Request&, httplib::Response& response) {
            search.waitAtGate();
            response.set_content(R"({"code":"1","regeocode":{"formattedAddress":"府前路1&2号",)"
                                 R"("addressComponent":{"province":"广东省","city":"广州市"}}})",
                                 "application/json");
        });
    VAvaSearchServices::sharedServices()->setSearchServer(search.url("/"));
    showTab(1);
    const std::string order = screen->dataArray().front()->orderIDStr();
    cellAt(0)->offerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    shownPopup()->sureBtnClick();
    ASSERT_TRUE(runUntil([&] { return search.waitingAtGate() == 1; }));

    // While the action waits, another tab's page arrives and is shown.
    showTab(2);
    EXPECT_FALSE(listed(order));
    EXPECT_TRUE(screen->isSendAddress());
    search.releaseGate();

    const std::string body = engineer() + "&OrderID=" + order + "&LeaveAddress=府前路1%262号";
    ASSERT_TRUE(runUntil([&] { return requests->replyForKey(body).is_object(); })) << body;
    EXPECT_EQ(requests->replyForKey(body)["code"], "1");
    EXPECT_EQ(stored("leave_address", order), "府前路1&2号");
    ASSERT_TRUE(runUntil([&] { return !screen->isSendAddress(); }));
}

TEST_F(OrderMiddleViewControllerTest, CancellationAndCompensationAreSentAndARefusalKeepsTheList) {
    showTab(5);
    int row = rowWithActions();
    const std::string claimed = screen->dataArray()[static_cast<size_t>(row)]->orderIDStr();
    cellAt(row)->offerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    auto popup = shownPopup();
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->titleOne(), "补偿金额");
    EXPECT_EQ(popup->titleTwo(), "补偿原因");
    popup->contentTF()->setText("0");
    popup->contentTF_two()->setText("路费&refundPrice=9999");
    popup->sureBtnClick();
    const std::string claim =
        engineer() + "&orderID=" + claimed + "&refundPrice=0&reason=路费%26refundPrice%3D9999";
    ASSERT_TRUE(runUntil([&] { return requests->replyForKey(claim).is_object(); })) << claim;
    EXPECT_EQ(stored("refund_reason", claimed), "路费&refundPrice=9999");
    EXPECT_EQ(stored("refund_price", claimed), "0");
    ASSERT_TRUE(runUntil([&] { return toast() == "补偿申请已提交"; }));
    ASSERT_TRUE(runUntil([&] {
        for (const auto& r : screen->dataArray())
            if (r->orderIDStr() == claimed) return r->IsAgreeRefundStr() == "1";
        return false;
    }));

    // The server settles the other cancelled order meanwhile: confirming it is refused, and the
    // rows stay as they were.
    row = rowWithActions();
    const std::string cancelled = screen->dataArray()[static_cast<size_t>(row)]->orderIDStr();
    devserver::Database(server.dataFile())
        .run("UPDATE orders SET is_agree_refund = 1 WHERE order_id = ?", cancelled);
    const auto before = screen->dataArray();
    cellAt(row)->favrateButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    popup = shownPopup();
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->waterMark(), "确认取消吗");
    popup->sureBtnClick();
    const std::string cancel = engineer() + "&orderID=" + cancelled;
    ASSERT_TRUE(runUntil([&] { return requests->replyForKey(cancel).is_object(); }));
    EXPECT_EQ(requests->replyForKey(cancel)["code"], "0");
    ASSERT_TRUE(runUntil([&] { return toast() == "该订单已处理"; }));
    EXPECT_EQ(screen->dataArray(), before);
    EXPECT_FALSE(screen->isSendAddress());
}

}  // namespace
