#include "OrderEndpoints.h"

#include <cstdint>
#include <regex>
#include <string>

#include "PagedList.h"

namespace devserver {

namespace {

constexpr int64_t kFirstState = 18;
constexpr int64_t kCancelledState = 22;

// ?1 the engineer, ?2 the state (0 for all), ?3 the "lastDateTime" bound.
constexpr const char* kListFilter =
    " WHERE r.engineer_id = ?1 AND (?2 = 0 OR r.order_state_id = ?2) AND "
    "(?3 = '' OR r.add_date < ?3)";

nlohmann::json orderList(const ApiRequest& request) {
    const std::string& engineer = knownEngineer(request);
    const int64_t state = request.form.integer("OrderStateID", 0, kFirstState, kCancelledState);
    const std::string before = lastDateTime(request.form);
    const auto page = PageRequest::from(request.form);
    return pagedList(request.db, page, std::string("SELECT COUNT(*) FROM orders r") + kListFilter,
                     std::string("SELECT r.order_id AS OrderID, r.ask_price_id AS AskPriceID, "
                                 "i.user_name AS UserName, g.goods_name AS GoodsName, "
                                 "i.goods_id AS GoodsID, i.implement_city AS City, "
                                 "r.money AS money, r.add_date AS AddDate, "
                                 "r.order_state AS OrderState, r.order_state_id AS OrderStateID, "
                                 "r.is_sure AS IsSure, r.is_leave AS IsLeave, "
                                 "r.is_agree_refund AS IsAgreeRefund FROM orders r "
                                 "JOIN inquiries i ON i.ask_price_id = r.ask_price_id "
                                 "JOIN goods g ON g.goods_id = i.goods_id") +
                         kListFilter + " ORDER BY r.add_date DESC, r.order_id",
                     engineer, state, before);
}

struct OrderRow {
    int64_t state = 0;
    bool left = false;
    bool settled = false;
};

// The engineer's own order, else the refusal; another engineer's order is not his to see.
OrderRow ownOrder(const ApiRequest& request, const std::string& engineer, const char* key) {
    const std::string& order = request.form.required(key);
    auto found = request.db.query(
        "SELECT order_state_id, is_leave, is_agree_refund FROM orders "
        "WHERE order_id = ? AND engineer_id = ?",
        order, engineer);
    if (!found.step()) throw BadRequest{"订单不存在"};
    return {found.integer(0), found.integer(1) == 1, found.integer(2) == 1};
}

struct StateMove {
    int64_t from;
    const char* toName;
    const char* refusal;
    const char* done;
};

constexpr StateMove kStart{18, "待实施", "订单不在待出发状态，不能出发", "已出发"};
constexpr StateMove kImplement{19, "待完工", "订单不在待实施状态，不能开始实施", "已开始实施"};
constexpr StateMove kFinish{20, "已完工", "订单不在待完工状态，不能完工", "已完工"};

nlohmann::json moveOn(const ApiRequest& request, const StateMove& move) {
    const std::string& engineer = knownEngineer(request);
    const OrderRow order = ownOrder(request, engineer, "OrderID");
    const std::string& address = request.form.required("LeaveAddress");
    if (order.state != move.from) throw BadRequest{move.refusal};
    // The state in the condition too: two moves of one order at once move it once.
    request.db.run(
        "UPDATE orders SET order_state_id = ?, order_state = ?, is_leave = 1, leave_address = ? "
        "WHERE order_id = ? AND order_state_id = ?",
        move.from + 1, move.toName, address, request.form.required("OrderID"), move.from);
    return actionReply(true, move.done);
}

// Yuan with at most two decimals; zero is a claim too, as the pop-up asks for "0" when the
// engineer wants nothing.
bool isAmount(const std::string& text) {
    static const std::regex kShape(R"(\d{1,9}(\.\d{1,2})?)");
    return std::regex_match(text, kShape);
}

nlohmann::json cancelService(const ApiRequest& request) {
    const std::string& engineer = knownEngineer(request);
    const OrderRow order = ownOrder(request, engineer, "orderID");
    const bool claim = request.form.has("refundPrice") || request.form.has("reason");
    std::string amount;
    if (claim) {
        amount = request.form.optional("refundPrice").value_or("");
        if (!isAmount(amount)) throw BadRequest{"补偿金额无效，请填写金额(最多两位小数)"};
    }
    if (order.state != kCancelledState) throw BadRequest{"订单未取消"};
    if (!order.left) throw BadRequest{"您尚未出发，无需处理"};
    if (order.settled) throw BadRequest{"该订单已处理"};
    request.db.run(
        "UPDATE orders SET is_agree_refund = 1, refund_price = ?, refund_reason = ? "
        "WHERE order_id = ? AND is_agree_refund = 0",
        amount, request.form.optional("reason").value_or(""), request.form.required("orderID"));
    return actionReply(true, claim ? "补偿申请已提交" : "已确认取消");
}

}  // namespace

void registerOrderEndpoints(ApiRouter& router) {
    const ApiAccess own{ApiAccess::Engineer, "brisfoldID"};
    router.add("Order/OrderList", orderList, own);
    router.add(
        "Order/EngineerStart", [](const ApiRequest& r) { return moveOn(r, kStart); }, own);
    router.add(
        "Order/StartImplement", [](const ApiRequest& r) { return moveOn(r, kImplement); }, own);
    router.add(
        "Order/EngineerFinish", [](const ApiRequest& r) { return moveOn(r, kFinish); }, own);
    router.add("Order/CancelService", cancelService, own);
}

}  // namespace devserver
