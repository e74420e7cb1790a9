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

// The answers themselves are checked through the search client, against this server.
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
