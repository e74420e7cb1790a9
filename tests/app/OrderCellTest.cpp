#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "Foundation/JSONValue.h"
#include "LabelFit.h"
#include "LogCapture.h"
#include "inquiries/HomeCell.h"
#include "inquiries/MiddleViewController.h"
#include "inquiries/OfferMiddleViewController.h"
#include "messages/MessageMiddleViewController.h"
#include "orders/OrderCell.h"
#include "orders/OrderMiddleViewController.h"
#include "orders/OrderModel.h"
#include "shell/FactoryClass.h"

namespace {

using Json = nlohmann::json;

constexpr CGFloat kWidth = 320;

using Taps = std::vector<std::pair<std::string, int>>;

// Records the tag of each button tapped under the button's name.
auto recorder(Taps* taps, const char* which) {
    return [taps, which](const std::shared_ptr<UIButton>& b) {
        taps->push_back({which, b->tag()});
    };
}

std::shared_ptr<OrderCell> builtOrderCell(Taps* taps) {
    auto cell = OrderCell::create(UITableViewCellStyleSubtitle, "orderCell");
    cell->setupCellWithFrame(CGRectMake(0, 0, kWidth, 140), {}, recorder(taps, "cancel"),
                             recorder(taps, "action"));
    return cell;
}

// The row heights the list gives its orders, through its reply handling.
std::vector<CGFloat> rowHeights(const Json& list) {
    const auto screen = OrderMiddleViewController::create({});
    screen->updateDataWithDictionary({{"pageindex", 1}, {"totalPages", 1}, {"List", list}});
    std::vector<CGFloat> heights;
    for (size_t row = 0; row < screen->dataArray().size(); ++row)
        heights.push_back(*screen->tableViewHeightForRowAtIndexPath(
            nullptr, NSIndexPath::indexPathForRow(static_cast<int>(row), 0)));
    return heights;
}

// List replies come from a server: a page count beyond every integer saturates instead of
// casting with undefined behaviour (the asan preset checks float casts).
TEST(OrderListReply, PageCountsOutOfRangeSaturate) {
    const struct {
        Json totalPages;
        uint64_t expected;
    } cases[] = {
        {1e300, UINT64_MAX}, {-1e300, 0}, {18446744073709551616.0, UINT64_MAX}, {3.9, 3}, {"7", 7},
    };
    const auto screen = OrderMiddleViewController::create({});
    for (const auto& c : cases) {
        screen->updateDataWithDictionary(
            {{"pageindex", 1}, {"totalPages", c.totalPages}, {"List", Json::array()}});
        EXPECT_EQ(screen->totalPageNum(), c.expected) << c.totalPages;
    }
}

// The counters of the last list reply: the order list and the message centre start from one page
// of ten rows among twenty, the inquiry lists from nothing; every page replaces them.
TEST(ListReplyCounters, StartAsEachListDoesAndFollowEveryPage) {
    using Counters = std::array<uint64_t, 4>;
    const auto of = [](const auto& screen) {
        return Counters{screen->pageIndex(), screen->rowsOfOnePage(), screen->totalPageNum(),
                        screen->totalRowCount()};
    };
    const auto orders = OrderMiddleViewController::create({});
    const auto messages = MessageMiddleViewController::create({});
    EXPECT_EQ(of(orders), (Counters{1, 10, 1, 20}));
    EXPECT_EQ(of(messages), (Counters{1, 10, 1, 20}));
    EXPECT_EQ(of(MiddleViewController::create({})), (Counters{0, 0, 0, 0}));
    EXPECT_EQ(of(OfferMiddleViewController::create({})), (Counters{0, 0, 0, 0}));
    const Json page = {{"pageindex", 2},
                       {"rows", "8"},
                       {"totalPages", 4},
                       {"totalCount", 27},
                       {"List", Json::array()}};
    orders->updateDataWithDictionary(page);
    messages->updateDataWithDictionary(page);
    EXPECT_EQ(of(orders), (Counters{2, 8, 4, 27}));
    EXPECT_EQ(of(messages), (Counters{2, 8, 4, 27}));
    orders->updateDataWithDictionary({{"List", Json::array()}});
    EXPECT_EQ(of(orders), (Counters{0, 0, 0, 0}));
}

// The list names its title-width function for a row height; the reply it took is logged.
TEST(OrderListTitleWidth, IsTheNamesWidthAndTwentyAtMostHalfTheScreen) {
    testsupport::LogCapture log;
    const auto screen = OrderMiddleViewController::create({});
    const std::string longName = "北京市朝阳区第一人民医院信息中心机房运维部";
    const Json reply = {{"pageindex", 1},
                        {"totalPages", 1},
                        {"List", {{{"UserName", "王伟"}}, {{"UserName", longName}}}}};
    screen->updateDataWithDictionary(reply);
    EXPECT_TRUE(log.contains("order:" + describe(reply)));
    const int half = static_cast<int>(screen->view()->frame().size.width) / 2;
    EXPECT_EQ(screen->heightForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0)),
              FactoryClass::widthOfButtonWithContentText("王伟", 25, 18, true) + 20);
    EXPECT_LT(FactoryClass::widthOfButtonWithContentText("王伟", 25, 18, true) + 20, half);
    EXPECT_EQ(screen->heightForRowAtIndexPath(NSIndexPath::indexPathForRow(1, 0)), half);
}

