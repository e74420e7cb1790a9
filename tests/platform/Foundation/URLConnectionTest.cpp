#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Deadline.h"
#include "Foundation/NSData.h"
#include "Foundation/NSOperationQueue.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSURLConnection.h"
#include "Foundation/NSURLErrorDescription.h"
#include "Foundation/NSURLLoader.h"
#include "HostileReplies.h"
#include "LoopbackListener.h"
#include "TestHTTPServer.h"

namespace {

using testsupport::kPatience;
using testsupport::TestHTTPServer;

std::string text(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string pattern(size_t size) {
    std::string out(size, '\0');
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return out;
}

std::string gzipped(const std::string& plain) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, plain.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    z.avail_in = static_cast<uInt>(plain.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

size_t threadCount() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                             std::filesystem::directory_iterator()));
}

// A TCP peer on 127.0.0.1 that reads each request head and then answers as told, HTTP or not.
class RawServer {
  public:
    explicit RawServer(std::function<void(int fd)> answer) {
        listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(listenFd_, 16);
        socklen_t len = sizeof addr;
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this, answer = std::move(answer)] {
            for (;;) {
                const int fd = accept(listenFd_, nullptr, nullptr);
                if (fd < 0) return;  // shut down
                std::string head;
                char buffer[1024];
                while (head.find("\r\n\r\n") == std::string::npos) {
                    const auto n = read(fd, buffer, sizeof buffer);
                    if (n <= 0) break;
                    head.append(buffer, static_cast<size_t>(n));
                }
                answer(fd);
                close(fd);
            }
        });
    }
    ~RawServer() {
        shutdown(listenFd_, SHUT_RDWR);
        thread_.join();
        close(listenFd_);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

    static void send(int fd, std::string_view bytes) {
        [[maybe_unused]] const auto n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

  private:
    int listenFd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

struct Recorder : NSURLConnectionDelegate {
    std::vector<std::string> events;
    std::shared_ptr<NSHTTPURLResponse> response;
    std::vector<std::string> chunks;
    NSErrorOpt error;
    std::set<std::thread::id> threads;
    std::function<void(NSURLConnection&)> afterData;

    bool ended() const {
        return !events.empty() && (events.back() == "finish" || events.back() == "fail");
    }
    std::string body() const {
        std::string all;
        for (const auto& c : chunks) all += c;
        return all;
    }
    void connectionDidReceiveResponse(NSURLConnection&,
                                      const std::shared_ptr<NSHTTPURLResponse>& r) override {
        note("response");
        response = r;
    }
    void connectionDidReceiveData(NSURLConnection& c, std::span<const std::uint8_t> data) override {
        if (events.empty() || events.back() != "data") note("data");
        chunks.emplace_back(data.begin(), data.end());
        if (afterData) afterData(c);
    }
    void connectionDidFinishLoading(NSURLConnection&) override { note("finish"); }
    void connectionDidFailWithError(NSURLConnection&, const NSError& e) override {
        note("fail");
        error = e;
    }
    void note(const char* event) {
        events.emplace_back(event);
        threads.insert(std::this_thread::get_id());
    }
};

class URLConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto& s = http.server();
        s.Get("/hello", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("hello world", "application/octet-stream");
        });
        s.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("no such thing", "application/octet-stream");
        });
        s.Get("/redirect",
              [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/hello"); });
        s.Get("/pulse", [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider(
                "application/octet-stream", [this](size_t, httplib::DataSink& sink) {
                    // Paced by the client: each tick waits until the one before it arrived, so
                    // no wait is long however long the whole transfer lasts.
                    for (int sent = 1; !pulseEnough; ++sent) {
                        sink.write("tick", 4);
                        testsupport::waitUntil([&] { return ticksSeen >= sent || pulseEnough; });
                    }
                    sink.done();
                    return true;
                });
        });
        s.Get("/to-ftp", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("ftp://127.0.0.1/x");
        });
        s.Post("/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(
                req.method + "|" + req.body + "|" + req.get_header_value("Cache-Control") + "|" +
                    req.get_header_value("X-Test") + "|" + req.get_header_value("Content-Type"),
                "application/octet-stream");
        });
        s.Get("/gzip", [this](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard lock(seenMutex);
                acceptEncoding = req.get_header_value("Accept-Encoding");
            }
            res.set_header("Content-Encoding", "gzip");
            res.set_content(gzipped(pattern(200000)), "application/octet-stream");
        });
        s.Get("/bomb", [](const httplib::Request&, httplib::Response& res) {
            static const std::string bomb = testsupport::gzipBomb(size_t{1} << 26);
            res.set_header("Content-Encoding", "gzip");
            res.set_content(bomb, "application/octet-stream");
        });
        s.Get("/stream", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream",
                                             [](size_t, httplib::DataSink& sink) {
                                                 const auto body = pattern(512 * 1024);
                                                 for (size_t at = 0; at < body.size(); at += 65536)
                                                     sink.write(body.data() + at, 65536);
                                                 sink.done();
                                                 return true;
                                             });
        });
        s.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
            http.waitAtGate();
            res.set_content_provider(4, "application/octet-stream",
                                     [this](size_t, size_t, httplib::DataSink& sink) {
                                         sink.write("late", 4);
                                         stallAnswered = true;
                                         return true;
                                     });
        });
        s.Get("/gated-stream", [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream",
                                             [this](size_t, httplib::DataSink& sink) {
                                                 sink.write("first", 5);
                                                 http.waitAtGate();
                                                 sink.write("second", 6);
                                                 sink.done();
                                                 streamEnded = true;
                                                 return true;
                                             });
        });
    }

    std::shared_ptr<NSURLRequest> request(const std::string& path, NSTimeInterval timeout = 10) {
        return NSURLRequest::requestWithURL(NSURL::URLWithString(http.url(path)),
                                            NSURLRequestUseProtocolCachePolicy, timeout);
    }
    bool runUntil(const std::function<bool()>& predicate) {
        return loop->runUntil(predicate, kPatience);
    }
    // Deliveries reach the run loop in the order the network thread makes them: once a request
    // sent now is answered, whatever an earlier connection could still deliver has come.
    void drainDeliveries() {
        auto sentinel = std::make_shared<Recorder>();
        NSURLConnection::connectionWithRequest(request("/hello"), sentinel);
        ASSERT_TRUE(runUntil([&] { return sentinel->ended(); }));
    }

    std::mutex seenMutex;
    std::string acceptEncoding;  // as the gzip handler saw it
    TestHTTPServer http;
    std::shared_ptr<NSRunLoop> loop = NSRunLoop::mainRunLoop();
    std::atomic<bool> streamEnded{false};
    std::atomic<bool> stallAnswered{false};
    std::atomic<int> ticksSeen{0};
    std::atomic<bool> pulseEnough{false};
};

