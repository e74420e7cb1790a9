#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/NSObject.h"

// The order states the service moves an order through.
enum OrderState : int {
    OrderStateToDepart = 18,
    OrderStateToImplement = 19,
    OrderStateToFinish = 20,
    OrderStateFinished = 21,
    OrderStateOther = 22,
};

// A move of an order to its next state, as the list card offers it.
struct OrderStateMove {
    const char* cardTitle;     // the card's button
    const char* confirmation;  // the pop-up's question
    const char* path;          // the request
};

// The move an order in the state can make: departure, start of work or completion; none for
// any other state.
std::optional<OrderStateMove> orderStateMove(int state);

// The app's order record: an order of the list (the detail screen's rows and device lines use
// the same fields). Text fields only; an empty text stands for "not given".
class OrderModel : public NSObject {
  public:
    static std::shared_ptr<OrderModel> create();
    // An order from one element of an "Order/OrderList" reply's "List".
    static std::shared_ptr<OrderModel> createWithOrder(const nlohmann::json& element);

    const std::string& titleStr() const { return titleStr_; }
    void setTitleStr(std::string v) { titleStr_ = std::move(v); }
    const std::string& subTitleStr() const { return subTitleStr_; }
    void setSubTitleStr(std::string v) { subTitleStr_ = std::move(v); }
    const std::string& leftStr() const { return leftStr_; }
    void setLeftStr(std::string v) { leftStr_ = std::move(v); }
    const std::string& midStr() const { return midStr_; }
    void setMidStr(std::string v) { midStr_ = std::move(v); }
    const std::string& offerStr() const { return offerStr_; }
    void setOfferStr(std::string v) { offerStr_ = std::move(v); }
    const std::string& timeStr() const { return timeStr_; }
    void setTimeStr(std::string v) { timeStr_ = std::move(v); }
    const std::string& signStr() const { return signStr_; }
    void setSignStr(std::string v) { signStr_ = std::move(v); }
    const std::string& orderStateIDStr() const { return orderStateIDStr_; }
    void setOrderStateIDStr(std::string v) { orderStateIDStr_ = std::move(v); }
    const std::string& isSureStr() const { return isSureStr_; }
    void setIsSureStr(std::string v) { isSureStr_ = std::move(v); }
    const std::string& isLeaveStr() const { return isLeaveStr_; }
    void setIsLeaveStr(std::string v) { isLeaveStr_ = std::move(v); }
    const std::string& IsAgreeRefundStr() const { return IsAgreeRefundStr_; }
    void setIsAgreeRefundStr(std::string v) { IsAgreeRefundStr_ = std::move(v); }
    const std::string& orderIDStr() const { return orderIDStr_; }
    void setOrderIDStr(std::string v) { orderIDStr_ = std::move(v); }
    const std::string& askPriceIDStr() const { return askPriceIDStr_; }
    void setAskPriceIDStr(std::string v) { askPriceIDStr_ = std::move(v); }
    const std::string& deviceFactoryStr() const { return deviceFactoryStr_; }
    void setDeviceFactoryStr(std::string v) { deviceFactoryStr_ = std::move(v); }
    const std::string& deviceTypeStr() const { return deviceTypeStr_; }
    void setDeviceTypeStr(std::string v) { deviceTypeStr_ = std::move(v); }
    const std::string& deviceNumberStr() const { return deviceNumberStr_; }
    void setDeviceNumberStr(std::string v) { deviceNumberStr_ = std::move(v); }
    const std::string& deviceCountStr() const { return deviceCountStr_; }
    void setDeviceCountStr(std::string v) { deviceCountStr_ = std::move(v); }
    const std::string& deviceIDStr() const { return deviceIDStr_; }
    void setDeviceIDStr(std::string v) { deviceIDStr_ = std::move(v); }
    const std::string& devicePackageStr() const { return devicePackageStr_; }
    void setDevicePackageStr(std::string v) { devicePackageStr_ = std::move(v); }
    const std::string& deviceAskPriceIDStr() const { return deviceAskPriceIDStr_; }
    void setDeviceAskPriceIDStr(std::string v) { deviceAskPriceIDStr_ = std::move(v); }
    const std::vector<std::string>& historyPriceArray() const { return historyPriceArray_; }
    void setHistoryPriceArray(std::vector<std::string> v) { historyPriceArray_ = std::move(v); }

    // orderStateIDStr as a number: its leading integer, 0 when there is none.
    int orderState() const;
    // State 18, 19 or 20, or 22 when the engineer had left and the compensation is not settled.
    bool hasActions() const;

  private:
    OrderModel() = default;
    std::string titleStr_;
    std::string subTitleStr_;
    std::string leftStr_;
    std::string midStr_;
    std::string offerStr_;
    std::string timeStr_;
    std::string signStr_;
    std::string orderStateIDStr_;
    std::string isSureStr_;
    std::string isLeaveStr_;
    std::string IsAgreeRefundStr_;
    std::string orderIDStr_;
    std::string askPriceIDStr_;
    std::string deviceFactoryStr_;
    std::string deviceTypeStr_;
    std::string deviceNumberStr_;
    std::string deviceCountStr_;
    std::string deviceIDStr_;
    std::string devicePackageStr_;
    std::string deviceAskPriceIDStr_;
    std::vector<std::string> historyPriceArray_;
};
