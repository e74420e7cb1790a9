#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "Deadline.h"
#include "DevServer.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSURLErrorDescription.h"
#include "HostileReplies.h"
#include "SearchEndpoints.h"
#include "TempDir.h"
#include "TestHTTPServer.h"
#include "VAvaSearchAPI.h"
#include "VAvaSearchServices.h"

namespace {

using testsupport::runUntil;

// Every answer as it arrived, and whether it arrived on the main thread.
class Recorder : public VAvaSearchDelegate {
  public:
    void onReGeocodeSearchDone(const std::shared_ptr<VAvaReGeocodeSearchRequest>& request,
                               const std::shared_ptr<VAvaReGeocodeSearchResponse>& r) override {
        onMain = onMain && NSThread::isMainThread();
        requests.push_back(request);
        responses.push_back(r);
    }
    void VAvaSearchRequestDidFailWithError(const std::shared_ptr<VAvaSearchRequest>& request,
                                           const NSError& error) override {
        onMain = onMain && NSThread::isMainThread();
        failed.push_back(request);
        errors.push_back(error);
    }
    size_t answers() const { return responses.size() + errors.size(); }

    bool onMain = true;
    std::vector<std::shared_ptr<VAvaSearchRequest>> requests;
    std::vector<std::shared_ptr<VAvaReGeocodeSearchResponse>> responses;
    std::vector<std::shared_ptr<VAvaSearchRequest>> failed;
    std::vector<NSError> errors;
};

std::shared_ptr<VAvaReGeocodeSearchRequest> lookup(double latitude, double longitude) {
    auto request = VAvaReGeocodeSearchRequest::create();
    request->setLocation(VAvaGeoPoint::locationWithLatitude(latitude, longitude));
    return request;
}

class VAvaSearchAPITest : public ::testing::Test {
  protected:
    void SetUp() override {
        services->setApiKey(std::string(devserver::kSearchApiKey));
        search->setDelegate(recorder);
    }
    void TearDown() override {
        services->setApiKey("");
        services->setSearchServer("");
    }
    void useServer(int port) {
        services->setSearchServer("http://127.0.0.1:" + std::to_string(port) + "/");
    }

