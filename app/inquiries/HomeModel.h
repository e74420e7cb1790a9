#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/NSObject.h"

// The catalogue product whose price leaves out the engineer's travel costs.
inline constexpr std::string_view kTravelExcludedGoodsID = "1dc8b16a1f97465a9ece37e8b88216fb";

// Which list an inquiry row came from; it decides the row's section and where its last
// quotation is read.
enum class InquiryOrigin {
    home,                 // "home", last quotation from "LastProvice"
    quotationInProgress,  // "offer_ing", from "LastPrice"
    quotationNotWon,      // "offer_not", from "LastPrice"
    search,               // no section and no last quotation
};

// The one record the inquiry screens pass around: an inquiry row, a stored favourite, a row of
// an inquiry's detail or a message. Screens share rows by reference, so a favourite toggled on a
// detail screen shows on the list row it came from. An empty text stands for "not given".
class HomeModel : public NSObject {
  public:
    static std::shared_ptr<HomeModel> create();
    // A row from one element of an inquiry list's "List". A value the reply leaves out, or
    // sends as null, is empty text, also inside the formatted texts ("还有天结束").
    static std::shared_ptr<HomeModel> createWithInquiry(const nlohmann::json& element,
                                                        InquiryOrigin origin);

    const std::string& sectionStr() const { return sectionStr_; }
    void setSectionStr(std::string v) { sectionStr_ = std::move(v); }
    const std::string& titleStr() const { return titleStr_; }
    void setTitleStr(std::string v) { titleStr_ = std::move(v); }
    const std::string& subTitleStr() const { return subTitleStr_; }
    void setSubTitleStr(std::string v) { subTitleStr_ = std::move(v); }
    const std::string& leftStr() const { return leftStr_; }
    void setLeftStr(std::string v) { leftStr_ = std::move(v); }
    const std::string& goodsIDStr() const { return goodsIDStr_; }
    void setGoodsIDStr(std::string v) { goodsIDStr_ = std::move(v); }
    const std::string& midStr() const { return midStr_; }
    void setMidStr(std::string v) { midStr_ = std::move(v); }
    const std::string& rightStr() const { return rightStr_; }
    void setRightStr(std::string v) { rightStr_ = std::move(v); }
    const std::string& offerStr() const { return offerStr_; }
    void setOfferStr(std::string v) { offerStr_ = std::move(v); }
    const std::string& lstOfferStr() const { return lstOfferStr_; }
    void setLstOfferStr(std::string v) { lstOfferStr_ = std::move(v); }
    const std::string& timeStr() const { return timeStr_; }
    void setTimeStr(std::string v) { timeStr_ = std::move(v); }
    const std::string& askPriceIDStr() const { return askPriceIDStr_; }
    void setAskPriceIDStr(std::string v) { askPriceIDStr_ = std::move(v); }
    const std::string& hopeStartDateStr() const { return hopeStartDateStr_; }
    void setHopeStartDateStr(std::string v) { hopeStartDateStr_ = std::move(v); }
    const std::string& detailsDescStr() const { return detailsDescStr_; }
    void setDetailsDescStr(std::string v) { detailsDescStr_ = std::move(v); }
    const std::string& deviceFactoryStr() const { return deviceFactoryStr_; }
    void setDeviceFactoryStr(std::string v) { deviceFactoryStr_ = std::move(v); }
    const std::string& goodsNameStr() const { return goodsNameStr_; }
    void setGoodsNameStr(std::string v) { goodsNameStr_ = std::move(v); }
    const std::string& hopeProviceStr() const { return hopeProviceStr_; }
    void setHopeProviceStr(std::string v) { hopeProviceStr_ = std::move(v); }
    const std::string& implementPlaceStr() const { return implementPlaceStr_; }
    void setImplementPlaceStr(std::string v) { implementPlaceStr_ = std::move(v); }
    const std::string& implementProvinceStr() const { return implementProvinceStr_; }
    void setImplementProvinceStr(std::string v) { implementProvinceStr_ = std::move(v); }
    const std::string& industryNameStr() const { return industryNameStr_; }
    void setIndustryNameStr(std::string v) { industryNameStr_ = std::move(v); }
    const std::string& phoneStr() const { return phoneStr_; }
    void setPhoneStr(std::string v) { phoneStr_ = std::move(v); }
    const std::string& servicesnameStr() const { return servicesnameStr_; }
    void setServicesnameStr(std::string v) { servicesnameStr_ = std::move(v); }
    // "1" marks a favourite; anything else, empty included, does not.
    const std::string& haveFavorite() const { return haveFavorite_; }
    void setHaveFavorite(std::string v) { haveFavorite_ = std::move(v); }
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
    const nlohmann::json& historyPriceArray() const { return historyPriceArray_; }
    nlohmann::json& historyPriceArray() { return historyPriceArray_; }
    void setHistoryPriceArray(nlohmann::json v) { historyPriceArray_ = std::move(v); }
    bool isSelected() const { return isSelected_; }
    void setIsSelected(bool v) { isSelected_ = v; }
    const std::string& newtypeIDStr() const { return newtypeIDStr_; }
    void setNewtypeIDStr(std::string v) { newtypeIDStr_ = std::move(v); }
    const std::string& resourceIDStr() const { return resourceIDStr_; }
    void setResourceIDStr(std::string v) { resourceIDStr_ = std::move(v); }
    const std::string& newsIDStr() const { return newsIDStr_; }
    void setNewsIDStr(std::string v) { newsIDStr_ = std::move(v); }
    const std::string& isReadStr() const { return isReadStr_; }
    void setIsReadStr(std::string v) { isReadStr_ = std::move(v); }

  protected:
    HomeModel() = default;

  private:
    std::string sectionStr_;
    std::string titleStr_;
    std::string subTitleStr_;
    std::string leftStr_;
    std::string goodsIDStr_;
    std::string midStr_;
    std::string rightStr_;
    std::string offerStr_;
    std::string lstOfferStr_;
    std::string timeStr_;
    std::string askPriceIDStr_;
    std::string hopeStartDateStr_;
    std::string detailsDescStr_;
    std::string deviceFactoryStr_;
    std::string goodsNameStr_;
    std::string hopeProviceStr_;
    std::string implementPlaceStr_;
    std::string implementProvinceStr_;
    std::string industryNameStr_;
    std::string phoneStr_;
    std::string servicesnameStr_;
    std::string haveFavorite_;
    std::string deviceTypeStr_;
    std::string deviceNumberStr_;
    std::string deviceCountStr_;
    std::string deviceIDStr_;
    std::string devicePackageStr_;
    std::string deviceAskPriceIDStr_;
    nlohmann::json historyPriceArray_ = nlohmann::json::array();
    bool isSelected_ = false;
    std::string newtypeIDStr_;
    std::string resourceIDStr_;
    std::string newsIDStr_;
    std::string isReadStr_;
};

// Marks a new inquiry row from the stored favourites, walked in store order: "1" at the first
// one with the row's inquiry id, "0" while none matched; an empty store leaves the mark unset.
void markFavorite(HomeModel& row, const std::vector<std::shared_ptr<HomeModel>>& favorites);
