#include <gtest/gtest.h>

#include <string>

#include "DevServerFixture.h"
#include "SearchEndpoints.h"

namespace devserver {
namespace {

using test::parseJson;
using Json = nlohmann::json;

class SearchEndpointsTest : public test::DevServerFixture {
  protected:
    Json reGeocode(const std::string& body) {
        const auto result = post("Search/ReGeocode", body);
        EXPECT_TRUE(result);
        return parseJson(result);
    }
    std::string keyed(const std::string& rest) {
        return "key=" + std::string(kSearchApiKey) + "&" + rest;
    }
};

TEST_F(SearchEndpointsTest, AnswersTheNearestPlaceOfTheTable) {
    struct Case {
        const char* point;
        const char* province;
        const char* city;
        const char* address;
    };
    const Case cases[] = {
        {"latitude=23.1300&longitude=113.2600", "广东省", "广州市", "广东省广州市越秀区府前路"},
        // A city that is its own province has no city of its own.
        {"latitude=39.9100&longitude=116.4000", "北京市", "", "北京市东城区东长安街"},
    };
    for (const auto& c : cases) {
        const auto reply = reGeocode(keyed(c.point));
        ASSERT_EQ(reply["code"], "1") << reply;
        const auto& geocode = reply["regeocode"];
        EXPECT_EQ(geocode["formattedAddress"], c.address);
        EXPECT_EQ(geocode["addressComponent"]["province"], c.province);
        EXPECT_EQ(geocode["addressComponent"]["city"], c.city);
    }
}

TEST_F(SearchEndpointsTest, RefusesABadKeyABadCoordinateAndAPointFarFromEveryPlace) {
    struct Case {
        std::string body;
        const char* tip;
    };
    const Case cases[] = {
        {"key=wrong&latitude=23.13&longitude=113.26", "key无效"},
        {"latitude=23.13&longitude=113.26", "key无效"},
        {keyed("latitude=91&longitude=113.26"), "坐标无效"},
        {keyed("latitude=23.13&longitude=-181"), "坐标无效"},
        {keyed("latitude=23.1x&longitude=113.26"), "坐标无效"},
        {keyed("latitude=nan&longitude=113.26"), "坐标无效"},
        {keyed("latitude=0&longitude=0"), "该位置附近没有可用地址"},
    };
    for (const auto& c : cases) {
        const auto reply = reGeocode(c.body);
        EXPECT_EQ(reply["code"], "0") << c.body;
        EXPECT_EQ(reply["tip"], c.tip) << c.body;
        EXPECT_FALSE(reply.contains("regeocode"));
    }
}

}  // namespace
}  // namespace devserver
