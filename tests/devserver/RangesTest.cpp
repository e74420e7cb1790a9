#include <gtest/gtest.h>

#include <string>

#include "DevServerFixture.h"
#include "OfflineEndpoints.h"

namespace devserver::test {
namespace {

class RangesTest : public DevServerFixture {
  protected:
    httplib::Result get(const std::string& path, const std::string& range) {
        httplib::Headers headers{{"User-Agent", kOfflineUserAgent}};
        if (!range.empty()) headers.emplace("Range", range);
        return client().Get(path.c_str(), headers);
    }
};

TEST_F(RangesTest, PackagesAnswerEachRangeAsRfc9110SaysAndSeveralWithTheWholeFile) {
    const std::string& archive = *offlinePackageArchive("320200");
    const size_t size = archive.size();
    const std::string total = "/" + std::to_string(size);
    struct Case {
        std::string range;
        int status;
        std::string contentRange;
        std::string body;
    };
    const Case cases[] = {
        {"", 200, "", archive},
        {"bytes=10-19", 206, "bytes 10-19" + total, archive.substr(10, 10)},
        {"bytes=100-", 206, "bytes 100-" + std::to_string(size - 1) + total, archive.substr(100)},
        {"bytes=-100", 206,
         "bytes " + std::to_string(size - 100) + "-" + std::to_string(size - 1) + total,
         archive.substr(size - 100)},
        {"bytes=-" + std::to_string(size + 5), 206, "bytes 0-" + std::to_string(size - 1) + total,
         archive},
        {"bytes=" + std::to_string(size - 1) + "-" + std::to_string(size + 50), 206,
         "bytes " + std::to_string(size - 1) + "-" + std::to_string(size - 1) + total,
         archive.substr(size - 1)},
        {"bytes=0-0,5-9", 200, "", archive},
        {"bytes=0-,0-,0-,0-", 200, "", archive},
        {"bytes=" + std::to_string(size) + "-", 416, "bytes */" + std::to_string(size), ""},
        {"bytes=-0", 416, "bytes */" + std::to_string(size), ""},
    };
    for (const auto& c : cases) {
        const auto result = get("/offline/320200.zip", c.range);
        ASSERT_TRUE(result) << c.range;
        EXPECT_EQ(result->status, c.status) << c.range;
        EXPECT_EQ(result->get_header_value_count("Content-Range"), c.contentRange.empty() ? 0u : 1u)
            << c.range;
        EXPECT_EQ(result->get_header_value("Content-Range"), c.contentRange) << c.range;
        if (c.status != 416) {
            EXPECT_TRUE(result->body == c.body) << c.range;
        }
    }
}

TEST_F(RangesTest, TileRangesNeverAnswerMoreThanTheTile) {
    const auto whole = get("/tiles/3/2/1.png?scale=4", "");
    ASSERT_TRUE(whole);
    const std::string& png = whole->body;
    std::string many = "bytes=0-";
    for (int i = 0; i < 300; ++i) many += ",0-";
    const auto amplified = get("/tiles/3/2/1.png?scale=4", many);
    ASSERT_TRUE(amplified);
    EXPECT_EQ(amplified->status, 200);
    EXPECT_TRUE(amplified->body == png);

    const auto tail = get("/tiles/3/2/1.png?scale=4", "bytes=-16");
    ASSERT_TRUE(tail);
    EXPECT_EQ(tail->status, 206);
    EXPECT_TRUE(tail->body == png.substr(png.size() - 16));
    const auto beyond = get("/tiles/3/2/1.png?scale=4", "bytes=8-999999999");
    ASSERT_TRUE(beyond);
    EXPECT_EQ(beyond->get_header_value("Content-Range"),
              "bytes 8-" + std::to_string(png.size() - 1) + "/" + std::to_string(png.size()));
    EXPECT_TRUE(beyond->body == png.substr(8));
}

}  // namespace
}  // namespace devserver::test