// A 404 is a response like any other, and redirects are followed.
TEST_F(URLConnectionTest, DelegateHearsResponseBodyAndFinishOnTheStartingThread) {
    auto recorder = std::make_shared<Recorder>();
    auto connection = NSURLConnection::connectionWithRequest(request("/hello"), recorder);
    ASSERT_NE(connection, nullptr);
    EXPECT_TRUE(recorder->events.empty());  // nothing is delivered during the call itself
    auto head = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(http.url("/hello")));
    head->setHTTPMethod("HEAD");
    auto headRecorder = std::make_shared<Recorder>();
    NSURLConnection::connectionWithRequest(head, headRecorder);
    auto missing = std::make_shared<Recorder>();
    auto redirected = std::make_shared<Recorder>();
    NSURLConnection::connectionWithRequest(request("/missing"), missing);
    NSURLConnection::connectionWithRequest(request("/redirect"), redirected);
    ASSERT_TRUE(runUntil([&] {
        return recorder->ended() && headRecorder->ended() && missing->ended() &&
               redirected->ended();
    }));

    EXPECT_EQ(recorder->events, (std::vector<std::string>{"response", "data", "finish"}));
    EXPECT_EQ(recorder->response->statusCode(), 200);
    EXPECT_EQ(recorder->response->expectedContentLength(), 11);
    EXPECT_EQ(recorder->response->valueForHTTPHeaderField("content-length"), "11");
    EXPECT_EQ(recorder->body(), "hello world");
    EXPECT_EQ(recorder->threads, std::set{std::this_thread::get_id()});
    EXPECT_EQ(headRecorder->events, (std::vector<std::string>{"response", "finish"}));
    EXPECT_EQ(headRecorder->response->expectedContentLength(), 11);
    EXPECT_EQ(missing->events, (std::vector<std::string>{"response", "data", "finish"}));
    EXPECT_EQ(missing->response->statusCode(), 404);
    EXPECT_EQ(missing->body(), "no such thing");
    EXPECT_EQ(redirected->events.back(), "finish");
    EXPECT_EQ(redirected->response->statusCode(), 200);
    EXPECT_EQ(redirected->response->URL()->path(), "/hello");
    EXPECT_EQ(redirected->body(), "hello world");
}

