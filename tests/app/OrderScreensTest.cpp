#include <fstream>
#include <tuple>
#include <vector>

#include "LabelFit.h"
#include "LogCapture.h"
#include "ManualClock.h"
#include "MessagesFixture.h"
#include "UIKit/UIApplication.h"
#include "orders/OrderCell.h"
#include "orders/OrderInfoCell.h"

namespace {

using testsupport::runUntil;

constexpr const char* kBeijing = "北京市东城区东长安街";
constexpr const char* kShenzhen = "广东省深圳市福田区福中三路";

// The signed-in app showing the first page of its order list.
class OrderScreens : public MessagesFixture {
  protected:
    void SetUp() override {
        MessagesFixture::SetUp();
        list = showOrders();
        ASSERT_TRUE(list);
    }

    // Pushes the detail of the order as the list does, and waits for it.
    std::shared_ptr<OrderInfoViewController> open(const std::string& order) {
        auto detail = OrderInfoViewController::create(list);
        detail->setOrderIDStr(order);
        navigation(kOrderTab)->pushViewController(detail, false);
        EXPECT_TRUE(runUntil([&] { return !detail->rowsOfSection(1).empty(); })) << order;
        return detail;
    }
    std::string orderWhere(const std::string& condition) {
        return stored(
            "SELECT r.order_id FROM orders r JOIN inquiries i USING (ask_price_id) "
            "WHERE r.engineer_id = ? AND " +
                condition + " ORDER BY r.add_date DESC LIMIT 1",
            app->APPUserID());
    }
    std::vector<std::string> titles(const OrderInfoViewController& detail, int section) {
        std::vector<std::string> t;
        for (const auto& row : detail.rowsOfSection(section)) t.push_back(row->titleStr());
        return t;
    }
    std::shared_ptr<OrderInfoCell> row(const std::shared_ptr<OrderInfoViewController>& detail,
                                       const std::string& title, int section = 2) {
        const int i = rowTitled(*detail, section, title);
        EXPECT_GE(i, 0) << title;
        return i < 0 ? nullptr : cellOf<OrderInfoCell>(detail->tableView(), i, section);
    }
    std::shared_ptr<OrderInfoCell> actionRow(const std::shared_ptr<OrderInfoViewController>& d) {
        return std::dynamic_pointer_cast<OrderInfoCell>(
            cellAt(d->tableView(), static_cast<int>(d->rowsOfSection(4).size()), 4));
    }

