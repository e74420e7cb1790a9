#include <gtest/gtest.h>
#include <httplib.h>

#include "DevServerFixture.h"
#include "Foundation/NSData.h"
#include "RawConnection.h"

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

}  // namespace
}  // namespace devserver::test