// A transfer whose time-out is an idle limit outlives it while it keeps moving; one too long for
// the clock is no deadline already past, whichever kind it is.
TEST_F(URLConnectionTest, IdleLimitBoundsEachWaitNotTheWholeTransfer) {
    // Each tick waits for the one before it to arrive: a busy machine stretches the transfer, so
    // it goes on until it has brought these many as well as lasted its time.
    constexpr int kTicks = 3;
    const struct {
        double timeout;
        bool idleLimit;
        double outlast;  // how long the transfer keeps going at least
    } cases[] = {{2, true, 3},
                 {1e10, true, 0.3},
                 {std::numeric_limits<double>::infinity(), true, 0.3},
                 {1e10, false, 0.3},
                 {std::numeric_limits<double>::infinity(), false, 0.3}};
    for (const auto& c : cases) {
        ticksSeen = 0;
        pulseEnough = false;
        auto recorder = std::make_shared<Recorder>();
        recorder->afterData = [&](NSURLConnection&) {
            ticksSeen = static_cast<int>(recorder->body().size() / 4);
        };
        auto pulse = request("/pulse", c.timeout)->mutableCopy();
        pulse->setTimeoutIsIdleLimit(c.idleLimit);
        NSURLConnection::connectionWithRequest(pulse, recorder);
        const double end = Clock::realNow() + c.outlast;
        runUntil(
            [&] { return recorder->ended() || (Clock::realNow() > end && ticksSeen >= kTicks); });
        pulseEnough = true;
        ASSERT_TRUE(runUntil([&] { return recorder->ended(); }));
        EXPECT_EQ(recorder->events.back(), "finish") << c.timeout;
        EXPECT_GE(ticksSeen.load(), kTicks) << c.timeout;
    }
}

// Any other request ends when its time-out has passed since it started, however steadily a
// server trickles bytes into it: delegate style, completion style and the blocking call alike.
TEST_F(URLConnectionTest, TimeOutEndsARequestThatKeepsTrickling) {
    constexpr double kTimeout = 0.6;
    // A request the trickle kept going would never end; one that ends late on a busy machine ends
    // well within this.
    constexpr double kBound = kTimeout + 10.0;
    std::future<NSErrorOpt> blocking;  // outlives the server: a call still under way ends with it
    const testsupport::HostileServer drip(' ', "", "application/json");
    const auto dripping = NSURLRequest::requestWithURL(
        NSURL::URLWithString(drip.dripURL()), NSURLRequestUseProtocolCachePolicy, kTimeout);
    const struct {
        const char* name;
        std::function<NSErrorOpt()> send;
    } cases[] = {
        {"delegate",
         [&] {
             auto recorder = std::make_shared<Recorder>();
             const auto connection = NSURLConnection::connectionWithRequest(dripping, recorder);
             loop->runUntil([&] { return recorder->ended(); }, kBound);
             connection->cancel();
             return recorder->error;
         }},
        {"completion",
         [&] {
             auto answer = std::make_shared<std::optional<NSErrorOpt>>();
             NSURLConnection::sendAsynchronousRequest(
                 dripping, [answer](const auto&, const NSData&, const NSErrorOpt& error) {
                     *answer = error;
                 });
             loop->runUntil([&] { return answer->has_value(); }, kBound);
             return answer->value_or(std::nullopt);
         }},
        {"blocking",
         [&] {
             blocking = std::async(std::launch::async, [dripping] {
                 return NSURLConnection::sendSynchronousRequest(dripping).error;
             });
             const auto waited = std::chrono::duration<double>(kBound);
             return blocking.wait_for(waited) == std::future_status::ready ? blocking.get()
                                                                           : std::nullopt;
         }},
    };
    for (const auto& c : cases) {
        const double start = Clock::realNow();
        const NSErrorOpt error = c.send();
        const double took = Clock::realNow() - start;
        EXPECT_TRUE(error) << c.name << " still running after " << took << " s";
        if (!error) continue;
        EXPECT_EQ(error->code, NSURLErrorTimedOut) << c.name;
        EXPECT_EQ(error->localizedDescription, NSURLErrorDescription(NSURLErrorTimedOut)) << c.name;
        EXPECT_GE(took, kTimeout - 0.05) << c.name;
        EXPECT_LT(took, kBound) << c.name;
    }
}

// A reply longer than its caller can use fails with an error instead of filling memory: the
// 64 KiB gzip bomb here inflates to 64 MiB.
TEST_F(URLConnectionTest, RepliesPastTheirStatedMaximumFail) {
    const struct {
        const char* path;
        std::uint64_t maximum;
        bool fits;
    } cases[] = {
        {"/bomb", 1 << 20, false},
        {"/gzip", 200000, true},
        {"/gzip", 199999, false},
        {"/hello", 0, true},
    };
    for (const auto& c : cases) {
        auto limited = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(http.url(c.path)));
        limited->setMaximumResponseLength(c.maximum);
        const auto result = NSURLConnection::sendSynchronousRequest(limited);
        if (c.fits) {
            EXPECT_FALSE(result.error) << c.path << " " << c.maximum;
            continue;
        }
        ASSERT_TRUE(result.error) << c.path << " " << c.maximum;
        EXPECT_EQ(result.error->code, NSURLErrorDataLengthExceedsMaximum) << c.path;
        EXPECT_LE(result.data.size(), c.maximum) << c.path;
    }
}

