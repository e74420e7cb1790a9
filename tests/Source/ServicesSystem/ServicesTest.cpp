#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "Deadline.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSURL.h"
#include "TestHTTPServer.h"
#include "VMMapServices.h"
#include "VMUserAgent.h"

namespace {

constexpr std::string_view kUserAgent = "VAVA_SDK_iOS_3DMap_3.1.0";

TEST(MapServices, EmptyKeysAreIgnored) {
    const auto services = VMMapServices::sharedServices();
    services->setApiKey("first-key");
    EXPECT_EQ(services->apiKey(), "first-key");
    services->setApiKey("");
    EXPECT_EQ(services->apiKey(), "first-key");
    services->setApiKey("second-key");
    services->setApiKey("second-key");
    EXPECT_EQ(services->apiKey(), "second-key");
}

// Download threads read the addresses while the main thread sets them: every read is one of the
// addresses set, whole.
TEST(MapServices, AddressesReadFromAnotherThreadWhileTheyAreSet) {
    const auto services = VMMapServices::sharedServices();
    const std::string previous = services->internalServerAddress();
    const std::string a = "http://127.0.0.1:1/" + std::string(200, 'a') + "/";
    const std::string b = "http://127.0.0.1:2/" + std::string(300, 'b') + "/";
    services->setInternalServerAddress(a);
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    int torn = 0;
    std::thread reader([&] {
        while (!done) {
            const std::string read = services->internalServerAddress();
            torn += read != a && read != b;
            ++reads;
        }
    });
    // Set while the reader runs, for as long as it takes it to read a thousand times.
    for (int i = 0; i < 2000 || reads < 1000; ++i)
        services->setInternalServerAddress(i % 2 ? a : b);
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    services->setInternalServerAddress(previous);
}

// A local server that records what each request carried.
class RecordingServer {
  public:
    struct Seen {
        std::string method, path, body, userAgent, logVersion, extra;
    };

    RecordingServer() {
        http_.server().Get("/.*", [this](const httplib::Request& req, httplib::Response& res) {
            record(req);
            res.set_content("ok", "text/plain");
        });
        http_.server().Post("/.*", [this](const httplib::Request& req, httplib::Response& res) {
            record(req);
            res.set_content("posted", "text/plain");
        });
    }
    std::string url(const std::string& path) const { return http_.url(path); }
    std::vector<Seen> seen() {
        std::lock_guard lock(mutex_);
        return seen_;
    }
    // The one request seen, which must carry the kit's user agent and log version.
    Seen onlyBrandedRequest() {
        const auto all = seen();
        EXPECT_EQ(all.size(), 1u);
        if (all.size() != 1) return {};
        EXPECT_EQ(all[0].userAgent, kUserAgent);
        EXPECT_EQ(all[0].logVersion, "2.0");
        return all[0];
    }

  private:
    void record(const httplib::Request& req) {
        std::lock_guard lock(mutex_);
        seen_.push_back({req.method, req.path, req.body, req.get_header_value("User-Agent"),
                         req.get_header_value("logversion"), req.get_header_value("X-Extra")});
    }

    std::mutex mutex_;
    std::vector<Seen> seen_;
    testsupport::TestHTTPServer http_;  // last, so it stops before what its handlers use goes
};

TEST(UserAgent, ImmutableRequestsAreReplacedByAStampedGet) {
    RecordingServer server;
    const auto request = NSURLRequest::requestWithURL(NSURL::URLWithString(server.url("/config")),
                                                      NSURLRequestReloadIgnoringLocalCacheData, 7);
    std::shared_ptr<NSHTTPURLResponse> response;
    NSErrorOpt error;
    const auto body = sendBrandedSynchronousRequest(request, &response, &error);
    ASSERT_TRUE(body) << (error ? error->localizedDescription : "");
    EXPECT_EQ(std::string(body->begin(), body->end()), "ok");
    ASSERT_TRUE(response);
    EXPECT_EQ(response->statusCode(), 200);
    EXPECT_FALSE(error);

    const auto seen = server.onlyBrandedRequest();
    EXPECT_EQ(seen.method, "GET");
    EXPECT_EQ(seen.path, "/config");
    // The caller's request is left as it was.
    EXPECT_FALSE(request->valueForHTTPHeaderField("User-Agent"));
}

TEST(UserAgent, MutableRequestsAreStampedInPlaceAndKeepEverything) {
    RecordingServer server;
    const auto request =
        NSMutableURLRequest::requestWithURL(NSURL::URLWithString(server.url("/ws/log/upload")));
    request->setHTTPMethod("POST");
    request->setHTTPBody(std::string_view("payload"));
    request->setValue(std::string("kept"), "X-Extra");
    request->setValue(std::string("someone else"), "User-Agent");

    NSErrorOpt error;
    const auto body = sendBrandedSynchronousRequest(request, nullptr, &error);
    ASSERT_TRUE(body);
    EXPECT_EQ(std::string(body->begin(), body->end()), "posted");
    EXPECT_EQ(request->valueForHTTPHeaderField("User-Agent"), kUserAgent);
    EXPECT_EQ(request->valueForHTTPHeaderField("logversion"), "2.0");

    const auto seen = server.onlyBrandedRequest();
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.body, "payload");
    EXPECT_EQ(seen.extra, "kept");
}

class CollectingDelegate : public NSURLConnectionDelegate {
  public:
    void connectionDidReceiveData(NSURLConnection&, std::span<const std::uint8_t> data) override {
        body.append(data.begin(), data.end());
    }
    void connectionDidFinishLoading(NSURLConnection&) override { finished = true; }
    void connectionDidFailWithError(NSURLConnection&, const NSError& e) override { error = e; }
    std::string body;
    bool finished = false;
    NSErrorOpt error;
};

TEST(UserAgent, BrandedConnectionsStartWhenAsked) {
    RecordingServer server;
    const auto delegate = std::make_shared<CollectingDelegate>();
    const auto request = NSURLRequest::requestWithURL(NSURL::URLWithString(server.url("/ws/mps")));
    const auto connection = brandedConnectionWithRequest(request, delegate, false);
    ASSERT_TRUE(connection);
    const auto runLoop = NSRunLoop::currentRunLoop();
    runLoop->runUntilIdle();
    EXPECT_TRUE(server.seen().empty());

    connection->start();
    ASSERT_TRUE(testsupport::runUntil([&] { return delegate->finished || delegate->error; }));
    EXPECT_EQ(delegate->body, "ok");
    server.onlyBrandedRequest();
}

TEST(UserAgent, FailuresComeBackAsErrors) {
    std::string deadUrl;
    {
        RecordingServer server;
        deadUrl = server.url("/gone");
    }
    std::shared_ptr<NSHTTPURLResponse> response;
    NSErrorOpt error;
    const auto body = sendBrandedSynchronousRequest(
        NSURLRequest::requestWithURL(NSURL::URLWithString(deadUrl)), &response, &error);
    EXPECT_FALSE(body);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, NSURLErrorDomain);
    EXPECT_FALSE(sendBrandedSynchronousRequest(nullptr, nullptr, &error));
    EXPECT_FALSE(brandedConnectionWithRequest(nullptr, {}, true));
}

}  // namespace