TEST(OrderCellTest, EveryStateGivesTheCardItsButtonsAndTheListItsRowHeight) {
    struct Case {
        Json order;
        bool withActions;
        std::string action;  // "" when the action button is hidden
        bool halfWidth;      // the action shares the bottom with "确认取消"
    };
    const std::vector<Case> cases = {
        {{{"OrderStateID", 18}, {"IsLeave", 0}}, true, "出 发", false},
        {{{"OrderStateID", "19"}, {"IsLeave", 1}}, true, "实 施", false},
        {{{"OrderStateID", 20}, {"IsLeave", 1}}, true, "完 工", false},
        {{{"OrderStateID", 21}, {"IsLeave", 1}}, false, "", false},
        {{{"OrderStateID", 22}, {"IsLeave", 1}, {"IsAgreeRefund", 0}}, true, "申请补偿", true},
        {{{"OrderStateID", 22}, {"IsLeave", 1}, {"IsAgreeRefund", 1}}, false, "", false},
        {{{"OrderStateID", 22}, {"IsLeave", 0}, {"IsAgreeRefund", 0}}, false, "", false},
        {{{"OrderStateID", 22}}, false, "", false},
        {{{"OrderStateID", 17}, {"IsLeave", 1}}, false, "", false},
    };
    Json list = Json::array();
    for (const auto& c : cases) list.push_back(c.order);
    const auto heights = rowHeights(list);
    ASSERT_EQ(heights.size(), cases.size());

    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        const auto model = OrderModel::createWithOrder(c.order);
        EXPECT_EQ(model->hasActions(), c.withActions) << c.order;
        EXPECT_EQ(heights[i], c.withActions ? 140 : 100) << c.order;

        Taps taps;
        const auto cell = builtOrderCell(&taps);
        // Shown first with two buttons, so that a reused card is seen to change its look.
        const auto other = OrderModel::createWithOrder(
            {{"OrderStateID", 22}, {"IsLeave", 1}, {"IsAgreeRefund", 0}});
        cell->updateContentWithModel(other.get(), 0);
        cell->updateContentWithModel(model.get(), static_cast<int64_t>(i));

        const auto& action = cell->offerButton();
        const auto& cancel = cell->favrateButton();
        const CGFloat cardWidth = cell->pannelView()->frame().size.width;
        EXPECT_EQ(!action->isHidden(), !c.action.empty()) << c.order;
        EXPECT_EQ(!cancel->isHidden(), c.halfWidth) << c.order;
        if (c.action.empty()) continue;
        EXPECT_EQ(action->currentTitle(), c.action);
        EXPECT_EQ(action->frame().size.width, c.halfWidth ? cardWidth * 0.5 + 1 : cardWidth);

        action->sendActionsForControlEvents(UIControlEventTouchUpInside);
        if (c.halfWidth) {
            EXPECT_EQ(cancel->currentTitle(), "确认取消");
            cancel->sendActionsForControlEvents(UIControlEventTouchUpInside);
        }
        Taps expected = {{"action", static_cast<int>(i)}};
        if (c.halfWidth) expected.push_back({"cancel", static_cast<int>(i)});
        EXPECT_EQ(taps, expected) << c.order;
    }
}

