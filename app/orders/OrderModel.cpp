#include "orders/OrderModel.h"

#include <charconv>
#include <string_view>

#include "Foundation/JSONValue.h"
#include "inquiries/HomeModel.h"

namespace {

// The "%@" text of a reply value; nothing where the reply gives no value, so that neither a card
// nor a request body ever carries a placeholder for it.
std::string replyText(const nlohmann::json& element, const char* key) {
    if (!element.is_object()) return {};
    const auto it = element.find(key);
    if (it == element.end() || it->is_null()) return {};
    return describe(*it);
}

}  // namespace

std::optional<OrderStateMove> orderStateMove(int state) {
    switch (state) {
        case OrderStateToDepart:
            return OrderStateMove{"出 发", "确认出发吗", "Order/EngineerStart"};
        case OrderStateToImplement:
            return OrderStateMove{"实 施", "确认实施吗", "Order/StartImplement"};
        case OrderStateToFinish:
            return OrderStateMove{"完 工", "确认完工吗", "Order/EngineerFinish"};
        default:
            return std::nullopt;
    }
}

std::shared_ptr<OrderModel> OrderModel::create() {
    return std::shared_ptr<OrderModel>(new OrderModel());
}

std::shared_ptr<OrderModel> OrderModel::createWithOrder(const nlohmann::json& element) {
    auto order = create();
    order->setTitleStr(replyText(element, "UserName"));
    order->setSubTitleStr(replyText(element, "GoodsName"));
    order->setTimeStr(replyText(element, "AddDate"));
    order->setSignStr(replyText(element, "OrderState"));
    order->setOrderIDStr(replyText(element, "OrderID"));
    order->setAskPriceIDStr(replyText(element, "AskPriceID"));
    order->setLeftStr(replyText(element, "GoodsID") == kTravelExcludedGoodsID ? "不含差旅费"
                                                                              : "包含差旅费");
    order->setIsLeaveStr(replyText(element, "IsLeave"));
    order->setIsAgreeRefundStr(replyText(element, "IsAgreeRefund"));
    order->setIsSureStr(replyText(element, "IsSure"));
    order->setOrderStateIDStr(replyText(element, "OrderStateID"));
    order->setMidStr(replyText(element, "City"));
    const std::string money = replyText(element, "money");
    order->setOfferStr(money.empty() ? std::string() : "￥" + money);
    return order;
}

int OrderModel::orderState() const {
    std::string_view text = orderStateIDStr_;
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() ? value : 0;
}

bool OrderModel::hasActions() const {
    const int state = orderState();
    if (orderStateMove(state)) return true;
    return state == OrderStateOther && isLeaveStr_ == "1" && IsAgreeRefundStr_ != "1";
}