    // The body asking for the first page of tab i, whose orders are in state 17 + i.
    std::string firstPage(int i) const {
        return engineer() + "&rows=10&pageindex=1" +
               (i > 0 ? "&OrderStateID=" + std::to_string(17 + i) : "");
    }
    // Selects tab i as a tap on it does and waits for its first page.
    void showTab(int i) {
        const auto holder = list->menu()->viewWithTag(10 + i);
        ASSERT_TRUE(holder);
        std::dynamic_pointer_cast<UIButton>(holder->subviews().front())
            ->sendActionsForControlEvents(UIControlEventTouchUpInside);
        const std::string body = firstPage(i);
        ASSERT_TRUE(runUntil([&] {
            if (!requests->replyForKey(body).is_object()) return false;
            for (const auto& row : list->dataArray())
                if (i > 0 && row->orderState() != 17 + i) return false;
            return !list->dataArray().empty();
        })) << body;
    }
    // Taps the action of the card in the row and gives the pop-up asking to confirm it.
    std::shared_ptr<Pop_upWindow> act(int row) {
        cellOf<OrderCell>(list->tableView(), row)
            ->offerButton()
            ->sendActionsForControlEvents(UIControlEventTouchUpInside);
        return listPopup();
    }
    int rowWithActions() const {
        for (size_t i = 0; i < list->dataArray().size(); ++i)
            if (list->dataArray()[i]->hasActions()) return static_cast<int>(i);
        ADD_FAILURE() << "no order with actions";
        return 0;
    }
    std::shared_ptr<Pop_upWindow> listPopup() { return shownPopup(list->navigationController()); }
    std::string orderColumn(const std::string& column, const std::string& order) {
        return stored("SELECT " + column + " FROM orders WHERE order_id = ?", order);
    }
    bool listed(const std::string& order) const {
        for (const auto& row : list->dataArray())
            if (row->orderIDStr() == order) return true;
        return false;
    }
    std::shared_ptr<OrderMiddleViewController> list;
};
class OrderInfoViewControllerTest : public OrderScreens {};
class OrderMiddleViewControllerTest : public OrderScreens {};

TEST_F(OrderInfoViewControllerTest, CardOpensTheDetailWithItsHeaderRowsPricesAndDevicePages) {
    // The "待出发" tab; its first card is the newest waiting order.
    list->swipeSlipForLeft(false);
    const std::string tabBody = engineer() + "&rows=10&pageindex=1&OrderStateID=18";
    ASSERT_TRUE(runUntil([&] {
        return requests->replyForKey(tabBody).is_object() && !list->dataArray().empty() &&
               list->dataArray().front()->orderState() == 18;
    }));
    const std::string order = list->dataArray().front()->orderIDStr();
    const std::string inquiry = list->dataArray().front()->askPriceIDStr();
    const auto card = cellAt(list->tableView(), 0);
    const CGRect f = card->convertRectToView(card->bounds(), nullptr);
    testsupport::LogCapture log;
    host.tap(CGPointMake(f.origin.x + 2, f.origin.y + 2));  // clear of the card's buttons
    host.runFor(0);
    EXPECT_TRUE(log.contains(inquiry + "   " + order));
    auto detail = std::dynamic_pointer_cast<OrderInfoViewController>(
        navigation(kOrderTab)->topViewController());
    ASSERT_TRUE(detail) << "a tap on the card opens the detail";
    const std::string body = engineer() + "&OrderID=" + order;
    ASSERT_TRUE(runUntil([&] { return detail->tableView() && !detail->rowsOfSection(1).empty(); }));
    const auto reply = requests->replyForKey(body);
    ASSERT_TRUE(reply.is_object()) << body;
    EXPECT_EQ(detail->titleLabel()->text(), reply["UserName"]);
    EXPECT_EQ(detail->signLabel()->text(), "待出发");
    EXPECT_EQ(detail->subTitleLabel()->text(), reply["GoodsName"]);
    EXPECT_EQ(detail->leftLabel()->text(), "包含差旅费");
    EXPECT_EQ(detail->midLabel()->text(), reply["City"]);
    EXPECT_EQ(detail->botButtonTitleStr(), "出发");
    EXPECT_EQ(detail->tableView()->numberOfSections(), 5);
    EXPECT_EQ(titles(*detail, 1)[0], "行业");
    const auto second = titles(*detail, 2);
    EXPECT_NE(std::find(second.begin(), second.end(), "设备成交价格"), second.end());
    EXPECT_EQ(titles(*detail, 3)[0], "最终客户名称");
    EXPECT_EQ(titles(*detail, 4), (std::vector<std::string>{"需求细节描述", "评价"}));

    const auto history = row(detail, "历史报价");
    ASSERT_TRUE(history);
    ASSERT_TRUE(history->history_threeLabel());
    EXPECT_EQ(history->history_oneLabel()->text(),
              std::to_string(reply["OfferList"][0]["offerPrice"].get<int>()));
    EXPECT_EQ(history->history_threeLabel()->text(),
              std::to_string(reply["OfferList"][2]["offerPrice"].get<int>()));
    for (const char* red : {"当前最低报价", "订单金额"}) {
        const auto cell = row(detail, red);
        ASSERT_TRUE(cell);
        EXPECT_TRUE(cell->contentTextView()->textColor()->isEqual(*UIColor::redColor())) << red;
    }
    detail->tableView()->setContentOffset(CGPointZero);
    screenshot("order-detail.png");

    // Four device rows under the heading, and the arrow asks for the next page of three. The
    // counter moves only with a page that came: past the last one, the same page is asked.
    EXPECT_EQ(detail->topDataArray().size(), 4u);
    for (const auto& [pageindex, rows, counted] : std::vector<std::tuple<int, size_t, uint64_t>>{
             {2, 7, 2}, {3, 8, 3}, {4, 8, 3}, {4, 8, 3}}) {
        const std::string asked =
            "askpriceID=" + inquiry + "&rows=3&pageindex=" + std::to_string(pageindex);
        cellAt(detail->tableView(), 0, 0);
        const auto arrow = detail->tableView()->footerViewForSection(0);
        ASSERT_TRUE(arrow && !arrow->subviews().empty());
        tap(arrow->subviews().front());
        ASSERT_TRUE(runUntil([&] { return !requests->isInFlight(asked); })) << asked;
        EXPECT_TRUE(requests->replyForKey(asked).is_object()) << asked;
        EXPECT_EQ(detail->topDataArray().size(), rows);
        EXPECT_EQ(detail->devicePageNum(), counted);
    }

    // The catalogue product leaves travel costs out: its header says so and the deal price goes.
    const auto catalogue = open(orderWhere("i.goods_id = '1dc8b16a1f97465a9ece37e8b88216fb'"));
    EXPECT_EQ(catalogue->leftLabel()->text(), "不含差旅费");
    const auto prices = titles(*catalogue, 2);
    EXPECT_EQ(std::find(prices.begin(), prices.end(), "设备成交价格"), prices.end());

    // The call button dials the number; a number the reply lacks shows a toast.
    tap(catalogue->phoneBtn());
    ASSERT_FALSE(UIApplication::sharedApplication()->openedURLs().empty());
    EXPECT_EQ(UIApplication::sharedApplication()->openedURLs().back().rfind("tel:", 0), 0u);
}

TEST_F(OrderInfoViewControllerTest, DepartureAndCompensationAreSentFromTheDetail) {
    // Not the newest waiting order, which the order list's own tests move.
    const std::string order = orderWhere(
        "r.order_state_id = 18 AND r.add_date < (SELECT MAX(add_date) FROM orders o "
        "WHERE o.engineer_id = r.engineer_id AND o.order_state_id = 18)");
    auto detail = open(order);
    const auto nav = navigation(kOrderTab);
    const auto button = actionRow(detail)->quoteButton();
    ASSERT_TRUE(button);
    EXPECT_EQ(button->titleForState(UIControlStateNormal), "出发");
    tap(button);
    auto popup = shownPopup(nav);
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->waterMark(), "确认出发吗");
    // Without a turn of the run loop: a quick fix and answer would end the lookup in it.
    popup->sureBtnClick();
    ASSERT_TRUE(detail->mapView()) << "the position comes from a map view";
    EXPECT_FALSE(detail->mapView()->superview());
    const std::string start = engineer() + "&OrderID=" + order + "&LeaveAddress=" + kGuangzhou;
    ASSERT_TRUE(runUntil([&] { return requests->replyForKey(start).is_object(); })) << start;
    EXPECT_EQ(requests->replyForKey(start)["code"], "1");
    ASSERT_TRUE(runUntil([&] { return detail->signLabel()->text() == "待实施"; }));
    EXPECT_EQ(detail->botButtonTitleStr(), "");
    EXPECT_TRUE(actionRow(detail)->quoteButton()->isHidden());
    EXPECT_FALSE(detail->isSendAddress());
    // The list behind asks for its first page again.
    const std::string reload = firstPage(0) + "&lastDateTime=";
    ASSERT_TRUE(runUntil([&] {
        return requests->replyForKey(reload).is_object() && !requests->isInFlight(reload);
    }));
    EXPECT_EQ(orderColumn("leave_address", order), kGuangzhou);
    detail->tableView()->setContentOffset(CGPointZero);
    screenshot("order-departed.png");
    nav->popViewControllerAnimated(false);
    EXPECT_EQ(open(order)->botButtonTitleStr(), "实施");

