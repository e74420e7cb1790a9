#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CoreGraphics/CGImage.h"
#include "Deadline.h"
#include "DevServerFixture.h"
#include "HttpServer.h"
#include "OfflineEndpoints.h"
#include "TileEndpoints.h"

namespace devserver::test {
namespace {

class TileEndpointsTest : public DevServerFixture {
  protected:
    std::vector<std::string> log() {
        const auto result = client().Get("/tiles/log");
        if (!result || result->status != 200) return {"(no log)"};
        std::vector<std::string> lines;
        std::istringstream in(result->body);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    httplib::Result get(const std::string& path, const std::string& range) {
        httplib::Headers headers{{"User-Agent", kOfflineUserAgent}};
        if (!range.empty()) headers.emplace("Range", range);
        return client().Get(path.c_str(), headers);
    }
    static bool near(CGColor c, TileColour want) {
        return std::abs(c.r * 255 - want.r) < 1.5 && std::abs(c.g * 255 - want.g) < 1.5 &&
               std::abs(c.b * 255 - want.b) < 1.5 && c.a == 1;
    }
};

TEST_F(TileEndpointsTest, TilesArePNGsInTheirOwnColourWithBorderAndLabel) {
    struct Case {
        std::string path;
        std::int64_t x, y, z;
        int side;
    };
    const Case cases[] = {
        {"/tiles/0/0/0.png", 0, 0, 0, 256},
        {"/tiles/3/5/2.png?scale=2.000000", 5, 2, 3, 512},
        {"/tiles/20/1048575/7.png?scale=1", 1048575, 7, 20, 256},
        {"/tiles/12/3/4.png?scale=3", 3, 4, 12, 768},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto result = client().Get(c.path);
        ASSERT_TRUE(result);
        ASSERT_EQ(result->status, 200);
        EXPECT_EQ(result->get_header_value("Content-Type"), "image/png");
        const auto image = CGImage::createWithData(
            {reinterpret_cast<const uint8_t*>(result->body.data()), result->body.size()});
        ASSERT_TRUE(image);
        ASSERT_EQ(image->width(), c.side);
        ASSERT_EQ(image->height(), c.side);
        // Filled inside a one-pixel border on every side.
        EXPECT_TRUE(near(image->pixelAt(1, c.side - 2), tileColour(c.x, c.y, c.z)));
        for (const auto& [px, py] : {std::pair{0, 0},
                                     {c.side - 1, c.side / 3},
                                     {c.side / 5, 0},
                                     {c.side / 2, c.side - 1}}) {
            EXPECT_TRUE(near(image->pixelAt(px, py), kTileBorderColour)) << px << "," << py;
        }
        int dark = 0;
        for (int px = c.side / 4; px < 3 * c.side / 4; ++px) {
            dark += near(image->pixelAt(px, c.side / 2), kTileBorderColour) ? 1 : 0;
        }
        EXPECT_GT(dark, 0) << "the label crosses the middle row";
    }
    EXPECT_NE(tileColour(0, 0, 1), tileColour(1, 0, 1));
    EXPECT_NE(tileColour(0, 0, 1), tileColour(0, 1, 1));
    EXPECT_NE(tileColour(3, 5, 4), tileColour(3, 5, 5));
}

// The empty reply is read by the image downloader's tests.
TEST_F(TileEndpointsTest, RepliesOtherThanATile) {
    struct Case {
        std::string path;
        int status;
        std::string type;
    };
    const Case cases[] = {
        {"/tiles/1/2/0.png", 404, "text/plain"},
        {"/tiles/1/0/2.png", 404, "text/plain"},
        {"/tiles/21/0/0.png", 404, "text/plain"},
        {"/tiles/0/0/0.png?scale=0.5", 400, "text/plain"},
        {"/tiles/0/0/0.png?scale=abc", 400, "text/plain"},
        {"/tiles/0/0/0.png?scale=5", 400, "text/plain"},
        {"/tiles/0/0/0.jpg", 404, ""},
        {"/tiles/page.html", 200, "text/html; charset=utf-8"},
    };
    for (const Case& c : cases) {
        const auto result = client().Get(c.path);
        ASSERT_TRUE(result) << c.path;
        EXPECT_EQ(result->status, c.status) << c.path;
        if (!c.type.empty()) {
            EXPECT_EQ(result->get_header_value("Content-Type"), c.type) << c.path;
        }
    }
}

// That a held reply waits for its gate and that the log keeps arrival order are relied on, and so
// checked, by the image downloader's tests.
TEST_F(TileEndpointsTest, HeldRequestsLeaveWorkersFreeAndGoWhenReleasedOrAtTheirDeadline) {
    auto options = testOptions();
    options.workers = 4;
    restart(options);
    std::vector<std::future<httplib::Result>> held;
    for (int i = 0; i < 2; ++i) {
        held.push_back(std::async(std::launch::async,
                                  [this] { return client().Get("/tiles/held/g/0/0/0.png"); }));
    }
    ASSERT_TRUE(testsupport::waitUntil([&] { return server_->tiles().held() == 2; }));
    EXPECT_EQ(statusOf(client().Get("/tiles/held/g/0/0/0.png")), 503);
    ASSERT_TRUE(client().Get("/health"));
    const auto released = client().Post("/tiles/release/g", "", "text/plain");
    ASSERT_TRUE(released);
    EXPECT_EQ(released->body, "2\n");
    for (auto& reply : held) EXPECT_EQ(statusOf(reply.get()), 200);
    EXPECT_EQ(statusOf(client().Get("/tiles/held/g/0/0/0.png")), 200);  // an open gate holds no one

    options.heldTileDeadline = std::chrono::milliseconds(1);
    restart(options);
    EXPECT_EQ(statusOf(client().Get("/tiles/held/never/0/0/0.png")), 503);
}

// A server that runs for long keeps the newest gates open, not every gate it was ever sent.
TEST_F(TileEndpointsTest, TheNewestGatesStayOpen) {
    auto options = testOptions();
    options.heldTileDeadline = std::chrono::milliseconds(1);
    restart(options);
    auto http = client();
    for (std::size_t i = 0; i <= TileEndpoints::kOpenGates; ++i) {
        const auto gate = "/tiles/release/g" + std::to_string(i);
        ASSERT_EQ(statusOf(http.Post(gate.c_str(), "", "text/plain")), 200);
    }
    EXPECT_EQ(statusOf(http.Get("/tiles/held/g1/0/0/0.png")), 200);
    EXPECT_EQ(statusOf(http.Get("/tiles/held/g0/0/0/0.png")), 503);
}

TEST_F(TileEndpointsTest, StoppingLetsHeldRequestsGo) {
    auto held = std::async(std::launch::async,
                           [this] { return client().Get("/tiles/held/never/0/0/0.png"); });
    ASSERT_TRUE(testsupport::waitUntil([&] { return log().size() == 1; }));
    server_->stop();
    EXPECT_TRUE(held.get());
}

// Kilobytes the process holds in memory now (VmRSS).
long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// Requests with long targets, from a few clients at once, as a flood would send them.
TEST_F(TileEndpointsTest, TheLogKeepsTheNewestRequestsWithinItsBound) {
    constexpr int kClients = 4;
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    constexpr int kEach = 3000;
#else
    // Memory is not measured there: enough to pass the bound twice over is enough.
    constexpr int kEach = TileEndpoints::kLogLines / 2;
#endif
    const std::string pad(6000, 'p');
    [[maybe_unused]] const long before = residentKilobytes();
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            auto http = client();
            for (int i = 0; i < kEach; ++i) {
                const std::string target =
                    "/tiles/empty?c=" + std::to_string(c) + "&i=" + std::to_string(i) + "&" + pad;
                if (statusOf(http.Get(target)) != 200) ADD_FAILURE() << target;
            }
        });
    }
    for (auto& t : clients) t.join();
    const std::string last = "/tiles/empty?last=" + std::string(2000, 'x');
    ASSERT_EQ(statusOf(client().Get(last)), 200);

