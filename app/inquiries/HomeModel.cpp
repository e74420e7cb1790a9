#include "inquiries/HomeModel.h"

#include "Foundation/JSONValue.h"

namespace {

// The "%@" text of a reply value, with nothing at all where the reply gives no value: a card
// shows a gap rather than a placeholder the engineer cannot read.
std::string replyText(const nlohmann::json& element, const char* key) {
    if (!element.is_object()) return {};
    const auto it = element.find(key);
    if (it == element.end() || it->is_null()) return {};
    return describe(*it);
}

std::string sectionOf(InquiryOrigin origin) {
    switch (origin) {
        case InquiryOrigin::home:
            return "home";
        case InquiryOrigin::quotationInProgress:
            return "offer_ing";
        case InquiryOrigin::quotationNotWon:
            return "offer_not";
        case InquiryOrigin::search:
            break;
    }
    return {};
}

}  // namespace

std::shared_ptr<HomeModel> HomeModel::create() {
    return std::shared_ptr<HomeModel>(new HomeModel());
}

std::shared_ptr<HomeModel> HomeModel::createWithInquiry(const nlohmann::json& element,
                                                        InquiryOrigin origin) {
    auto row = create();
    row->setSectionStr(sectionOf(origin));
    row->setTitleStr(replyText(element, "UserName"));
    row->setSubTitleStr(replyText(element, "GoodsName"));
    row->setAskPriceIDStr(replyText(element, "AskPriceID"));
    const std::string goodsID = replyText(element, "GoodsID");
    row->setLeftStr(goodsID == kTravelExcludedGoodsID ? "不含差旅费" : "包含差旅费");
    row->setGoodsIDStr(goodsID);
    row->setTimeStr(replyText(element, "AddDate"));
    row->setMidStr(replyText(element, "ImplementCity"));
    row->setRightStr("还有" + replyText(element, "TimeLimit") + "天结束");
    row->setOfferStr("￥" + replyText(element, "offerPrice"));
    if (origin == InquiryOrigin::home) {
        row->setLstOfferStr("￥" + replyText(element, "LastProvice"));
    } else if (origin != InquiryOrigin::search) {
        row->setLstOfferStr("￥" + replyText(element, "LastPrice"));
    }
    row->setHopeStartDateStr(replyText(element, "HopeStartDate"));
    row->setDetailsDescStr(replyText(element, "DetailsDesc"));
    row->setDeviceFactoryStr(replyText(element, "DeviceFactory"));
    row->setGoodsNameStr(replyText(element, "GoodsName"));
    row->setHopeProviceStr(replyText(element, "HopeProvice"));
    row->setImplementPlaceStr(replyText(element, "ImplementPlace"));
    row->setIndustryNameStr(replyText(element, "IndustryName"));
    row->setPhoneStr(replyText(element, "Phone"));
    row->setServicesnameStr(replyText(element, "Servicesname"));
    return row;
}

void markFavorite(HomeModel& row, const std::vector<std::shared_ptr<HomeModel>>& favorites) {
    for (const auto& favorite : favorites) {
        if (favorite->askPriceIDStr() == row.askPriceIDStr()) {
            row.setHaveFavorite("1");
            return;
        }
        row.setHaveFavorite("0");
    }
}
