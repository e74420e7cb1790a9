#include <gtest/gtest.h>
#include <httplib.h>

#include <string>
#include <vector>

#include "DevServerFixture.h"
#include "Foundation/NSData.h"
#include "MapDataEndpoints.h"
#include "RawConnection.h"
#include "SearchEndpoints.h"

namespace devserver::test {
namespace {

using ServicesEndpointsTest = DevServerFixture;

constexpr const char* kQuery = "?product=1&type=1&platform=2&channel=open&sign=";

std::string signatureOf(const std::string& body) { return md5Hex(body.substr(0, 50) + "r7x%Lp2w"); }

TEST_F(ServicesEndpointsTest, TheConfigurationChecksItsQuery) {
    const std::string key = ServicesEndpoints::kDevelopmentKey;
    const struct {
        std::string query;
        const char* status;
    } table[] = {
        {"opertype=exception;common&plattype=iOS&product=3dmap&version=3.1.0&key=" + key, "1"},
        {"opertype=common;exception&plattype=iOS&product=3dmap&version=3.1.0&key=" + key, "0"},
        {"opertype=weather&plattype=iOS&product=3dmap&version=3.1.0&key=" + key, "0"},
        {"opertype=common&plattype=Linux&product=3dmap&version=3.1.0&key=" + key, "0"},
        {"opertype=common&plattype=iOS&product=3dmap&version=3.0.0&key=" + key, "0"},
        {"opertype=common&plattype=iOS&product=3dmap&version=3.1.0&key=stranger", "0"},
        {"opertype=common&plattype=iOS&product=3dmap&version=3.1.0", "0"},
    };
    for (const auto& c : table) {
        const auto reply = parseJson(client().Get(("/v3/config/resource?" + c.query).c_str()));
        EXPECT_EQ(reply["status"], c.status) << c.query;
    }
}

TEST_F(ServicesEndpointsTest, UploadThatIsWrongInAnyWayGetsCodeZero) {
    const std::string notGzip(64, 'x');
    const struct {
        const char* name;
        std::string target;
        std::string type;
        std::string body;
    } cases[] = {
        {"query",
         std::string("/ws/log/upload?product=1&type=2&platform=2&channel=open&sign=") +
             signatureOf(notGzip),
         "application/gzip", notGzip},
        {"content type", "/ws/log/upload" + std::string(kQuery) + signatureOf(notGzip),
         "application/json", notGzip},
        {"signature", "/ws/log/upload" + std::string(kQuery) + signatureOf(notGzip + "!"),
         "application/gzip", notGzip + "!"},
        {"short body", "/ws/log/upload" + std::string(kQuery) + "0", "application/gzip", "x"},
        {"not gzip", "/ws/log/upload" + std::string(kQuery) + signatureOf(notGzip),
         "application/gzip", notGzip},
    };
    for (const auto& c : cases) {
        const auto result = client().Post(c.target.c_str(), c.body, c.type.c_str());
        ASSERT_TRUE(result) << c.name;
        EXPECT_EQ(result->status, 200) << c.name;
        EXPECT_EQ(parseJson(result), nlohmann::json({{"code", 0}})) << c.name;
    }

    RawConnection raw(server_->port());
    ASSERT_TRUE(raw.connected());
    raw.send("POST /ws/log/upload" + std::string(kQuery) + signatureOf(notGzip) +
             " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/gzip\r\n"
             "Content-Length: 64\r\nContent-Length: 64\r\nConnection: close\r\n\r\n" +
             notGzip);
    const auto answer = raw.readToEnd();
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->ends_with(R"({"code":0})")) << *answer;
    EXPECT_TRUE(server_->services().storedLogs().empty());
}

using Json = nlohmann::json;

class SearchEndpointsTest : public DevServerFixture {
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

std::int32_t int32At(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return static_cast<std::int32_t>(v);
}

// (name, the body after the name) of each record.
std::vector<std::pair<std::string, std::string>> records(const std::string& answer) {
    std::vector<std::pair<std::string, std::string>> out;
    EXPECT_EQ(int32At(answer, 0), 0);
    for (std::size_t at = 8; at < answer.size();) {
        const auto length = static_cast<std::size_t>(int32At(answer, at));
        const std::string body = answer.substr(at + 8, length);
        const std::size_t n = static_cast<unsigned char>(body[4]);
        out.emplace_back(body.substr(5, n), body.substr(5 + n));
        at += 8 + length;
    }
    return out;
}

TEST(MapDataEndpointsTest, RefusesQueriesThatAreNotTheKitsOwn) {
    const MapDataEndpoints endpoints;
    const std::string many = [] {
        std::string list = "0";
        for (int i = 1; i < 170; ++i) list += ";0";
        return list;
    }();
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"/ws/mps/vmap", "mapdataver=4&type=20&cp=1&mesh=0"},
        {"/ws/mps/vmap", "mapdataver=5&type=21&cp=1&mesh=0"},
        {"/ws/mps/vmap", "mapdataver=5&cp=1&mesh=0"},
        {"/ws/mps/vmap", "mapdataver=5&type=20&mesh=0"},
        {"/ws/mps/vmap", "mapdataver=5&type=20&cp=1&mesh="},
        {"/ws/mps/vmap", "mapdataver=5&type=20&cp=1&mesh=0;4"},
        {"/ws/mps/vmap", "mapdataver=5&type=20&cp=1&mesh=012301230123012301230"},
        {"/ws/mps/vmap", "mapdataver=5&type=20&cp=1&mesh=0-tag"},
        {"/ws/mps/vmap", "mapdataver=5&type=20&cp=1&mesh=" + many},
        {"/ws/mps/vmap", "mapdataver=5&type=20&type=20&cp=1&mesh=0"},
        {"/ws/mps/smap", "mapdataver=5&type=20&cp=1&mesh=0"},
        {"/ws/mps/rtt", "mapdataver=5&mesh=0"},
        {"/ws/mps/rtt", "mapdataver=5&v=6.0.0&bver=2&cp=1&mesh=0"},
        {"/ws/mps/rtt", "mapdataver=5&v=6.0.0&bver=2&mesh=0-%zz"},
    };
    for (const auto& [path, query] : bad) {
        EXPECT_FALSE(endpoints.answerFor(path, query)) << path << "?" << query;
    }
    EXPECT_TRUE(
        endpoints.answerFor("/ws/mps/vmap", "mapdataver=5&type=20&cp=1&mesh=" + many.substr(2)));
}