    // A cancelled order the engineer set out for takes a compensation claim, its reason intact.
    nav->popViewControllerAnimated(false);
    const std::string cancelled =
        orderWhere("r.order_state_id = 22 AND r.is_leave = 1 AND r.is_agree_refund = 0");
    auto claim = open(cancelled);
    EXPECT_EQ(claim->botButtonTitleStr(), "申请补偿");
    tap(actionRow(claim)->quoteButton());
    popup = shownPopup(nav);
    ASSERT_TRUE(popup);
    popup->contentTF()->setText("50");
    popup->contentTF_two()->setText("路费&住宿");
    tap(popup->sureBtn());
    const std::string body =
        engineer() + "&orderID=" + cancelled + "&refundPrice=50&reason=路费%26住宿";
    ASSERT_TRUE(runUntil([&] { return requests->replyForKey(body).is_object(); })) << body;
    EXPECT_EQ(orderColumn("refund_reason", cancelled), "路费&住宿");
    EXPECT_EQ(orderColumn("refund_price", cancelled), "50");

    // A finished order has an empty last row of 80 points.
    nav->popViewControllerAnimated(false);
    auto finished = open(orderWhere("r.order_state_id = 21"));
    const auto last =
        NSIndexPath::indexPathForRow(static_cast<int>(finished->rowsOfSection(4).size()), 4);
    EXPECT_EQ(finished->heightForRowAtIndexPath(last), 80);
    const auto lastCell = actionRow(finished);
    ASSERT_TRUE(lastCell);
    EXPECT_TRUE(!lastCell->quoteButton() || lastCell->quoteButton()->isHidden());
}

