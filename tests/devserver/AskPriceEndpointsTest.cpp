#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "Database.h"
#include "DevServerFixture.h"

namespace devserver {
namespace {

using Json = nlohmann::json;

// The keys the app reads from an element of the home list.
const std::set<std::string> kHomeKeys = {
    "AskPriceID",    "UserName",      "GoodsName",   "GoodsID",        "AddDate",
    "ImplementCity", "TimeLimit",     "offerPrice",  "LastProvice",    "HopeStartDate",
    "DetailsDesc",   "DeviceFactory", "HopeProvice", "ImplementPlace", "IndustryName",
    "Phone",         "Servicesname"};
const Json* findInquiry(const std::vector<Json>& list, const std::string& id) {
    for (const auto& element : list) {
        if (element["AskPriceID"] == id) return &element;
    }
    return nullptr;
}

class AskPriceEndpointsTest : public test::DevServerFixture {
  protected:
    void SetUp() override {
        DevServerFixture::SetUp();
        signInBoth();
    }

    // The body exactly as the home list builds it.
    Json homePage(int page, const std::string& engineer) {
        return call("AskPrice/AskPriceList",
                    "brisfoldID=" + engineer +
                        "&IsOffer=0&rows=10&pageindex=" + std::to_string(page) + "&lastDateTime=");
    }

    // Every element of one list, page by page until a page comes back empty.
    std::vector<Json> wholeList(int isOffer, const std::string& engineer) {
        std::vector<Json> all;
        for (int page = 1; page < 100; ++page) {
            const auto reply =
                call("AskPrice/AskPriceList", "brisfoldID=" + engineer +
                                                  "&IsOffer=" + std::to_string(isOffer) +
                                                  "&rows=10&pageindex=" + std::to_string(page));
            if (!reply["List"].is_array() || reply["List"].empty()) break;
            all.insert(all.end(), reply["List"].begin(), reply["List"].end());
        }
        return all;
    }

    Json quote(const std::string& body) { return call("AskPrice/EngineerPrice", body); }