TEST(MapDataEndpointsTest, AnswersOneRecordPerGridInOrderAndTrafficByPeriod) {
    MapDataEndpoints endpoints;
    const auto grids = endpoints.answerFor("/ws/mps/smap", "mapdataver=5&cp=1&mesh=1321;0;1320");
    ASSERT_TRUE(grids);
    const auto got = records(*grids);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], std::make_pair(std::string("1321"), MapDataEndpoints::gridData(3, "1321")));
    EXPECT_EQ(got[1].first, "0");
    EXPECT_EQ(got[2].first, "1320");
    EXPECT_NE(MapDataEndpoints::gridData(3, "0"), MapDataEndpoints::gridData(0, "0"));

    std::int64_t now = 1000;
    endpoints.setWallClock([&] { return now; });
    endpoints.setTrafficPeriod(100);
    EXPECT_EQ(endpoints.currentTrafficTag(), "t10");
    const auto traffic = [&](const std::string& mesh) {
        const auto answer =
            endpoints.answerFor("/ws/mps/rtt", "mapdataver=5&v=6.0.0&bver=2&mesh=" + mesh);
        EXPECT_TRUE(answer);
        return records(answer.value_or(std::string(8, '\0'))).at(0).second;
    };
    const std::string header = std::string("\x03t10", 4) + std::string("\xE8\x03\0\0", 4);
    EXPECT_EQ(traffic("0123"), header + MapDataEndpoints::gridData(4, "0123"));
    EXPECT_EQ(traffic("0123-t9"), header + MapDataEndpoints::gridData(4, "0123"));
    EXPECT_EQ(traffic("0123-t10"), header);
    now = 1100;
    EXPECT_EQ(traffic("0123-t10").substr(0, 4), std::string("\x03t11", 4));
}

}  // namespace
}  // namespace devserver::test