TEST_F(OrderInfoViewControllerTest, GoodsHeadingsAndMakersReadWhole) {
    auto detail = open(orderWhere("r.order_state_id = 18"));
    EXPECT_TRUE(readsWhole(*detail->subTitleLabel()));
    EXPECT_FALSE(
        CGRectIntersectsRect(detail->subTitleLabel()->frame(), detail->phoneBtn()->frame()));
    ASSERT_GE(detail->topDataArray().size(), 2u);
    for (int row = 0; row < 2; ++row) {
        const auto cell =
            std::dynamic_pointer_cast<HomeInfoCell>(cellAt(detail->tableView(), row, 0));
        ASSERT_TRUE(cell && cell->firmLab()) << row;
        for (const auto& label :
             {cell->firmLab(), cell->typeLab(), cell->modelLab(), cell->numLab()})
            EXPECT_TRUE(readsWhole(*label)) << row;
    }
}

TEST_F(OrderInfoViewControllerTest, ServiceTypeAndCommentShowTheirTextAndNoneOnlyWhenMissing) {
    // The customer's comment on a finished order, and the inquiry's service type, are texts.
    const std::string finished = orderWhere("r.order_state_id = 21");
    const std::string comment = orderColumn("comment_detail", finished);
    ASSERT_FALSE(comment.empty());
    const auto detail = open(finished);
    const auto valueOf = [&](int section, const std::string& title) {
        const int i = rowTitled(*detail, section, title);
        return i < 0 ? std::string("(no row)")
                     : detail->rowsOfSection(section)[static_cast<size_t>(i)]->subTitleStr();
    };
    EXPECT_EQ(valueOf(4, "评价"), comment);
    EXPECT_EQ(valueOf(1, "业务类型"),
              stored("SELECT i.servicesname FROM orders r JOIN inquiries i USING (ask_price_id) "
                     "WHERE r.order_id = ?",
                     finished));
    const auto cell = row(detail, "评价", 4);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->contentTextView()->text(), comment);

    // "无" stands for a value that is not there; a number is shown as its text.
    const nlohmann::json missing = nullptr;
    for (const auto& [value, shown] : std::vector<std::pair<nlohmann::json, std::string>>{
             {"安装调试", "安装调试"}, {"", "无"}, {missing, "无"}, {5, "5"}}) {
        detail->updateDataWithDictionary(
            {{"OrderStateID", 21}, {"Servicesname", value}, {"CommentDetail", value}});
        EXPECT_EQ(valueOf(1, "业务类型"), shown) << value;
        EXPECT_EQ(valueOf(4, "评价"), shown) << value;
    }
    detail->updateDataWithDictionary({{"OrderStateID", 21}});
    EXPECT_EQ(valueOf(1, "业务类型"), "(no row)");
    EXPECT_EQ(valueOf(4, "评价"), "无");
}