    int64_t offerCount() {
        return Database(server_->dataFile()).scalar("SELECT COUNT(*) FROM offers");
    }
};

TEST_F(AskPriceEndpointsTest, TheHomeListPagesThroughEveryOpenInquiryOnceNewestFirstOrBeforeADate) {
    constexpr int kPages = (kSeedOpenInquiries + 9) / 10;
    std::vector<Json> all;
    for (int page = 1; page <= kPages + 1; ++page) {
        const auto reply = homePage(page, engineer_);
        EXPECT_EQ(reply["totalCount"], kSeedOpenInquiries);
        EXPECT_EQ(reply["totalPages"], kPages);
        const size_t expected = page < kPages    ? 10u
                                : page == kPages ? kSeedOpenInquiries - 10u * (kPages - 1)
                                                 : 0u;
        ASSERT_EQ(reply["List"].size(), expected) << "page " << page;
        if (page == 1) {
            EXPECT_TRUE(std::any_of(reply["List"].begin(), reply["List"].end(), [](auto& e) {
                return e["GoodsID"] == kTravelExcludedGoodsId;
            })) << "the first page shows no inquiry that excludes travel costs";
        }
        all.insert(all.end(), reply["List"].begin(), reply["List"].end());
    }
    // From lastDateTime on, only inquiries published before it.
    const auto after = call("AskPrice/AskPriceList",
                            "brisfoldID=" + engineer_ + "&IsOffer=0&rows=10&pageindex=1&" +
                                "lastDateTime=" + all[9]["AddDate"].get<std::string>());
    EXPECT_EQ(after["totalCount"], kSeedOpenInquiries - 10);
    EXPECT_EQ(after["List"][0], all[10]);
    EXPECT_EQ(call("AskPrice/AskPriceList",
                   "brisfoldID=" + engineer_ + "&IsOffer=0&lastDateTime=2000-01-01")["totalCount"],
              0);

    std::set<std::string> ids;
    for (size_t i = 0; i < all.size(); ++i) {
        const auto& element = all[i];
        ids.insert(element["AskPriceID"].get<std::string>());
        for (const auto& [key, value] : element.items()) {
            EXPECT_TRUE(kHomeKeys.contains(key)) << key;
            EXPECT_FALSE(value.is_null()) << key;
        }
        EXPECT_TRUE(element["TimeLimit"].is_number());
        if (i > 0) {
            EXPECT_GE(all[i - 1]["AddDate"], element["AddDate"]);
        }
    }
    EXPECT_EQ(ids.size(), static_cast<size_t>(kSeedOpenInquiries));
    // Left out, the filter means the home list: the quotation screen may omit it.
    EXPECT_EQ(call("AskPrice/AskPriceList", "brisfoldID=" + engineer_)["totalCount"],
              kSeedOpenInquiries);
}

TEST_F(AskPriceEndpointsTest, TheQuotationTabsHoldHisOpenQuotationsAndThoseHeLost) {
    const auto home = wholeList(0, engineer_);
    const auto quoted = wholeList(1, engineer_);
    ASSERT_FALSE(quoted.empty());
    for (const auto& element : home) {
        const Json* mine = findInquiry(quoted, element["AskPriceID"]);
        EXPECT_EQ(mine != nullptr, element.contains("LastProvice"));
        if (mine != nullptr) {
            EXPECT_EQ((*mine)["LastPrice"], element["LastProvice"]);
            EXPECT_FALSE(mine->contains("LastProvice"));
        }
    }
    EXPECT_EQ(quoted.size(),
              static_cast<size_t>(std::count_if(
                  home.begin(), home.end(), [](auto& e) { return e.contains("LastProvice"); })));

    // Each order of the other engineer beat one of his quotations.
    const auto lost = wholeList(2, engineer_);
    EXPECT_EQ(lost.size(), static_cast<size_t>(5 * kSeedOrdersPerStatePerEngineer));
    for (const auto& element : lost) {
        EXPECT_EQ(findInquiry(home, element["AskPriceID"]), nullptr);
        EXPECT_LT(element["offerPrice"], element["LastPrice"]);
    }
}

TEST_F(AskPriceEndpointsTest, ListRequestThatCannotBeServedGetsCodeZeroAndATip) {
    const std::string me = "brisfoldID=" + engineer_;
    const std::pair<std::string, std::string> cases[] = {
        {"IsOffer=0&rows=10&pageindex=1", "缺少参数: brisfoldID"},
        {me + "&IsOffer=3", "参数无效: IsOffer"},
        {me + "&IsOffer=x", "参数无效: IsOffer"},
        {me + "&pageindex=0", "参数无效: pageindex"},
        {me + "&rows=101", "参数无效: rows"},
        {me + "&lastDateTime=yesterday", "参数无效: lastDateTime"},
        {me + "&lastDateTime=2026-11-30%27%20OR%20%271%27%3D%271", "参数无效: lastDateTime"},
    };
    for (const auto& [body, tip] : cases) {
        const auto reply = call("AskPrice/AskPriceList", body);
        EXPECT_EQ(reply["code"], "0") << body;
        EXPECT_EQ(reply["tip"], tip) << body;
        EXPECT_FALSE(reply.contains("List")) << body;
    }
}

TEST_F(AskPriceEndpointsTest, QuotationThatCannotBeTakenIsRefusedAndStoresNothing) {
    const auto home = wholeList(0, engineer_);
    std::string included, excluded;
    for (const auto& element : home) {
        (element["GoodsID"] == kTravelExcludedGoodsId ? excluded : included) =
            element["AskPriceID"];
    }
    const auto closed = wholeList(2, engineer_).at(0)["AskPriceID"].get<std::string>();
    const std::string me = "brisfoldID=" + engineer_;
    const std::string mine = me + "&askpriceID=" + included;
    std::vector<std::pair<std::string, std::string>> cases = {
        {me + "&askpriceID=0123456789abcdef0123456789abcdef&price=100", "询价不存在"},
        {me + "&askpriceID=" + closed + "&price=100", "询价已结束，不能再报价"},
        {mine, "缺少参数: price"},
        {mine + "&price=", "缺少参数: price"},
        {mine + "&transID=1&hotelID=1&price=100", "该询价的报价已包含差旅费，无需选择交通和住宿"},
        {me + "&askpriceID=" + excluded + "&transID=1&price=100", "缺少参数: hotelID"},
        {me + "&askpriceID=" + excluded + "&transID=1&hotelID=&price=100", "缺少参数: hotelID"},
    };
    // The last is escaped by the app, so that it cannot add a key of its own.
    for (const char* amount :
         {"-5", "abc", "1e3", "12.345", "%20100", "100元", "1234567890", "5%26price%3D1"})
        cases.emplace_back(mine + "&price=" + amount, "报价金额无效，请填写金额(最多两位小数)");
    const int64_t before = offerCount();
    for (const auto& [body, tip] : cases) {
        const auto reply = quote(body);
        EXPECT_EQ(reply["code"], "0") << body;
        EXPECT_EQ(reply["tip"], tip) << body;
    }
    EXPECT_EQ(offerCount(), before);
}

TEST_F(AskPriceEndpointsTest, QuotationIsStoredAndShowsInBothListsOfItsEngineer) {
    const auto home = wholeList(0, engineer_);
    const auto unquoted = std::find_if(home.begin(), home.end(), [](const Json& e) {
        return !e.contains("LastProvice") && e.value("offerPrice", 1000000) > 99;
    });
    ASSERT_NE(unquoted, home.end());
    const std::string id = (*unquoted)["AskPriceID"];
    const std::string body = "brisfoldID=" + engineer_ + "&askpriceID=" + id + "&price=";

    EXPECT_EQ(quote(body + "1234.5"), (Json{{"code", "1"}, {"tip", "报价成功"}}));
    const auto quotedList = wholeList(1, engineer_);
    const Json* quoted = findInquiry(quotedList, id);
    ASSERT_NE(quoted, nullptr);
    EXPECT_EQ((*quoted)["LastPrice"], 1234.5);

    // The latest quotation is his last one; the lowest of all is the current offer.
    EXPECT_EQ(quote(body + "99")["code"], "1");
    const auto after = wholeList(0, engineer_);
    const Json* mine = findInquiry(after, id);
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ((*mine)["LastProvice"], 99);
    EXPECT_TRUE((*mine)["LastProvice"].is_number_integer());
    EXPECT_EQ((*mine)["offerPrice"], 99);
    const auto theirList = wholeList(0, other_);
    const Json* theirs = findInquiry(theirList, id);
    ASSERT_NE(theirs, nullptr);
    EXPECT_EQ((*theirs)["offerPrice"], 99);
    EXPECT_FALSE(theirs->contains("LastProvice") && (*theirs)["LastProvice"] == 99);

    // Nothing needed is quoted as 0, as the amount pop-up suggests.
    EXPECT_EQ(quote(body + "0.00")["code"], "1");
    const auto free = wholeList(0, engineer_);
    EXPECT_EQ((*findInquiry(free, id))["LastProvice"], 0);
}

// A chosen transport and lodging are stored as the travel screen's test reads them back; here, an
// escaped '&' in the transport, and no travel at all when the engineer answered "no".
TEST_F(AskPriceEndpointsTest, TravelQuotationKeepsTheTransportAsSentOrNone) {
    const auto home = wholeList(0, engineer_);
    const auto excluded = std::find_if(home.begin(), home.end(), [](const Json& e) {
        return e["GoodsID"] == kTravelExcludedGoodsId;
    });
    ASSERT_NE(excluded, home.end());
    const std::string body =
        "brisfoldID=" + engineer_ + "&askpriceID=" + (*excluded)["AskPriceID"].get<std::string>();
    const auto latestTransport = [&] {
        // The statement may outlive its database: the connection closes when it is done.
        auto rows = Database(server_->dataFile())
                        .query(
                            "SELECT trans_id FROM offers WHERE engineer_id = ? "
                            "ORDER BY offer_id DESC LIMIT 1",
                            engineer_);
        return rows.step() ? rows.text(0) : "(none)";
    };
    EXPECT_EQ(quote(body + "&transID=高铁%26二等座&hotelID=2&price=800")["code"], "1");
    EXPECT_EQ(latestTransport(), "高铁&二等座");
    EXPECT_EQ(quote(body + "&price=750")["code"], "1");
    EXPECT_EQ(latestTransport(), "");
}

}  // namespace
}  // namespace devserver