// A reader that falls behind pauses the transfer; the bytes curl held back arrive as it resumes
// and may be the ones that cross the maximum. That is still a reply too long, not an unknown
// failure. The loader pauses at a backlog of 8 MiB, on a chunk boundary within the 16 KiB past
// it; one of these maximums falls inside the chunk held back, wherever the boundary lies.
TEST_F(URLConnectionTest, AReplyThatCrossesItsMaximumAsItResumesIsStillTooLong) {
    constexpr std::uint64_t kPauseAt = std::uint64_t{8} << 20;
    for (const std::uint64_t maximum : {kPauseAt + 1, kPauseAt + 8192, kPauseAt + 16384}) {
        auto limited = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(http.url("/bomb")));
        limited->setMaximumResponseLength(maximum);
        auto recorder = std::make_shared<Recorder>();
        // The first chunk keeps the reader busy while the backlog fills.
        bool slept = false;
        recorder->afterData = [&](NSURLConnection&) {
            if (!std::exchange(slept, true))
                std::this_thread::sleep_for(std::chrono::milliseconds(400));
        };
        NSURLConnection::connectionWithRequest(limited, recorder);
        ASSERT_TRUE(runUntil([&] { return recorder->ended(); })) << maximum;
        ASSERT_TRUE(recorder->error) << maximum;
        EXPECT_EQ(recorder->error->code, NSURLErrorDataLengthExceedsMaximum)
            << maximum << ": " << recorder->error->localizedDescription;
    }
}

// Other request headers, such as a range, are checked by the downloaders that send them.
TEST_F(URLConnectionTest, GzipBodyIsAskedForAndDecoded) {
    auto gzip = std::make_shared<Recorder>();
    NSURLConnection::connectionWithRequest(request("/gzip"), gzip);
    ASSERT_TRUE(runUntil([&] { return gzip->ended(); }));
    {
        std::lock_guard lock(seenMutex);
        EXPECT_NE(acceptEncoding.find("gzip"), std::string::npos);
    }
    EXPECT_EQ(gzip->events.back(), "finish");
    EXPECT_EQ(gzip->response->valueForHTTPHeaderField("Content-Encoding"), "gzip");
    EXPECT_EQ(gzip->response->expectedContentLength(), NSURLResponse::kUnknownLength);
    EXPECT_EQ(gzip->body(), pattern(200000));
}

TEST_F(URLConnectionTest, PostSendsMethodBodyHeadersAndNoCacheForReloadPolicy) {
    auto post = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(http.url("/echo")),
                                                    NSURLRequestReloadIgnoringLocalCacheData, 10);
    post->setHTTPMethod("POST");
    post->setHTTPBody("a=1&b=工");
    post->setValue("测试", "x-test");
    post->setValue("application/gzip", "Content-Type");
    post->setValue("999", "content-length");  // wrong: the body's own length is sent instead
    std::optional<std::string> answer;
    NSURLConnection::sendAsynchronousRequest(
        post, [&](const auto& response, const auto& data, const NSErrorOpt& error) {
            EXPECT_FALSE(error);
            EXPECT_EQ(response->statusCode(), 200);
            answer = text(data);
        });
    ASSERT_TRUE(runUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(*answer, "POST|a=1&b=工|no-cache|测试|application/gzip");
}

// Cancelled on its own thread from inside a delivery, or from another thread while the server
// still holds the reply: nothing more is delivered either way.
TEST_F(URLConnectionTest, CancelStopsEveryLaterCallbackFromAnyThread) {
    auto recorder = std::make_shared<Recorder>();
    recorder->afterData = [](NSURLConnection& c) { c.cancel(); };
    NSURLConnection::connectionWithRequest(request("/gated-stream"), recorder);
    auto silenced = std::make_shared<Recorder>();
    auto connection = NSURLConnection::connectionWithRequest(request("/stall"), silenced);
    ASSERT_TRUE(runUntil([&] { return !recorder->chunks.empty() && http.waitingAtGate() == 2; }));
    std::thread([&] { connection->cancel(); }).join();
    http.releaseGate();
    ASSERT_TRUE(runUntil([&] { return streamEnded && stallAnswered; }));
    drainDeliveries();
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"response", "data"}));
    EXPECT_EQ(recorder->body(), "first");
    EXPECT_TRUE(silenced->events.empty());
}