TEST_F(OrderInfoViewControllerTest, OrderNotTheEngineersShowsTheTipAndKeepsItsID) {
    auto detail = OrderInfoViewController::create(list);
    detail->setOrderIDStr("not-mine");
    navigation(kOrderTab)->pushViewController(detail, false);
    ASSERT_TRUE(runUntil([&] { return toast() == "订单不存在"; }));
    EXPECT_EQ(detail->orderIDStr(), "not-mine");
    EXPECT_EQ(detail->tableView()->numberOfSections(), 1);

    // A detail without the order's ID keeps the one the screen was opened with, so an action
    // never goes out for an empty order.
    detail->updateDataWithDictionary({{"OrderStateID", 18}, {"UserName", "客户"}});
    EXPECT_EQ(detail->orderIDStr(), "not-mine");
    EXPECT_EQ(detail->botButtonTitleStr(), "出发");
    EXPECT_EQ(detail->tableView()->numberOfSections(), 5);
}

TEST_F(OrderInfoViewControllerTest, OnlyTheLatestLookupOfAShownScreenSendsTheAction) {
    testsupport::TestHTTPServer search;
    searchAtGate(search, "府前路");
    const std::string order = orderWhere("r.order_state_id = 18");
    const std::string body = engineer() + "&OrderID=" + order + "&LeaveAddress=府前路";
    watch(body);

    // Confirmed twice while the first address is still being looked up: the first answer
    // belongs to a lookup that was replaced.
    auto detail = open(order);
    for (int confirmation = 1; confirmation <= 2; ++confirmation) {
        detail->baojiaButtonClick();
        shownPopup(navigation(kOrderTab))->sureBtnClick();
        ASSERT_TRUE(runUntil([&] { return search.waitingAtGate() == confirmation; }));
    }
    search.releaseGate();
    ASSERT_TRUE(runUntil([&] { return replies(body) == 1; }));
    host.runFor(0.5);
    EXPECT_EQ(replies(body), 1);

    // A screen popped while it looks up its address sends nothing when the answer comes.
    testsupport::TestHTTPServer later;
    searchAtGate(later, "府前路");
    navigation(kOrderTab)->popViewControllerAnimated(false);
    detail.reset();
    const std::string waiting = orderWhere("r.order_state_id = 19");
    const std::string laterBody = engineer() + "&OrderID=" + waiting + "&LeaveAddress=府前路";
    watch(laterBody);
    auto other = open(waiting);
    std::weak_ptr<OrderInfoViewController> gone = other;
    other->baojiaButtonClick();
    shownPopup(navigation(kOrderTab))->sureBtnClick();
    ASSERT_TRUE(runUntil([&] { return later.waitingAtGate() == 1; }));
    navigation(kOrderTab)->popViewControllerAnimated(false);
    other.reset();
    host.runFor(0);
    EXPECT_TRUE(gone.expired());
    later.releaseGate();
    host.runFor(0.5);
    EXPECT_EQ(replies(laterBody), 0);
    EXPECT_EQ(orderColumn("order_state_id", waiting), "19");
}

