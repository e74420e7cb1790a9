#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "inquiries/HomeModel.h"

namespace {

using nlohmann::json;

json fullElement() {
    return json::parse(R"({
        "UserName": "华东电力", "GoodsName": "UPS巡检", "AskPriceID": "A17",
        "GoodsID": "1dc8b16a1f97465a9ece37e8b88216fb", "AddDate": "2015-03-02 10:20:00.123",
        "ImplementCity": "南京", "TimeLimit": 3, "offerPrice": 1200.5, "LastProvice": 1100,
        "LastPrice": "990", "HopeStartDate": "2015-03-09", "DetailsDesc": "两台 & 一台",
        "DeviceFactory": "厂商甲", "HopeProvice": 1500, "ImplementPlace": "江宁区1号",
        "IndustryName": "电力", "Phone": "025-1234", "Servicesname": "巡检"})");
}

TEST(HomeModelTest, InquiryRowTakesEachListsKeys) {
    struct Case {
        InquiryOrigin origin;
        std::string section;
        std::string lastOffer;
    };
    const std::vector<Case> cases = {
        {InquiryOrigin::home, "home", "￥1100"},
        {InquiryOrigin::quotationInProgress, "offer_ing", "￥990"},
        {InquiryOrigin::quotationNotWon, "offer_not", "￥990"},
        {InquiryOrigin::search, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.section);
        const auto row = HomeModel::createWithInquiry(fullElement(), c.origin);
        EXPECT_EQ(row->sectionStr(), c.section);
        EXPECT_EQ(row->lstOfferStr(), c.lastOffer);
        EXPECT_EQ(row->titleStr(), "华东电力");
        EXPECT_EQ(row->subTitleStr(), "UPS巡检");
        EXPECT_EQ(row->goodsNameStr(), "UPS巡检");
        EXPECT_EQ(row->askPriceIDStr(), "A17");
        EXPECT_EQ(row->leftStr(), "不含差旅费");
        EXPECT_EQ(row->goodsIDStr(), "1dc8b16a1f97465a9ece37e8b88216fb");
        EXPECT_EQ(row->timeStr(), "2015-03-02 10:20:00.123");
        EXPECT_EQ(row->midStr(), "南京");
        EXPECT_EQ(row->rightStr(), "还有3天结束");
        EXPECT_EQ(row->offerStr(), "￥1200.5");
        EXPECT_EQ(row->hopeStartDateStr(), "2015-03-09");
        EXPECT_EQ(row->detailsDescStr(), "两台 & 一台");
        EXPECT_EQ(row->deviceFactoryStr(), "厂商甲");
        EXPECT_EQ(row->hopeProviceStr(), "1500");
        EXPECT_EQ(row->implementPlaceStr(), "江宁区1号");
        EXPECT_EQ(row->industryNameStr(), "电力");
        EXPECT_EQ(row->phoneStr(), "025-1234");
        EXPECT_EQ(row->servicesnameStr(), "巡检");
    }
}

TEST(HomeModelTest, MissingOrNullValuesAreEmptyTextNeverPlaceholders) {
    json sparse = {
        {"AskPriceID", "A1"}, {"GoodsID", "0123"}, {"UserName", nullptr}, {"TimeLimit", nullptr}};
    for (const json& element : {sparse, json::object(), json::array(), json("text")}) {
        SCOPED_TRACE(element.dump());
        const auto row = HomeModel::createWithInquiry(element, InquiryOrigin::home);
        EXPECT_EQ(row->titleStr(), "");
        EXPECT_EQ(row->rightStr(), "还有天结束");
        EXPECT_EQ(row->offerStr(), "￥");
        EXPECT_EQ(row->lstOfferStr(), "￥");
        EXPECT_EQ(row->leftStr(), "包含差旅费");
        EXPECT_EQ(row->phoneStr(), "");
    }
    const auto row = HomeModel::createWithInquiry(sparse, InquiryOrigin::home);
    EXPECT_EQ(row->goodsIDStr(), "0123");
    EXPECT_EQ(row->askPriceIDStr(), "A1");
}

TEST(HomeModelTest, FavouriteMarkComesFromTheFirstStoredMatch) {
    auto favourite = [](const std::string& id) {
        auto model = HomeModel::create();
        model->setAskPriceIDStr(id);
        return model;
    };
    auto row = HomeModel::createWithInquiry(json{{"AskPriceID", "B"}}, InquiryOrigin::home);
    markFavorite(*row, {});
    EXPECT_EQ(row->haveFavorite(), "");
    markFavorite(*row, {favourite("A"), favourite("C")});
    EXPECT_EQ(row->haveFavorite(), "0");
    markFavorite(*row, {favourite("A"), favourite("B"), favourite("C")});
    EXPECT_EQ(row->haveFavorite(), "1");
}

}  // namespace