TEST_F(URLConnectionTest, StartedConnectionKeepsItselfAliveAndStartsOnlyOnce) {
    auto recorder = std::make_shared<Recorder>();
    std::weak_ptr<NSURLConnection> weak;
    {
        auto connection = NSURLConnection::create(request("/hello"), recorder, false);
        weak = connection;
        loop->runUntilIdle();
        EXPECT_TRUE(recorder->events.empty());  // not started yet
        connection->start();
        connection->start();
    }
    ASSERT_TRUE(runUntil([&] { return recorder->ended(); }));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"response", "data", "finish"}));
    loop->runUntilIdle();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(NSURLConnection::create(nullptr, recorder), nullptr);
}

TEST_F(URLConnectionTest, ConnectionStartedOnAWorkerThreadDeliversOnThatThreadsRunLoop) {
    auto recorder = std::make_shared<Recorder>();
    std::thread::id workerId;
    bool finished = false;
    std::thread worker([&] {
        workerId = std::this_thread::get_id();
        NSURLConnection::connectionWithRequest(request("/stream"), recorder);
        finished =
            NSRunLoop::currentRunLoop()->runUntil([&] { return recorder->ended(); }, kPatience);
    });
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"response", "data", "finish"}));
    // A large chunked body arrives in ordered pieces that sum to it.
    EXPECT_GT(recorder->chunks.size(), 1u);
    EXPECT_EQ(recorder->body(), pattern(512 * 1024));
    EXPECT_EQ(recorder->response->expectedContentLength(), NSURLResponse::kUnknownLength);
    EXPECT_EQ(recorder->threads, std::set{workerId});
}

TEST_F(URLConnectionTest, ConnectionOfAnEndedThreadLetsGoOfItselfWhenAnswered) {
    std::mutex mutex;
    NSURLLoader::TestReply reply;
    const auto loader = std::make_shared<NSURLLoader>([&](const auto&, auto r) {
        std::lock_guard lock(mutex);
        reply = std::move(r);
    });

    auto recorder = std::make_shared<Recorder>();
    std::weak_ptr<NSURLConnection> connection;
    std::weak_ptr<NSRunLoop> threadLoop;
    // Held past its end, as owners of finished threads often do.
    auto thread = NSThread::create([&] {
        connection = NSURLConnection::create(request("/hello"), recorder, true, loader);
        threadLoop = NSRunLoop::currentRunLoop();
    });
    thread->start();
    ASSERT_TRUE(runUntil([&] { return thread->isFinished(); }));
    ASSERT_TRUE(runUntil([&] { return threadLoop.expired(); }));

    std::lock_guard lock(mutex);
    ASSERT_TRUE(reply);
    reply(NSHTTPURLResponse::create(NSURL::URLWithString(http.url("/hello")), 200, "HTTP/1.1", {}),
          {'o', 'k'}, std::nullopt);
    EXPECT_TRUE(connection.expired());
    EXPECT_TRUE(recorder->events.empty());
}

TEST_F(URLConnectionTest, SynchronousRequestBlocksAWorkerAndQueuedCompletionRunsOnTheQueue) {
    NSURLConnectionResult ok;
    NSURLConnectionResult refused;
    testsupport::LoopbackListener closed;
    closed.close();
    const auto refusedURL = "http://" + closed.hostName() + "/";
    std::thread worker([&] {
        ok = NSURLConnection::sendSynchronousRequest(request("/missing"));
        refused = NSURLConnection::sendSynchronousRequest(
            NSURLRequest::requestWithURL(NSURL::URLWithString(refusedURL)));
    });
    worker.join();
    ASSERT_FALSE(ok.error);
    EXPECT_EQ(ok.response->statusCode(), 404);
    EXPECT_EQ(text(ok.data), "no such thing");
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->code, NSURLErrorCannotConnectToHost);
    EXPECT_EQ(refused.response, nullptr);
    EXPECT_TRUE(refused.data.empty());

    // Given an operation queue, the completion runs as one of its operations.
    const auto queue = NSOperationQueue::create();
    std::mutex mutex;
    std::optional<std::string> answer;
    std::thread::id ranOn;
    NSURLConnection::sendAsynchronousRequest(
        request("/missing"), queue,
        [&](const auto& response, const auto& data, const NSErrorOpt& error) {
            std::lock_guard lock(mutex);
            ranOn = std::this_thread::get_id();
            answer = error ? "error" : std::to_string(response->statusCode()) + ":" + text(data);
        });
    ASSERT_TRUE(runUntil([&] {
        std::lock_guard lock(mutex);
        return answer.has_value();
    }));
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(*answer, "404:no such thing");
    EXPECT_NE(ranOn, std::this_thread::get_id());
}

// Checks a body made of one block repeated, as it arrives, without keeping it.
struct RepeatedBlockChecker : NSURLConnectionDelegate {
    explicit RepeatedBlockChecker(std::string b) : block(std::move(b)) {}
    void connectionDidReceiveData(NSURLConnection&, std::span<const std::uint8_t> data) override {
        while (!data.empty()) {
            const size_t at = received % block.size();
            const size_t n = std::min(data.size(), block.size() - at);
            intact = intact && std::memcmp(data.data(), block.data() + at, n) == 0;
            received += n;
            data = data.subspan(n);
        }
    }
    void connectionDidFinishLoading(NSURLConnection&) override { finished = true; }
    void connectionDidFailWithError(NSURLConnection&, const NSError&) override { failed = true; }