TEST_F(OrderMiddleViewControllerTest, EveryTabAsksForItsStateAndSwipesMoveBetweenTabs) {
    EXPECT_EQ(list->currentSelectSectionStr(), "全部订单");
    screenshot("orders-all.png");
    // A pull past the end appends the second and last page.
    pullPastEnd(*list);
    ASSERT_TRUE(runUntil([&] { return list->dataArray().size() == 20; }));
    EXPECT_TRUE(
        requests->replyForKey(engineer() + "&rows=10&pageindex=2&lastDateTime=").is_object());
    EXPECT_EQ(list->bottomLabel()->text(), "已经是最后页");
    EXPECT_EQ(list->rowsOfOnePage(), 10u);
    EXPECT_EQ(list->totalRowCount(), 20u);
    list->tableView()->setContentOffset(CGPointZero);
    for (int i = 1; i <= 5; ++i) {
        showTab(i);
        EXPECT_EQ(list->currentSelectSectionStr(), OrderMiddleViewController::sectionTitles()[i]);
        EXPECT_EQ(list->dataArray().size(), 4u);
        if (i == 2) screenshot("orders-to-implement.png");
    }
    // A refresh stays on the tab.
    list->doRefresh();
    ASSERT_TRUE(runUntil(
        [&] { return requests->replyForKey(firstPage(5) + "&lastDateTime=").is_object(); }));
    // Sideways swipes on the table change the tab; up and down ones do nothing.
    sendAddedSwipe(*list, *list->tableView(), UISwipeGestureRecognizerDirectionUp);
    EXPECT_EQ(list->currentSelectSectionStr(), "其他");
    // Right of the last tab is the first, left of the first is the last.
    list->swipeSlipForLeft(false);
    EXPECT_EQ(list->currentSelectSectionStr(), "全部订单");
    ASSERT_TRUE(runUntil([&] { return requests->replyForKey(firstPage(0)).is_object(); }));
    list->swipeSlipForLeft(true);
    EXPECT_EQ(list->currentSelectSectionStr(), "其他");
    ASSERT_TRUE(runUntil([&] { return !requests->isInFlight(firstPage(5)); }));
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
            while (list->dataArray().at(static_cast<size_t>(row))->orderIDStr() != order) ++row;
        order = list->dataArray().at(static_cast<size_t>(row))->orderIDStr();
        const auto popup = act(row);
        ASSERT_TRUE(popup);
        EXPECT_EQ(popup->waterMark(), step.confirmation);
        if (step.tab == 1) screenshot("departure-confirmation.png");
        popup->sureBtnClick();
        const auto mapView = list->mapView();
        ASSERT_TRUE(mapView) << "the position comes from a map view";
        EXPECT_FALSE(mapView->superview());

        const std::string body = engineer() + "&OrderID=" + order + "&LeaveAddress=" + step.address;
        ASSERT_TRUE(runUntil([&] { return requests->replyForKey(body).is_object(); })) << body;
        EXPECT_EQ(requests->replyForKey(body)["code"], "1");
        EXPECT_EQ(mapView->userLocation()->title(), step.title);
        EXPECT_EQ(mapView->userLocation()->subtitle(), step.address);
        EXPECT_FALSE(list->mapView());
        // Only the move of the order's state is accepted: "code" 1 shows the path was right.
        EXPECT_EQ(orderColumn("order_state_id", order), std::to_string(19 + step.tab - 1));
        EXPECT_EQ(orderColumn("leave_address", order), step.address);
        // A success reloads the tab, where the order is no longer.
        ASSERT_TRUE(runUntil([&] { return !listed(order) && !list->dataArray().empty(); }));
        EXPECT_EQ(list->currentSelectSectionStr(),
                  OrderMiddleViewController::sectionTitles()[step.tab]);
    }
}

TEST_F(OrderMiddleViewControllerTest, PositionThatCannotBeHadIsToldAndALaterTryWorks) {
    // Out at sea: no address is near, so the search fails.
    locateAt("10.00000 140.00000");
    showTab(1);
    const std::string order = list->dataArray().front()->orderIDStr();
    act(0)->sureBtnClick();
    ASSERT_TRUE(runUntil([&] { return toast() == PositionLookup::kFailureMessage; }));
    EXPECT_FALSE(FactoryClass::isLoadingShown());
    EXPECT_FALSE(list->isSendAddress());
    EXPECT_FALSE(list->mapView());
    EXPECT_EQ(orderColumn("order_state_id", order), "18");

    // No fix in time.
    ASSERT_TRUE(runUntil([&] { return toast().empty(); }));
    {
        const auto file = shellHome.dir.path() / "late.txt";
        std::ofstream(file) << "1000 fix 23.12911 113.26436 10\n";
        CLLocationManager::setSource(CLLocationSource::fromFile(file.string(), nullptr));
        testsupport::ManualClock clock;
        act(0)->sureBtnClick();
        clock.advance(PositionLookup::kFixTimeout - 1);
        EXPECT_TRUE(FactoryClass::isLoadingShown());
        clock.advance(2);
        EXPECT_EQ(toast(), PositionLookup::kFailureMessage);
        EXPECT_FALSE(FactoryClass::isLoadingShown());
        EXPECT_FALSE(list->isSendAddress());
        clock.advance(10);
    }
    EXPECT_EQ(orderColumn("order_state_id", order), "18");

    locateAt("23.12911 113.26436");
    ASSERT_TRUE(runUntil([&] { return toast().empty(); }));
    act(0)->sureBtnClick();
    ASSERT_TRUE(runUntil([&] { return orderColumn("order_state_id", order) == "19"; }));
    EXPECT_EQ(orderColumn("leave_address", order), kGuangzhou);
}

