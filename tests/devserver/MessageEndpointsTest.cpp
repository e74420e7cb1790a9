#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "Database.h"
#include "DevServerFixture.h"
#include "SeedData.h"

namespace devserver {
namespace {

using test::parseJson;
using Json = nlohmann::json;

class MessageEndpointsTest : public test::DevServerFixture {
  protected:
    void SetUp() override {
        DevServerFixture::SetUp();
        signInBoth();
    }

    Json news(const std::string& engineer, int page, const std::string& before = "") {
        return call("NewsCenter/Index", "UserOrEngineerID=" + engineer + "&rows=10&pageindex=" +
                                            std::to_string(page) + "&lastDateTime=" + before);
    }
    std::string newestWaitingOrder() {
        Database db(server_->dataFile());
        auto row = db.query(
            "SELECT order_id FROM orders WHERE engineer_id = ? AND order_state_id = 18 "
            "ORDER BY add_date DESC LIMIT 1",
            engineer_);
        EXPECT_TRUE(row.step());
        return row.text(0);
    }
    int64_t unread(const std::string& engineer) {
        return std::stoll(
            login(kSeedEngineers[engineer == engineer_ ? 0 : 1].userName,
                  kSeedEngineers[engineer == engineer_ ? 0 : 1].password)["NotReadCount"]
                .get<std::string>());
    }
};

TEST_F(MessageEndpointsTest, OrderDetailIsTheWholeOrderWithItsDevicePages) {
    const std::string order = newestWaitingOrder();
    const Json detail = call("Order/OrderDetail", "brisfoldID=" + engineer_ + "&OrderID=" + order);
    EXPECT_EQ(detail["OrderID"], order);
    EXPECT_EQ(detail["OrderStateID"], 18);
    EXPECT_EQ(detail["OrderState"], "待出发");
    for (const char* key : {"UserName", "GoodsName", "GoodsID", "City", "IsLeave", "IsAgreeRefund",
                            "ContactTelphone", "ContactName", "Industry", "HopeStartDate",
                            "offerPrice", "money", "ImplementPlace", "DetailsDesc", "AskPriceID"})
        EXPECT_TRUE(detail.contains(key)) << key;
    ASSERT_TRUE(detail["OfferList"].is_array());
    EXPECT_EQ(detail["OfferList"].size(), 5u);
    EXPECT_TRUE(detail["OfferList"][0].contains("offerPrice"));
    ASSERT_EQ(detail["Device"].size(), 3u);
    EXPECT_EQ(detail["Device"][0]["AskPriceID"], detail["AskPriceID"]);
    const Json devices =
        call("AskPrice/GetDeviceList",
             "askpriceID=" + detail["AskPriceID"].get<std::string>() + "&rows=3&pageindex=3");
    EXPECT_EQ(devices["totalCount"], 7);
    EXPECT_EQ(devices["List"].size(), 1u);
}

TEST_F(MessageEndpointsTest, MessagesComeNewestFirstAndAreReadAndDeletedOneByOne) {
    const Json first = news(engineer_, 1);
    ASSERT_EQ(first["List"].size(), 10u);
    std::vector<std::string> dates;
    for (const auto& m : first["List"]) dates.push_back(m["AddDate"]);
    EXPECT_TRUE(std::is_sorted(dates.rbegin(), dates.rend()));
    EXPECT_NE(dates.front().find('.'), std::string::npos);
    const Json second = news(engineer_, 2);
    EXPECT_LE(second["List"][0]["AddDate"].get<std::string>(), dates.back());
    const Json older = news(engineer_, 1, dates[4]);
    EXPECT_LT(older["List"][0]["AddDate"].get<std::string>(), dates[4]);

    std::set<int> types;
    std::string unreadID;
    Json listed = call("NewsCenter/Index", "UserOrEngineerID=" + engineer_ + "&rows=100");
    for (const auto& m : listed["List"]) {
        types.insert(m["NewsTypeID"].get<int>());
        if (m["IsRead"] == 0 && m["NewsTypeID"] != -1 && unreadID.empty()) unreadID = m["NewsID"];
    }
    EXPECT_EQ(types, (std::set<int>{-1, 55, 56, 57, 58}));
    ASSERT_FALSE(unreadID.empty());

    const int64_t before = unread(engineer_);
    EXPECT_EQ(call("NewsCenter/NewsIsRead", "newsID=" + unreadID)["code"], "1");
    EXPECT_EQ(unread(engineer_), before - 1);
    EXPECT_EQ(call("NewsCenter/DeleteNews", "NewsID=" + unreadID)["code"], "1");
    EXPECT_EQ(call("NewsCenter/DeleteNews", "NewsID=" + unreadID)["code"], "0");
    EXPECT_EQ(call("NewsCenter/NewsIsRead", "newsID=nobody")["code"], "0");
}

}  // namespace
}  // namespace devserver