    std::string block;
    size_t received = 0;
    bool intact = true;
    bool finished = false;
    bool failed = false;
};

TEST_F(URLConnectionTest, ReadingPausesWhileTheStartingThreadFallsBehindAndLosesNothing) {
    constexpr size_t kBody = 48u << 20;
    const std::string block = pattern(1u << 20);
    std::atomic<size_t> stuckAt{0};
    RawServer bulk([&](int fd) {
        RawServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kBody) +
                                "\r\nConnection: close\r\n\r\n");
        size_t sent = 0;
        while (sent < kBody) {
            const size_t at = sent % block.size();
            const auto n = ::send(fd, block.data() + at, std::min(block.size() - at, kBody - sent),
                                  MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) return;
            // A reader that keeps reading frees room at once; one that stopped does not.
            pollfd writable{fd, POLLOUT, 0};
            if (poll(&writable, 1, 1000) == 0 && stuckAt == 0) stuckAt = sent;
        }
    });

    std::mutex mutex;
    std::condition_variable resume;
    bool resumed = false;
    auto checker = std::make_shared<RepeatedBlockChecker>(block);
    bool ended = false;
    std::thread reader([&] {
        NSURLConnection::connectionWithRequest(
            [&] {
                auto bulkRequest = NSMutableURLRequest::requestWithURL(
                    NSURL::URLWithString(bulk.url()), NSURLRequestUseProtocolCachePolicy, 5.0);
                bulkRequest->setTimeoutIsIdleLimit(true);
                return bulkRequest;
            }(),
            checker);
        {
            // The run loop does not turn: deliveries wait.
            std::unique_lock lock(mutex);
            resume.wait(lock, [&] { return resumed; });
        }
        ended = NSRunLoop::currentRunLoop()->runUntil(
            [&] { return checker->finished || checker->failed; }, kPatience);
    });
    const bool stuck = runUntil([&] { return stuckAt != 0; });
    {
        std::lock_guard lock(mutex);
        resumed = true;
    }
    resume.notify_all();
    reader.join();
    EXPECT_TRUE(stuck);
    EXPECT_LT(stuckAt.load(), kBody * 3 / 4);
    ASSERT_TRUE(ended);
    EXPECT_TRUE(checker->finished);
    EXPECT_EQ(checker->received, kBody);
    EXPECT_TRUE(checker->intact);
}

TEST_F(URLConnectionTest, FiftyConcurrentRequestsShareOneNetworkThreadAndAllComplete) {
    bool warm = false;
    NSURLConnection::sendAsynchronousRequest(
        request("/hello"), [&](const auto&, const auto&, const auto&) { warm = true; });
    ASSERT_TRUE(runUntil([&] { return warm; }));
    const size_t threadsBefore = threadCount();

    TestHTTPServer gated;
    gated.server().Get("/n", [&](const httplib::Request& req, httplib::Response& res) {
        if (req.get_param_value("i") != "warm") gated.waitAtGate();
        res.set_content(req.get_param_value("i"), "application/octet-stream");
    });
    // Once it answers, the server's workers all exist.
    warm = false;
    NSURLConnection::sendAsynchronousRequest(
        NSURLRequest::requestWithURL(NSURL::URLWithString(gated.url("/n?i=warm"))),
        [&](const auto&, const auto&, const auto&) { warm = true; });
    ASSERT_TRUE(runUntil([&] { return warm; }));
    const size_t threadsWithServer = threadCount();
    std::map<int, std::string> answers;
    std::set<std::thread::id> threads;
    for (int i = 0; i < 50; ++i) {
        NSURLConnection::sendAsynchronousRequest(
            NSURLRequest::requestWithURL(
                NSURL::URLWithString(gated.url("/n?i=" + std::to_string(i)))),
            [&, i](const auto& response, const auto& data, const NSErrorOpt& error) {
                threads.insert(std::this_thread::get_id());
                answers[i] = error ? error->localizedDescription
                                   : std::to_string(response->statusCode()) + ":" + text(data);
            });
    }
    ASSERT_TRUE(runUntil([&] { return gated.waitingAtGate() == 50; }));
    EXPECT_EQ(threadCount(), threadsWithServer);
    EXPECT_GT(threadsWithServer, threadsBefore);  // the count does see new threads
    gated.releaseGate();
    ASSERT_TRUE(runUntil([&] { return answers.size() == 50; }));
    for (int i = 0; i < 50; ++i) EXPECT_EQ(answers[i], "200:" + std::to_string(i));
    EXPECT_EQ(threads, std::set{std::this_thread::get_id()});
}