    const auto reply = client().Get("/tiles/log");
    ASSERT_TRUE(reply);
    EXPECT_LE(reply->body.size(), TileEndpoints::kLogLines * (TileEndpoints::kLogLineBytes + 1));
    const auto lines = log();
    EXPECT_EQ(lines.size(), TileEndpoints::kLogLines);
    EXPECT_EQ(lines.back(), last.substr(0, TileEndpoints::kLogLineBytes));
    EXPECT_EQ(lines.front().rfind("/tiles/empty?c=", 0), 0u) << lines.front().substr(0, 40);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // Sanitizers hold freed memory back; without them, 72 MB of targets leave little behind.
    EXPECT_LT(residentKilobytes() - before, 64 * 1024);
#endif
}

using RangesTest = TileEndpointsTest;

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

// One reading of Range decides: what the server reads is answered, what it does not is ignored,
// and nothing is refused for a Range value the HTTP layer alone could not read (the unit in
// another case, spaces in the list, numbers of 2^63 and beyond).
TEST_F(RangesTest, EveryEndpointReadsRangeValuesAsTheRangedOnesDo) {
    const std::string login = "UserName=" + std::string(kSeedEngineers[0].userName) +
                              "&PassWord=" + std::string(kSeedEngineers[0].password);
    struct Endpoint {
        std::string name;
        std::function<httplib::Result(const std::string& range)> fetch;
        bool ranged;
    };
    const Endpoint endpoints[] = {
        {"health", [&](const std::string& range) { return get("/health", range); }, false},
        {"unknown path", [&](const std::string& range) { return get("/nosuch", range); }, false},
        {"tile", [&](const std::string& range) { return get("/tiles/3/2/1.png", range); }, true},
        {"package", [&](const std::string& range) { return get("/offline/320200.zip", range); },
         true},
        {"sign-in",
         [&](const std::string& range) {
             httplib::Headers headers;
             if (!range.empty()) headers.emplace("Range", range);
             return client().Post("/api/Engineer/Login", headers, login,
                                  "application/x-www-form-urlencoded");
         },
         false},
    };
    // What a ranged representation answers: its first two bytes, the whole as a part, the whole
    // as a 200, or nothing it has.
    enum Answer { FirstTwo, AllAsPart, Whole, Unsatisfiable };
    const std::pair<std::string, Answer> values[] = {
        {"Bytes=0-1", FirstTwo},
        {"BYTES=0-1", FirstTwo},
        {"bytes= 0-1", FirstTwo},
        {"bytes=0-1 ,2-3", Whole},
        {"bytes=0-9223372036854775808", AllAsPart},
        {"bytes=0-18446744073709551615", AllAsPart},
        {"bytes=-18446744073709551615", AllAsPart},
        {"bytes=9223372036854775808-", Unsatisfiable},
        {"bytes=18446744073709551616-", Whole},
    };
    for (const auto& endpoint : endpoints) {
        const auto whole = endpoint.fetch("");
        ASSERT_TRUE(whole) << endpoint.name;
        const std::string size = std::to_string(whole->body.size());
        for (const auto& [range, answer] : values) {
            SCOPED_TRACE(endpoint.name + ", " + range);
            const auto result = endpoint.fetch(range);
            ASSERT_TRUE(result);
            int status = whole->status;
            std::string contentRange;
            std::string body = whole->body;
            if (endpoint.ranged && answer == FirstTwo) {
                status = 206;
                contentRange = "bytes 0-1/" + size;
                body = whole->body.substr(0, 2);
            } else if (endpoint.ranged && answer == AllAsPart) {
                status = 206;
                contentRange = "bytes 0-" + std::to_string(whole->body.size() - 1) + "/" + size;
            } else if (endpoint.ranged && answer == Unsatisfiable) {
                status = 416;
                contentRange = "bytes */" + size;
            }
            EXPECT_EQ(result->status, status);
            EXPECT_EQ(result->get_header_value("Content-Range"), contentRange);
            // A sign-in answers a new token each time: its answer is compared by its code.
            if (endpoint.name == "sign-in") {
                EXPECT_EQ(parseJson(result)["code"], "1");
            } else if (status != 416) {
                EXPECT_TRUE(result->body == body) << result->body.size() << " bytes";
            }
        }
    }
}