TEST_F(OrderMiddleViewControllerTest,
       TheAddressGoesToTheOrderConfirmedThoughTheListChangedMeanwhile) {
    // The search answers only when the test lets it, with an address that needs escaping.
    testsupport::TestHTTPServer search;
    searchAtGate(search, "府前路1&2号");
    showTab(1);
    const std::string order = list->dataArray().front()->orderIDStr();
    act(0)->sureBtnClick();
    ASSERT_TRUE(runUntil([&] { return search.waitingAtGate() == 1; }));

    // While the action waits, another tab's page arrives and is shown.
    showTab(2);
    EXPECT_FALSE(listed(order));
    EXPECT_TRUE(list->isSendAddress());
    search.releaseGate();

    const std::string body = engineer() + "&OrderID=" + order + "&LeaveAddress=府前路1%262号";
    ASSERT_TRUE(runUntil([&] { return requests->replyForKey(body).is_object(); })) << body;
    EXPECT_EQ(requests->replyForKey(body)["code"], "1");
    EXPECT_EQ(orderColumn("leave_address", order), "府前路1&2号");
    ASSERT_TRUE(runUntil([&] { return !list->isSendAddress(); }));
}

TEST_F(OrderMiddleViewControllerTest, CancellationAndCompensationAreSentAndARefusalKeepsTheList) {
    showTab(5);
    int row = rowWithActions();
    const std::string claimed = list->dataArray()[static_cast<size_t>(row)]->orderIDStr();
    auto popup = act(row);
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->titleOne(), "补偿金额");
    EXPECT_EQ(popup->titleTwo(), "补偿原因");
    popup->contentTF()->setText("0");
    popup->contentTF_two()->setText("路费&refundPrice=9999");
    popup->sureBtnClick();
    const std::string claim =
        engineer() + "&orderID=" + claimed + "&refundPrice=0&reason=路费%26refundPrice%3D9999";
    ASSERT_TRUE(runUntil([&] { return requests->replyForKey(claim).is_object(); })) << claim;
    EXPECT_EQ(orderColumn("refund_reason", claimed), "路费&refundPrice=9999");
    EXPECT_EQ(orderColumn("refund_price", claimed), "0");
    ASSERT_TRUE(runUntil([&] { return toast() == "补偿申请已提交"; }));
    ASSERT_TRUE(runUntil([&] {
        for (const auto& r : list->dataArray())
            if (r->orderIDStr() == claimed) return r->IsAgreeRefundStr() == "1";
        return false;
    }));

    // The server settles the other cancelled order meanwhile: confirming it is refused, and the
    // rows stay as they were.
    row = rowWithActions();
    const std::string cancelled = list->dataArray()[static_cast<size_t>(row)]->orderIDStr();
    devserver::Database(server.dataFile())
        .run("UPDATE orders SET is_agree_refund = 1 WHERE order_id = ?", cancelled);
    const auto before = list->dataArray();
    cellOf<OrderCell>(list->tableView(), row)
        ->favrateButton()
        ->sendActionsForControlEvents(UIControlEventTouchUpInside);
    popup = listPopup();
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->waterMark(), "确认取消吗");
    popup->sureBtnClick();
    const std::string cancel = engineer() + "&orderID=" + cancelled;
    ASSERT_TRUE(runUntil([&] { return requests->replyForKey(cancel).is_object(); }));
    EXPECT_EQ(requests->replyForKey(cancel)["code"], "0");
    ASSERT_TRUE(runUntil([&] { return toast() == "该订单已处理"; }));
    EXPECT_EQ(list->dataArray(), before);
    EXPECT_FALSE(list->isSendAddress());
}

}  // namespace