TEST_F(URLConnectionTest, TestTransportOfALoaderSeesRequestsAndAnswersWhenTold) {
    std::mutex mutex;
    std::vector<std::pair<std::shared_ptr<const NSURLRequest>, NSURLLoader::TestReply>> seen;
    const auto loader = std::make_shared<NSURLLoader>([&](const auto& request, auto reply) {
        std::lock_guard lock(mutex);
        seen.emplace_back(request, std::move(reply));
    });
    const auto byPath = [&](const std::string& path) -> auto& {
        std::lock_guard lock(mutex);
        return *std::find_if(seen.begin(), seen.end(),
                             [&](const auto& s) { return s.first->URL()->path() == path; });
    };

    auto post = NSMutableURLRequest::requestWithURL(NSURL::URLWithString("http://api.test/Order/"));
    post->setHTTPMethod("POST");
    post->setHTTPBody("id=7");
    auto recorder = std::make_shared<Recorder>();
    NSURLConnection::create(post, recorder, true, loader);
    post->setHTTPBody("changed later");
    auto cancelledRecorder = std::make_shared<Recorder>();
    auto cancelled = NSURLConnection::create(
        NSURLRequest::requestWithURL(NSURL::URLWithString("http://api.test/cancelled")),
        cancelledRecorder, true, loader);
    cancelled->cancel();
    ASSERT_EQ(seen.size(), 2u);  // the transport is called on the starting thread

    auto& order = byPath("/Order");
    EXPECT_EQ(order.first->HTTPMethod(), "POST");
    EXPECT_EQ(text(order.first->HTTPBody()), "id=7");
    loop->runUntilIdle();
    EXPECT_TRUE(recorder->events.empty());

    const auto url = NSURL::URLWithString("http://api.test/Order/");
    std::thread replier([reply = order.second, cancelledReply = byPath("/cancelled").second, url] {
        reply(NSHTTPURLResponse::create(url, 200, "HTTP/1.1", {}), {'o', 'k'}, std::nullopt);
        reply(nullptr, {}, NSError::make(NSURLErrorDomain, NSURLErrorTimedOut));
        cancelledReply(NSHTTPURLResponse::create(url, 200, "HTTP/1.1", {}), {}, std::nullopt);
    });
    replier.join();
    ASSERT_TRUE(runUntil([&] { return recorder->ended(); }));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"response", "data", "finish"}));
    EXPECT_EQ(recorder->body(), "ok");
    EXPECT_EQ(recorder->threads, std::set{std::this_thread::get_id()});
    loop->runUntilIdle();
    EXPECT_TRUE(cancelledRecorder->events.empty());
}

// Records what a loader tells it, from whichever thread.
struct LoaderEvents : NSURLLoaderClient {
    void loaderDidReceiveResponse(std::shared_ptr<NSHTTPURLResponse>) override { note("response"); }
    void loaderDidReceiveData(std::shared_ptr<const NSData>) override { note("data"); }
    void loaderDidFinish() override { note("finish"); }
    void loaderDidFail(NSError e) override {
        std::lock_guard lock(mutex);
        events.emplace_back("fail");
        error = std::move(e);
    }
    void note(const char* event) {
        std::lock_guard lock(mutex);
        events.emplace_back(event);
    }
    std::vector<std::string> seen() {
        std::lock_guard lock(mutex);
        return events;
    }

    std::mutex mutex;
    std::vector<std::string> events;
    NSErrorOpt error;
};

TEST_F(URLConnectionTest, DroppingATransferCancelsItAndHoldingOneKeepsItRunning) {
    auto held = std::make_shared<LoaderEvents>();
    auto dropped = std::make_shared<LoaderEvents>();
    auto loader = std::make_unique<NSURLLoader>();
    const auto stall = NSURLRequest::requestWithURL(NSURL::URLWithString(http.url("/stall")));
    auto transfer = loader->load(*stall, held);
    auto droppedTransfer = loader->load(*stall, dropped);
    ASSERT_TRUE(runUntil([&] { return http.waitingAtGate() == 2; }));
    droppedTransfer = {};
    // A loader that goes tells the transfers it still runs that they will not complete; the
    // dropped one is not among them.
    loader.reset();
    EXPECT_EQ(held->seen(), std::vector<std::string>{"fail"});
    EXPECT_EQ(held->error->code, NSURLErrorCancelled);
    EXPECT_TRUE(dropped->seen().empty());
    transfer.cancel();  // after the loader has gone: nothing to do, and nothing breaks
}

