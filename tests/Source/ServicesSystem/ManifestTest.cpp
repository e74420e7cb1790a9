#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Deadline.h"
#include "Foundation/NSURL.h"
#include "HostileReplies.h"
#include "TestHTTPServer.h"
#include "VMMapManifest.h"
#include "VMMapServices.h"

namespace {

using testsupport::runUntil;
using testsupport::waitUntil;

std::optional<nlohmann::json> resultOf(std::string_view body) {
    return VMMapManifest::resultWithResponseData(
        std::span(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()));
}

TEST(MapManifest, OnlyAStatusOfTheTextOneGivesTheResult) {
    EXPECT_EQ(resultOf(R"({"status":"1","result":{"common":{"upload":1}}})"),
              nlohmann::json::parse(R"({"common":{"upload":1}})"));
    EXPECT_EQ(resultOf(R"({"status":"1","result":"fragment"})"), nlohmann::json("fragment"));
    for (const char* body : {"", R"({"status":1,"result":{}})", R"({"status":"1"})",
                             R"({"status":"0","result":{}})", R"(["status","1"])", "not json"}) {
        EXPECT_FALSE(resultOf(body)) << body;
    }
}

TEST(MapManifest, TheURLNamesTheTypesPlatformVersionAndAnEscapedKey) {
    const auto services = VMMapServices::sharedServices();
    const std::string previousAddress = services->manifestServerAddress();
    services->setManifestServerAddress("http://127.0.0.1:9/v3/config/resource");
    services->setApiKey("k&ey=1");
    const auto url = VMMapManifest::manifestURLWithType(3);
    ASSERT_TRUE(url);
    EXPECT_EQ(url->absoluteString(),
              "http://127.0.0.1:9/v3/config/resource?opertype=exception;common&plattype=iOS"
              "&product=3dmap&version=3.1.0&key=k%26ey%3D1");
    services->setManifestServerAddress(previousAddress);
}

// A configuration server that answers the traffic settings it is given and counts requests.
class ConfigServer {
  public:
    explicit ConfigServer(std::string reply) : reply_(std::move(reply)) {
        http_.server().Get("/v3/config/resource",
                           [this](const httplib::Request& req, httplib::Response& res) {
                               {
                                   std::lock_guard lock(mutex_);
                                   opertypes_.push_back(req.get_param_value("opertype"));
                               }
                               res.set_content(reply_, "application/json");
                           });
        services_->setManifestServerAddress(http_.url("/v3/config/resource"));
    }
    ~ConfigServer() { services_->setManifestServerAddress(previousAddress_); }
    std::vector<std::string> opertypes() {
        std::lock_guard lock(mutex_);
        return opertypes_;
    }

  private:
    std::shared_ptr<VMMapServices> services_ = VMMapServices::sharedServices();
    std::string previousAddress_ = services_->manifestServerAddress();
    std::string reply_;
    std::mutex mutex_;
    std::vector<std::string> opertypes_;
    testsupport::TestHTTPServer http_;
};

TEST(MapManifest, RequestAnswersOnAGlobalQueueAndNothingIsSentWithoutABlock) {
    ConfigServer server(R"({"status":"1","result":{"exception":{"upload":"1"}}})");
    VMMapManifest::performManifestRequestWithType(1, nullptr);
    VMMapManifest::performManifestRequestWithType(0, [](auto) { FAIL() << "no type, no call"; });
    std::atomic<bool> answered = false;
    std::optional<nlohmann::json> answer;
    VMMapManifest::performManifestRequestWithType(1, [&](std::optional<nlohmann::json> result) {
        answer = std::move(result);
        answered = true;
    });
    ASSERT_TRUE(waitUntil([&] { return answered.load(); }));
    EXPECT_EQ(answer, nlohmann::json::parse(R"({"exception":{"upload":"1"}})"));
    EXPECT_EQ(server.opertypes(), std::vector<std::string>{"exception"});
}

// Whitespace may lead a JSON answer: one that never ends, or a small gzip body that inflates to
// megabytes of it, was read whole and its settings taken.
TEST(MapManifest, AnswersPastTheLongestAreNoAnswer) {
    const testsupport::HostileServer hostile(
        ' ', R"({"status":"1","result":{"common":{"upload":1}}})", "application/json");
    const auto services = VMMapServices::sharedServices();
    const std::string previousAddress = services->manifestServerAddress();
    for (const auto& url : {hostile.endlessURL(), hostile.bombURL()}) {
        services->setManifestServerAddress(url);
        std::atomic<bool> answered = false;
        std::optional<nlohmann::json> answer;
        VMMapManifest::performManifestRequestWithType(2, [&](std::optional<nlohmann::json> r) {
            answer = std::move(r);
            answered = true;
        });
        ASSERT_TRUE(waitUntil([&] { return answered.load(); })) << url;
        EXPECT_FALSE(answer) << url;
    }
    services->setManifestServerAddress(previousAddress);
    EXPECT_LT(hostile.endlessSent(), hostile.cap());
}

// A space every few seconds held the request for as long as the server liked, and the settings
// that came at the end were taken.
TEST(MapManifest, SlowAnswerIsNoAnswerOnceTheTimeOutHasPassed) {
    const testsupport::HostileServer drip(' ', "", "application/json");
    const auto services = VMMapServices::sharedServices();
    const std::string previousAddress = services->manifestServerAddress();
    services->setManifestServerAddress(drip.dripURL());
    struct Answer {
        std::atomic<bool> answered = false;
        std::optional<nlohmann::json> result;
    };
    const auto answer = std::make_shared<Answer>();  // a late answer outlives the test
    const double start = Clock::realNow();
    VMMapManifest::performManifestRequestWithType(
        2,
        [answer](std::optional<nlohmann::json> r) {
            answer->result = std::move(r);
            answer->answered = true;
        },
        0.6);
    // Never, had the trickle kept it going; well within this when a busy machine is late.
    const bool inTime = waitUntil([&] { return answer->answered.load(); }, 0.6 + 10);
    services->setManifestServerAddress(previousAddress);
    ASSERT_TRUE(inTime) << "still waiting after " << Clock::realNow() - start << " s";
    EXPECT_FALSE(answer->result);
}

TEST(MapServices, TrafficAddressIsResetThenTakenFromTheRealTimeSettings) {
    const auto services = VMMapServices::sharedServices();
    const std::string defaultAddress = services->trafficServerAddress();
    ConfigServer server(
        R"({"status":"1","result":{"realstatus":{"url":"http://127.0.0.1:9/traffic/"}}})");
    services->setTrafficServerAddress("http://127.0.0.1:9/stale/");
    services->initTrafficBaseAddress();
    EXPECT_EQ(services->trafficServerAddress(), defaultAddress);
    EXPECT_TRUE(runUntil(
        [&] { return services->trafficServerAddress() == "http://127.0.0.1:9/traffic/"; }));
    EXPECT_EQ(server.opertypes(), std::vector<std::string>{"realstatus"});
    services->setTrafficServerAddress(defaultAddress);
}

}  // namespace