    const std::shared_ptr<VAvaSearchServices> services = VAvaSearchServices::sharedServices();
    const std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    const std::shared_ptr<VAvaSearchAPI> search = VAvaSearchAPI::create();
};

TEST_F(VAvaSearchAPITest, MapsTheDevserversAnswerAndItsRefusal) {
    testsupport::TempDir dir;
    devserver::DevServer server(dir.path() / "devserver.sqlite");
    std::string error;
    ASSERT_TRUE(server.start(0, &error)) << error;
    useServer(server.port());

    // A city that is its own province answers no city; the client passes that on as it is. A
    // city of a province is read through the app's map position screen.
    search->VAvaReGoecodeSearch(lookup(39.9087, 116.3975));
    ASSERT_TRUE(runUntil([&] { return recorder->answers() == 1; }));
    ASSERT_EQ(recorder->responses.size(), 1u);
    const auto& geocode = recorder->responses[0]->regeocode();
    EXPECT_EQ(geocode->addressComponent()->province(), "北京市");
    EXPECT_EQ(geocode->addressComponent()->city(), "");
    EXPECT_EQ(geocode->formattedAddress(), "北京市东城区东长安街");

    services->setApiKey("someone-elses-key");
    const auto refused = lookup(23.1291, 113.2644);
    search->VAvaReGoecodeSearch(refused);
    ASSERT_TRUE(runUntil([&] { return recorder->errors.size() == 1; }));
    EXPECT_EQ(recorder->failed[0], refused);
    EXPECT_EQ(recorder->errors[0].domain, VAvaSearchErrorDomain);
    EXPECT_EQ(recorder->errors[0].code, VAvaSearchErrorRefused);
    EXPECT_EQ(recorder->errors[0].localizedDescription, "key无效");
    EXPECT_TRUE(recorder->onMain);
    server.stop();
}

TEST_F(VAvaSearchAPITest, SendsOneRequestPerLookupAndIgnoresOneInFlight) {
    testsupport::TestHTTPServer http;
    std::atomic<int> hits{0};
    std::string body;
    http.server().Post(
        "/api/Search/ReGeocode", [&](const httplib::Request& request, httplib::Response& response) {
            body = request.body;
            ++hits;
            http.waitAtGate();
            response.set_content(R"({"code":"1","regeocode":{"formattedAddress":"A",)"
                                 R"("addressComponent":{"province":"P"}}})",
                                 "application/json");
        });
    useServer(http.port());

    const auto request = lookup(30.5, 114.25);
    search->VAvaReGoecodeSearch(request);
    ASSERT_TRUE(runUntil([&] { return http.waitingAtGate() == 1; }));
    search->VAvaReGoecodeSearch(request);
    search->VAvaReGoecodeSearch(nullptr);
    search->VAvaReGoecodeSearch(VAvaReGeocodeSearchRequest::create());
    http.releaseGate();
    ASSERT_TRUE(runUntil([&] { return recorder->answers() == 1; }));
    EXPECT_EQ(hits.load(), 1);
    EXPECT_EQ(body, "key=" + std::string(devserver::kSearchApiKey) +
                        "&latitude=30.500000"
                        "&longitude=114.250000");
    EXPECT_EQ(recorder->requests.at(0), request);
    EXPECT_EQ(recorder->responses.at(0)->regeocode()->addressComponent()->city(), "");
    EXPECT_EQ(recorder->responses.at(0)->regeocode()->addressComponent()->province(), "P");

    // Answered, it is no longer in flight: the same request may look up again.
    search->VAvaReGoecodeSearch(request);
    ASSERT_TRUE(runUntil([&] { return recorder->answers() == 2; }));
    EXPECT_EQ(hits.load(), 2);
    EXPECT_TRUE(recorder->onMain);
}

TEST_F(VAvaSearchAPITest, FailuresReachTheDelegateWithTheSearchDomain) {
    testsupport::TestHTTPServer http;
    http.server().Post("/garbage/api/Search/ReGeocode",
                       [](const httplib::Request&, httplib::Response& response) {
                           response.set_content("<html>", "text/html");
                       });
    http.server().Post("/shapeless/api/Search/ReGeocode",
                       [](const httplib::Request&, httplib::Response& response) {
                           response.set_content(R"({"code":"1"})", "application/json");
                       });
    // Past the largest answer the client can use: the transfer fails, nothing is parsed.
    http.server().Post(
        "/huge/api/Search/ReGeocode", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(2 << 20, ' ') + "{}", "application/json");
        });
    int closedPort = 0;
    {
        testsupport::TestHTTPServer gone;
        closedPort = gone.port();
    }
    struct Case {
        std::string server;
        long code;
    };
    const Case cases[] = {
        {"http://127.0.0.1:" + std::to_string(closedPort) + "/", VAvaSearchErrorNetwork},
        {"", VAvaSearchErrorNetwork},
        {http.url("/garbage/"), VAvaSearchErrorBadResponse},
        {http.url("/shapeless/"), VAvaSearchErrorBadResponse},
        {http.url("/huge/"), VAvaSearchErrorNetwork},
    };
    for (const auto& c : cases) {
        services->setSearchServer(c.server);
        const size_t before = recorder->errors.size();
        search->VAvaReGoecodeSearch(lookup(1, 2));
        ASSERT_TRUE(runUntil([&] { return recorder->errors.size() == before + 1; })) << c.server;
        EXPECT_EQ(recorder->errors.back().domain, VAvaSearchErrorDomain);
        EXPECT_EQ(recorder->errors.back().code, c.code) << c.server;
    }
    EXPECT_TRUE(recorder->responses.empty());
    EXPECT_TRUE(recorder->onMain);
}

// A server that sends a byte now and then held a search as long as it kept sending.
TEST_F(VAvaSearchAPITest, SlowAnswerFailsWhenTheTimeOutHasPassed) {
    const testsupport::HostileServer drip(' ', "", "application/json");
    services->setSearchServer(drip.dripURL("/"));
    search->setTimeout(0.6);
    // A search the trickle kept going would never end; one that ends late on a busy machine ends
    // well within this.
    constexpr double kBound = 0.6 + 10;
    const double start = Clock::realNow();
    search->VAvaReGoecodeSearch(lookup(1, 2));
    ASSERT_TRUE(runUntil([&] { return recorder->answers() == 1; }, kBound));
    EXPECT_LT(Clock::realNow() - start, kBound);
    ASSERT_EQ(recorder->errors.size(), 1u);
    EXPECT_EQ(recorder->errors[0].code, VAvaSearchErrorNetwork);
    EXPECT_EQ(recorder->errors[0].localizedDescription, NSURLErrorDescription(NSURLErrorTimedOut));
}

}  // namespace
