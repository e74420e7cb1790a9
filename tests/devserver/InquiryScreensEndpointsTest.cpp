#include <gtest/gtest.h>

#include <string>

#include "Database.h"
#include "DevServerFixture.h"
#include "SeedData.h"

namespace devserver {
namespace {

using test::parseJson;
using Json = nlohmann::json;

class InquiryScreensEndpointsTest : public test::DevServerFixture {
  protected:
    void SetUp() override {
        DevServerFixture::SetUp();
        signInBoth();
        Database db(server_->dataFile());
        auto five = db.query(
            "SELECT ask_price_id FROM offers WHERE engineer_id = ? GROUP BY ask_price_id "
            "HAVING COUNT(*) = 5",
            engineer_);
        ASSERT_TRUE(five.step());
        quotedFive_ = five.text(0);
    }

    Json detail(const std::string& inquiry) {
        return call("AskPrice/AskPriceDetail",
                    "engineerID=" + engineer_ + "&askpriceID=" + inquiry);
    }

    std::string quotedFive_;
};

TEST_F(InquiryScreensEndpointsTest, DetailCarriesThreeDevicesAndTheEngineersQuotationsPagesGoOn) {
    const auto reply = detail(quotedFive_);
    EXPECT_EQ(reply["AskPriceID"], quotedFive_);
    EXPECT_EQ(reply["Device"].size(), 3u);
    EXPECT_EQ(reply["LastPrice"], 4200);
    ASSERT_EQ(reply["OfferList"].size(), 4u);
    EXPECT_EQ(reply["OfferList"][0]["offerPrice"], 4400);
    EXPECT_EQ(reply["Remark"], "需客户提供机房门禁卡");
    EXPECT_FALSE(reply.contains("FinalPrice"));
    EXPECT_FALSE(reply.contains("Ordered"));

    const auto page2 =
        call("AskPrice/GetDeviceList", "askpriceID=" + quotedFive_ + "&rows=3&pageindex=2");
    ASSERT_EQ(page2["List"].size(), 3u);
    EXPECT_EQ(page2["totalCount"], 8);
    EXPECT_EQ(page2["List"][0]["DeviceID"], quotedFive_.substr(0, 24) + "dev3");
    const auto page4 =
        call("AskPrice/GetDeviceList", "askpriceID=" + quotedFive_ + "&rows=3&pageindex=4");
    EXPECT_TRUE(page4["List"].empty());

    // Without an engineer, or one who never quoted, there is no quotation part.
    const auto plain = call("AskPrice/AskPriceDetail", "AskPriceID=" + quotedFive_);
    EXPECT_FALSE(plain.contains("LastPrice"));
    EXPECT_EQ(call("AskPrice/AskPriceDetail", "askpriceID=nope")["code"], "0");
}

TEST_F(InquiryScreensEndpointsTest, RemarkWithTheCurrentPriceAddsNoQuotationANewPriceDoes) {
    const std::string base = "brisfoldID=" + engineer_ + "&askpriceID=" + quotedFive_;
    EXPECT_EQ(call("AskPrice/EngineerPrice", base + "&price=4200&remark=周末可施工")["code"], "1");
    auto reply = detail(quotedFive_);
    EXPECT_EQ(reply["Remark"], "周末可施工");
    EXPECT_EQ(reply["OfferList"].size(), 4u);
    EXPECT_EQ(call("AskPrice/EngineerPrice", base + "&price=4000&remark=")["code"], "1");
    reply = detail(quotedFive_);
    EXPECT_EQ(reply["Remark"], "");
    EXPECT_EQ(reply["LastPrice"], 4000);
    EXPECT_EQ(reply["OfferList"].size(), 5u);
}

TEST_F(InquiryScreensEndpointsTest, LostInquiryHasFinalPrice) {
    const auto list =
        call("AskPrice/AskPriceList", "brisfoldID=" + engineer_ + "&IsOffer=2&rows=10&pageindex=1");
    ASSERT_FALSE(list["List"].empty());
    const auto reply = detail(list["List"][0]["AskPriceID"]);
    ASSERT_TRUE(reply.contains("FinalPrice"));
    EXPECT_LT(reply["FinalPrice"].get<int>(), reply["LastPrice"].get<int>());
}

TEST_F(InquiryScreensEndpointsTest, DictionariesNameTheChoicesTheListFilters) {
    const auto industries = call("AskPrice/GetDictionary", "Index=SSHY")["list"];
    ASSERT_FALSE(industries.empty());
    EXPECT_TRUE(industries[0]["ID"].is_number());
    for (const char* index : {"SBCS", "SBLX"})
        EXPECT_FALSE(call("AskPrice/GetDictionary", std::string("Index=") + index)["list"].empty());
    const auto goods = call("AskPrice/GetGoodsName", "Index=GOODSNAME")["list"];
    EXPECT_EQ(goods[0]["ID"], std::string(kTravelExcludedGoodsId));
    EXPECT_EQ(call("AskPrice/GetDictionary", "Index=GOODSNAME")["code"], "0");

    const auto makers = call("AskPrice/GetDictionary", "Index=SBCS")["list"];
    const std::string industry = industries[0]["name"];
    const std::string maker = makers[0]["name"];
    const std::string body =
        "brisfoldID=" + engineer_ +
        "&IsOffer=0&rows=100&pageindex=1&lastDateTime=&IndustryID=" + industries[0]["ID"].dump() +
        "&FactoryID=" + makers[0]["ID"].dump() + "&DeviceTypeID=&GoodsID=";
    const auto filtered = call("AskPrice/AskPriceList", body);
    ASSERT_FALSE(filtered["List"].empty());
    Database db(server_->dataFile());
    for (const auto& element : filtered["List"]) {
        EXPECT_EQ(element["IndustryName"], industry);
        EXPECT_GT(db.scalar("SELECT COUNT(*) FROM devices WHERE ask_price_id = ? AND "
                            "device_factory = ?",
                            element["AskPriceID"].get<std::string>(), maker),
                  0);
    }
    EXPECT_LT(filtered["totalCount"].get<int>(),
              call("AskPrice/AskPriceList", "brisfoldID=" + engineer_ + "&IsOffer=0")["totalCount"]
                  .get<int>());
    EXPECT_EQ(call("AskPrice/AskPriceList", "brisfoldID=" + engineer_ + "&IndustryID=999")["code"],
              "0");
}

}  // namespace
}  // namespace devserver