// What the server hands the HTTP library is read by it as the server reads it: the same
// specs, each within the range of numbers it can hold.
TEST(RangeForLibraryTest, LibraryReadsEveryRangeTheServerKeeps) {
    struct Case {
        std::string value;
        std::optional<std::string> readable;
    };
    const Case cases[] = {
        {"bytes=0-1", "bytes=0-1"},
        {"Bytes=0-1", "bytes=0-1"},
        {"bytes= 0-1 ,\t2-3", "bytes=0-1,2-3"},
        {"bytes=007-", "bytes=7-"},
        {"bytes=-5", "bytes=-5"},
        {"bytes=0-18446744073709551615", "bytes=0-"},
        {"bytes=9223372036854775808-18446744073709551614",
         "bytes=9223372036854775807-9223372036854775807"},
        {"bytes=-9223372036854775808", "bytes=-9223372036854775807"},
        {"bytes=18446744073709551616-", std::nullopt},
        {"bytes=3-1", std::nullopt},
        {"bytes=0-1,,2-3", std::nullopt},
        {"bytes=-", std::nullopt},
        {"items=0-1", std::nullopt},
        {"bytes=+1-2", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto readable = rangeForLibrary(c.value);
        EXPECT_EQ(readable, c.readable) << c.value;
        if (!readable) continue;
        httplib::Ranges ranges;
        EXPECT_TRUE(httplib::detail::parse_range_header(*readable, ranges)) << *readable;
    }
}

}  // namespace
}  // namespace devserver::test
