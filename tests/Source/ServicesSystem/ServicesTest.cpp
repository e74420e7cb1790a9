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
    services->setApiKey("");
    EXPECT_EQ(services->apiKey(), "first-key");
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
        const auto record = [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(mutex_);
            seen_.push_back({req.method, req.path, req.body, req.get_header_value("User-Agent"),
                             req.get_header_value("logversion"), req.get_header_value("X-Extra")});
            res.set_content(req.method == "GET" ? "ok" : "posted", "text/plain");
        };
        http_.server().Get("/.*", record);
        http_.server().Post("/.*", record);
    }
    std::string url(const std::string& path) const { return http_.url(path); }
    // Every request seen, each of which must carry the kit's user agent and log version.
    std::vector<Seen> brandedRequests() {
        std::lock_guard lock(mutex_);
        for (const auto& seen : seen_) {
            EXPECT_EQ(seen.userAgent, kUserAgent);
            EXPECT_EQ(seen.logVersion, "2.0");
        }
        return seen_;
    }

  private:
    std::mutex mutex_;
    std::vector<Seen> seen_;
    testsupport::TestHTTPServer http_;  // last, so it stops before what its handlers use goes
};

std::string bodyText(const std::optional<std::vector<std::uint8_t>>& body) {
    return body ? std::string(body->begin(), body->end()) : "(none)";
}

TEST(UserAgent, SynchronousRequestsAreStampedAndFailuresComeBackAsErrors) {
    RecordingServer server;
    // An immutable request is replaced by a stamped GET and left as it was.
    const auto plain = NSURLRequest::requestWithURL(NSURL::URLWithString(server.url("/config")),
                                                    NSURLRequestReloadIgnoringLocalCacheData, 7);
    std::shared_ptr<NSHTTPURLResponse> response;
    NSErrorOpt error;
    EXPECT_EQ(bodyText(sendBrandedSynchronousRequest(plain, &response, &error)), "ok");
    ASSERT_TRUE(response);
    EXPECT_EQ(response->statusCode(), 200);
    EXPECT_FALSE(error);
    EXPECT_FALSE(plain->valueForHTTPHeaderField("User-Agent"));

    // A mutable one is stamped in place and keeps everything else.
    const auto request =
        NSMutableURLRequest::requestWithURL(NSURL::URLWithString(server.url("/ws/log/upload")));
    request->setHTTPMethod("POST");
    request->setHTTPBody(std::string_view("payload"));
    request->setValue(std::string("kept"), "X-Extra");
    request->setValue(std::string("someone else"), "User-Agent");
    EXPECT_EQ(bodyText(sendBrandedSynchronousRequest(request, nullptr, &error)), "posted");
    EXPECT_EQ(request->valueForHTTPHeaderField("User-Agent"), kUserAgent);
    EXPECT_EQ(request->valueForHTTPHeaderField("logversion"), "2.0");

    const auto seen = server.brandedRequests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].method + " " + seen[0].path, "GET /config");
    EXPECT_EQ(seen[1].method + " " + seen[1].body + " " + seen[1].extra, "POST payload kept");

    std::string deadUrl;
    {
        RecordingServer gone;
        deadUrl = gone.url("/gone");
    }
    EXPECT_FALSE(sendBrandedSynchronousRequest(
        NSURLRequest::requestWithURL(NSURL::URLWithString(deadUrl)), &response, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, NSURLErrorDomain);
    EXPECT_FALSE(sendBrandedSynchronousRequest(nullptr, nullptr, &error));
    EXPECT_FALSE(brandedConnectionWithRequest(nullptr, {}, true));
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
    NSRunLoop::currentRunLoop()->runUntilIdle();
    EXPECT_TRUE(server.brandedRequests().empty());

    connection->start();
    ASSERT_TRUE(testsupport::runUntil([&] { return delegate->finished || delegate->error; }));
    EXPECT_EQ(delegate->body, "ok");
    EXPECT_EQ(server.brandedRequests().size(), 1u);
}

}  // namespace