TEST_F(URLConnectionTest, FailuresCarryTheirURLErrorCodes) {
    RawServer garbage([](int fd) { RawServer::send(fd, "HELLO THERE\r\n\r\n"); });
    RawServer silent([](int) {});
    RawServer truncated([](int fd) {
        RawServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789");
    });
    RawServer badGzip([](int fd) {
        RawServer::send(fd,
                        "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 10\r\n"
                        "Connection: close\r\n\r\nnot gzip!!");
    });
    testsupport::LoopbackListener closed;
    closed.close();
    const auto refusedURL = "http://" + closed.hostName() + "/x";
    const auto get = [](const std::string& url) {
        return NSURLRequest::requestWithURL(NSURL::URLWithString(url));
    };
    auto injected = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(http.url("/hello")));
    injected->setValue("1\r\nX-Evil: 1", "X-Test");
    // A method longer than curl takes: left unset, the request would go out as a GET.
    auto huge = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(http.url("/hello")));
    huge->setHTTPMethod(std::string(9'000'000, 'M'));
    const std::map<std::string, std::pair<std::shared_ptr<NSURLRequest>, long>> cases = {
        {"refused", {get(refusedURL), NSURLErrorCannotConnectToHost}},
        {"timeout", {request("/stall", 1.0), NSURLErrorTimedOut}},
        {"unsupported", {get("ftp://127.0.0.1/x"), NSURLErrorUnsupportedURL}},
        {"redirect to ftp", {request("/to-ftp"), NSURLErrorUnsupportedURL}},
        {"no host", {get("http:///x"), NSURLErrorBadURL}},
        {"no URL", {NSURLRequest::requestWithURL(nullptr), NSURLErrorBadURL}},
        {"header injection", {injected, NSURLErrorBadURL}},
        {"garbage", {get(garbage.url()), NSURLErrorBadServerResponse}},
        {"silent", {get(silent.url()), NSURLErrorNetworkConnectionLost}},
        {"truncated", {get(truncated.url()), NSURLErrorNetworkConnectionLost}},
        {"bad gzip", {get(badGzip.url()), NSURLErrorCannotDecodeContentData}},
        {"huge method", {huge, -1}},  // any code, as long as the request fails
    };
    std::map<std::string, std::shared_ptr<Recorder>> recorders;
    for (const auto& [name, c] : cases) {
        recorders[name] = std::make_shared<Recorder>();
        NSURLConnection::connectionWithRequest(c.first, recorders[name]);
    }
    ASSERT_TRUE(runUntil([&] {
        return std::all_of(recorders.begin(), recorders.end(),
                           [](const auto& r) { return r.second->ended(); });
    }));
    for (const auto& [name, c] : cases) {
        const auto& r = *recorders[name];
        if (name == "truncated") {
            EXPECT_EQ(r.events, (std::vector<std::string>{"response", "data", "fail"}));
            EXPECT_EQ(r.body(), "0123456789");
        } else if (name != "bad gzip") {
            EXPECT_EQ(r.events, std::vector<std::string>{"fail"}) << name;
        }
        ASSERT_TRUE(r.error) << name;
        EXPECT_EQ(r.error->domain, NSURLErrorDomain) << name;
        if (c.second != -1) {
            EXPECT_EQ(r.error->code, c.second) << name;
        }
    }
    EXPECT_EQ(recorders["refused"]->error->userInfo["NSErrorFailingURLStringKey"], refusedURL);
    EXPECT_EQ(recorders["huge method"]->error->userInfo["NSErrorFailingURLStringKey"],
              http.url("/hello"));
    // Described in the app's region (its own bundle's is Chinese).
    EXPECT_EQ(recorders["refused"]->error->localizedDescription, "未能连接到服务器。");
}

TEST(URLErrorMappingTest, FailuresThatTestsCannotProvokeMapToTheirCodes) {
    const auto code = [](int curl, long osErrno = 0) {
        const auto e = NSURLLoader::errorForTransferFailure(curl, osErrno, "http://h/");
        EXPECT_EQ(e.domain, NSURLErrorDomain);
        return e.code;
    };
    EXPECT_EQ(code(CURLE_COULDNT_RESOLVE_HOST), NSURLErrorCannotFindHost);
    EXPECT_EQ(code(CURLE_COULDNT_CONNECT, ENETUNREACH), NSURLErrorNotConnectedToInternet);
    EXPECT_EQ(code(CURLE_COULDNT_CONNECT, ECONNREFUSED), NSURLErrorCannotConnectToHost);
    EXPECT_EQ(code(CURLE_RECV_ERROR), NSURLErrorNetworkConnectionLost);
    EXPECT_EQ(code(CURLE_TOO_MANY_REDIRECTS), NSURLErrorHTTPTooManyRedirects);
    EXPECT_EQ(code(CURLE_SSL_CONNECT_ERROR), NSURLErrorUnknown);
}

}  // namespace
