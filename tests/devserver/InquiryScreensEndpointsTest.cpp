#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Database.h"
#include "DevServerFixture.h"
#include "SeedData.h"

namespace devserver {
namespace {

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

TEST_F(InquiryScreensEndpointsTest, DetailCarriesTheEngineersQuotationsOnlyAndTheWinningPrice) {
    // What the detail screens show of it (prices, remark, device pages) is checked through them.
    const auto reply = detail(quotedFive_);
    EXPECT_FALSE(reply.contains("FinalPrice"));
    EXPECT_FALSE(reply.contains("Ordered"));
    EXPECT_TRUE(
        call("AskPrice/GetDeviceList", "askpriceID=" + quotedFive_ + "&rows=3&pageindex=4")["List"]
            .empty());

    // Without an engineer, or one who never quoted, there is no quotation part.
    const auto plain = call("AskPrice/AskPriceDetail", "AskPriceID=" + quotedFive_);
    EXPECT_FALSE(plain.contains("LastPrice"));
    EXPECT_EQ(call("AskPrice/AskPriceDetail", "askpriceID=nope")["code"], "0");

    // One he lost carries the price that won.
    const auto lost = call("AskPrice/AskPriceList", "brisfoldID=" + engineer_ + "&IsOffer=2");
    ASSERT_FALSE(lost["List"].empty());
    const auto final = detail(lost["List"][0]["AskPriceID"]);
    ASSERT_TRUE(final.contains("FinalPrice"));
    EXPECT_LT(final["FinalPrice"].get<int>(), final["LastPrice"].get<int>());
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

// The choices and the list they filter are checked through the search screen.
TEST_F(InquiryScreensEndpointsTest, DictionariesAndFiltersRefuseWhatTheyDoNotHold) {
    EXPECT_EQ(call("AskPrice/GetDictionary", "Index=GOODSNAME")["code"], "0");
    EXPECT_EQ(call("AskPrice/AskPriceList", "brisfoldID=" + engineer_ + "&IndustryID=999")["code"],
              "0");
}

// Reading, marking and deleting as the message centre does is checked through its screens.
TEST_F(InquiryScreensEndpointsTest, MessagesComeNewestFirstAndOnlyOneThatIsThereIsReadOrDeleted) {
    const auto news = [&](const std::string& page, const std::string& before) {
        return call("NewsCenter/Index", "UserOrEngineerID=" + engineer_ + "&rows=10&pageindex=" +
                                            page + "&lastDateTime=" + before);
    };
    const Json first = news("1", "");
    ASSERT_EQ(first["List"].size(), 10u);
    std::vector<std::string> dates;
    for (const auto& m : first["List"]) dates.push_back(m["AddDate"]);
    EXPECT_TRUE(std::is_sorted(dates.rbegin(), dates.rend()));
    EXPECT_LE(news("2", "")["List"][0]["AddDate"].get<std::string>(), dates.back());
    EXPECT_LT(news("1", dates[4])["List"][0]["AddDate"].get<std::string>(), dates[4]);

    const auto mine = [&](const std::string& path, const std::string& body) {
        return test::parseJson(postWithCookie(sessions_[engineer_], path, body))["code"];
    };
    const std::string id = first["List"][0]["NewsID"];
    EXPECT_EQ(mine("NewsCenter/NewsIsRead", "newsID=" + id), "1");
    EXPECT_EQ(mine("NewsCenter/DeleteNews", "NewsID=" + id), "1");
    EXPECT_EQ(mine("NewsCenter/DeleteNews", "NewsID=" + id), "0");
    EXPECT_EQ(mine("NewsCenter/NewsIsRead", "newsID=nobody"), "0");
}

}  // namespace
}  // namespace devserver
