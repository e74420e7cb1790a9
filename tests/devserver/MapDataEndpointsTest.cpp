#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MapDataEndpoints.h"

namespace {

using devserver::MapDataEndpoints;

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
