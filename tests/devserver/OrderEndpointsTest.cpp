#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "Database.h"
#include "DevServerFixture.h"
#include "SeedData.h"

namespace devserver {
namespace {

using Json = nlohmann::json;

class OrderEndpointsTest : public test::DevServerFixture {
  protected:
    void SetUp() override {
        DevServerFixture::SetUp();
        signInBoth();
    }

    Json page(const std::string& engineer, const std::string& state, int index = 1) {
        std::string body = "brisfoldID=" + engineer + "&rows=10&pageindex=" + std::to_string(index);
        if (!state.empty()) body += "&OrderStateID=" + state;
        return call("Order/OrderList", body + "&lastDateTime=");
    }

    // The first of the engineer's orders in the state, by the list.
    Json orderIn(int state, bool left = true, bool settled = false) {
        const auto list = page(engineer_, std::to_string(state))["List"];
        for (const auto& order : list)
            if ((order["IsLeave"] == 1) == left && (order["IsAgreeRefund"] == 1) == settled)
                return order;
        ADD_FAILURE() << "no order in state " << state;
        return Json::object();
    }

    std::map<std::string, std::string> stored(const std::string& order) {
        Database db(server_->dataFile());
        auto row = db.query(
            "SELECT order_state_id, leave_address, is_agree_refund FROM orders WHERE order_id = ?",
            order);
        EXPECT_TRUE(row.step());
        return {{"state", std::to_string(row.integer(0))},
                {"address", row.text(1)},
                {"settled", std::to_string(row.integer(2))}};
    }
};

TEST_F(OrderEndpointsTest, ListsTheEngineersOrdersByStatePagedNewestFirst) {
    const auto all = page(engineer_, "");
    EXPECT_EQ(all["totalCount"], 5 * kSeedOrdersPerStatePerEngineer);
    EXPECT_EQ(all["totalPages"], 2);
    ASSERT_EQ(all["List"].size(), 10u);
    for (size_t i = 1; i < all["List"].size(); ++i)
        EXPECT_GE(all["List"][i - 1]["AddDate"], all["List"][i]["AddDate"]);

    for (int state = 18; state <= 22; ++state) {
        const auto one = page(engineer_, std::to_string(state));
        EXPECT_EQ(one["totalCount"], kSeedOrdersPerStatePerEngineer) << state;
        for (const auto& order : one["List"]) EXPECT_EQ(order["OrderStateID"], state);
    }

    EXPECT_EQ(call("Order/OrderList", "brisfoldID=" + engineer_ + "&OrderStateID=17")["code"], "0");
}

// The moves themselves, and the address stored with them, are checked through the orders screen.
TEST_F(OrderEndpointsTest, MovesGoOneStepAndOnlyForTheirEngineerWithAnAddress) {
    const std::string order = orderIn(18, false)["OrderID"];
    const std::vector<std::pair<std::string, std::string>> refusals = {
        {"brisfoldID=" + other_ + "&OrderID=" + order + "&LeaveAddress=a", "订单不存在"},
        {"brisfoldID=" + engineer_ + "&OrderID=" + order + "&LeaveAddress=", "LeaveAddress"},
        {"brisfoldID=" + engineer_ + "&OrderID=nope&LeaveAddress=a", "订单不存在"},
        {"OrderID=" + order + "&LeaveAddress=a", "brisfoldID"},
    };
    for (const auto& [body, tip] : refusals) {
        const auto reply = call("Order/EngineerStart", body);
        EXPECT_EQ(reply["code"], "0") << body;
        EXPECT_NE(reply["tip"].get<std::string>().find(tip), std::string::npos) << reply;
    }
    EXPECT_EQ(stored(order)["state"], "18");

    const std::string me = "brisfoldID=" + engineer_ + "&OrderID=" + order + "&LeaveAddress=";
    for (const auto& [path, wrong, state] :
         {std::tuple{"Order/EngineerStart", "Order/EngineerFinish", "19"},
          {"Order/StartImplement", "Order/EngineerFinish", "20"},
          {"Order/EngineerFinish", "Order/EngineerStart", "21"}}) {
        // A move out of order is refused and changes nothing.
        const auto refused = call(wrong, me + "x");
        EXPECT_EQ(refused["code"], "0") << wrong;
        EXPECT_FALSE(refused["tip"].get<std::string>().empty());
        EXPECT_EQ(call(path, me + "府前路 1%262号")["code"], "1") << path;
        EXPECT_EQ(stored(order)["state"], state);
    }
    EXPECT_EQ(stored(order)["address"], "府前路 1&2号");
}

TEST_F(OrderEndpointsTest, CancelledOrdersAreSettledOnceByConfirmationOrClaim) {
    const std::string confirm = orderIn(22)["OrderID"];
    EXPECT_EQ(
        call("Order/CancelService", "brisfoldID=" + engineer_ + "&orderID=" + confirm)["code"],
        "1");
    EXPECT_EQ(stored(confirm)["settled"], "1");
    EXPECT_EQ(call("Order/CancelService", "brisfoldID=" + engineer_ + "&orderID=" + confirm)["tip"],
              "该订单已处理");

    Database(server_->dataFile())
        .run("UPDATE orders SET is_agree_refund = 0 WHERE order_id = ?", confirm);
    EXPECT_EQ(call("Order/CancelService", "brisfoldID=" + engineer_ + "&orderID=" + confirm +
                                              "&refundPrice=abc&reason=x")["code"],
              "0");
    // What a claim stores is checked through the orders screen.
    EXPECT_EQ(call("Order/CancelService", "brisfoldID=" + engineer_ + "&orderID=" + confirm +
                                              "&refundPrice=0&reason=")["code"],
              "1");

    const std::string notLeft = orderIn(22, false)["OrderID"];
    EXPECT_EQ(
        call("Order/CancelService", "brisfoldID=" + engineer_ + "&orderID=" + notLeft)["code"],
        "0");
    const std::string running = orderIn(19)["OrderID"];
    EXPECT_EQ(call("Order/CancelService", "brisfoldID=" + engineer_ + "&orderID=" + running)["tip"],
              "订单未取消");
    EXPECT_EQ(call("Order/CancelService", "brisfoldID=" + other_ + "&orderID=" + running)["tip"],
              "订单不存在");
}

}  // namespace
}  // namespace devserver