TEST(OrderCellTest, AmountAndTimeReadWholeBesideTheBadgeWhateverTheTitle) {
    Taps taps;
    const auto cell = builtOrderCell(&taps);
    for (const int titleWidth : {60, 120, 160}) {
        for (const int money : {8, 1200, 123456}) {
            SCOPED_TRACE(std::to_string(titleWidth) + " " + std::to_string(money));
            const auto model = OrderModel::createWithOrder({{"UserName", "深圳商业银行数据中心"},
                                                            {"money", money},
                                                            {"AddDate", "2026-11-22 09:22:45"},
                                                            {"OrderState", "待出发"},
                                                            {"OrderStateID", 18}});
            cell->updateUIConfigWith(CGRectMake(0, 0, kWidth, 140), titleWidth);
            cell->updateContentWithModel(model.get(), 0);
            EXPECT_FALSE(
                CGRectIntersectsRect(cell->signLabel()->frame(), cell->timeLabel()->frame()));
            EXPECT_TRUE(readsWhole(*cell->timeLabel()));
            EXPECT_TRUE(readsWhole(*cell->offerLabel()));
            EXPECT_TRUE(readsWhole(*cell->signLabel()));
        }
    }
}

TEST(OrderCellTest, TheRecordIsShownAsTheListReadsIt) {
    const auto model = OrderModel::createWithOrder({{"UserName", "王强"},
                                                    {"GoodsName", "变压器检修"},
                                                    {"GoodsID", "1dc8b16a1f97465a9ece37e8b88216fb"},
                                                    {"City", "广州市"},
                                                    {"money", 1200},
                                                    {"AddDate", "2026-11-30 09:15:02.123"},
                                                    {"OrderState", "待出发"},
                                                    {"OrderStateID", 18},
                                                    {"OrderID", "o1"},
                                                    {"IsLeave", nullptr}});
    EXPECT_EQ(model->isLeaveStr(), "");
    EXPECT_EQ(OrderModel::createWithOrder(Json::object())->leftStr(), "包含差旅费");

    Taps taps;
    const auto cell = builtOrderCell(&taps);
    cell->updateUIConfigWith(CGRectMake(0, 0, kWidth, 140), 80);
    cell->updateContentWithModel(model.get(), 3);
    EXPECT_EQ(cell->titelLabel()->text(), "王强");
    EXPECT_EQ(cell->signLabel()->text(), "待出发");
    EXPECT_EQ(cell->subTitleLabel()->text(), "变压器检修");
    EXPECT_EQ(cell->leftTF()->text(), "不含差旅费");
    EXPECT_EQ(cell->midTF()->text(), "广州市");
    EXPECT_EQ(cell->offerLabel()->text(), "￥1200");
    EXPECT_EQ(cell->timeLabel()->text(), "2026-11-30 09:15:02");
    // The badge follows the title's width; a width of 0 leaves it where it was.
    cell->updateUIConfigWith(CGRectMake(0, 0, kWidth, 100), 0);
    EXPECT_EQ(cell->signLabel()->frame().origin.x, 90);

    cell->updateContentWithModel(nullptr, 4);
    EXPECT_EQ(cell->titelLabel()->text(), "");
    EXPECT_EQ(cell->timeLabel()->text(), "");
    EXPECT_EQ(cell->offerButton()->tag(), 4);
    EXPECT_EQ(cell->offerButton()->currentTitle(), "出 发");
}

TEST(HomeCellTest, ButtonsAreTaggedWithTheRowAndNoRecordClearsTheTexts) {
    Taps taps;
    auto cell = HomeCell::create(UITableViewCellStyleSubtitle, "homeCell");
    cell->setupCellWithFrame(CGRectMake(0, 0, kWidth, 170), {}, recorder(&taps, "favourite"),
                             recorder(&taps, "quote"));
    auto model = HomeModel::create();
    model->setTitleStr("客户");
    model->setHaveFavorite("1");
    cell->updateContentWithModel(model.get(), 3);
    EXPECT_EQ(cell->titelLabel()->text(), "客户");
    // No record: the texts go, the favourite title stays, the tags follow the new row.
    cell->updateContentWithModel(nullptr, 7);
    EXPECT_EQ(cell->titelLabel()->text(), "");
    EXPECT_EQ(cell->favrateButton()->currentTitle(), "取消收藏");
    cell->favrateButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    cell->offerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(taps, (Taps{{"favourite", 7}, {"quote", 7}}));
}

}  // namespace
