#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "Deadline.h"
#include "DevServerFixture.h"
#include "Foundation/NSData.h"
#include "OfflineEndpoints.h"
#include "RawConnection.h"
#include "SeedData.h"

namespace devserver::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFloodClients = 200;

std::string pollRequest(const std::string& cookie, const std::string& engineer,
                        std::uint64_t after) {
    return "GET /push/poll?brisfoldID=" + engineer + "&wait=30&after=" + std::to_string(after) +
           " HTTP/1.1\r\nHost: x\r\nCookie: " + cookie + "\r\n\r\n";
}

class HostileClientsTest : public DevServerFixture {
  protected:
    void SetUp() override {
        auto options = testOptions();
        // Each flood here holds what it takes for longer than a client waits for its answer.
        options.requestDeadline = std::chrono::seconds(60);
        restart(options);
    }

    // Signs in and asks for /health while the flood holds its connections: each is answered
    // within the client's patience, shorter than the flood holds, and, for a flood the server
    // lets go of sooner, while `holding` (a worker the flood kept would have held the answer
    // until then). How long the answers take is no measure here.
    void expectPromptAnswers(const std::function<bool()>& holding = {}) {
        EXPECT_EQ(login(kSeedEngineers[1].userName, kSeedEngineers[1].password)["code"], "1");
        EXPECT_EQ(statusOf(client().Get("/health")), 200);
        if (holding) {
            EXPECT_TRUE(holding()) << "answered only once the flood was let go";
        }
    }

    std::vector<std::unique_ptr<RawConnection>> flood(const std::string& request) {
        std::vector<std::unique_ptr<RawConnection>> clients;
        for (int i = 0; i < kFloodClients; ++i) {
            clients.push_back(std::make_unique<RawConnection>(server_->port()));
            EXPECT_TRUE(clients.back()->connected());
            EXPECT_TRUE(clients.back()->send(request));
        }
        return clients;
    }

    static bool allClosed(const std::vector<std::unique_ptr<RawConnection>>& clients) {
        for (const auto& client : clients)
            if (!client->heardFrom()) return false;
        return true;
    }

    static bool noneClosed(const std::vector<std::unique_ptr<RawConnection>>& clients) {
        for (const auto& client : clients)
            if (client->heardFrom()) return false;
        return true;
    }
};

TEST_F(HostileClientsTest, HalfARequestLineHeldDelaysNoOneAndIsClosedAtTheHeadDeadline) {
    const auto clients = flood("POST /api/Engineer/Lo");
    expectPromptAnswers([&] { return noneClosed(clients); });
    // At the head deadline of 3 s, well before the request's own of 60 s.
    EXPECT_TRUE(testsupport::waitUntil([&] { return allClosed(clients); }));
}

TEST_F(HostileClientsTest, HeadersTrickledDelayNoOneAndAreClosedAtTheHeadDeadline) {
    auto clients = flood("GET /health HTTP/1.1\r\nHost: x\r\nX-Slow: ");
    // A header byte every two seconds from each, until the server closes it.
    std::jthread trickler([&](std::stop_token stop) {
        while (!stop.stop_requested() &&
               !testsupport::waitUntil([&] { return stop.stop_requested(); }, 2)) {
            for (auto& client : clients)
                if (!client->heardFrom()) client->send("a");
        }
    });
    expectPromptAnswers([&] { return noneClosed(clients); });
    // At the head deadline of 3 s, well before the request's own of 60 s.
    EXPECT_TRUE(testsupport::waitUntil([&] { return allClosed(clients); }));
}

TEST_F(HostileClientsTest, PollsWaitParkedWithinTheirBoundAndDelayNoOne) {
    const auto me = login(kSeedEngineers[0].userName, kSeedEngineers[0].password);
    const std::string mine = lastSession_;
    httplib::Headers headers{{"Cookie", mine}};
    const std::string id = me["UserID"];
    const auto now = parseJson(client().Get(("/push/poll?brisfoldID=" + id).c_str(), headers));
    const auto clients = flood(pollRequest(mine, id, now["last"].get<std::uint64_t>()));
    expectPromptAnswers();

    // The engineer's bound parks 8; the others are refused at once, and none holds a worker.
    const size_t parked = DevServerOptions().parkedPollsPerEngineer;
    ASSERT_TRUE(testsupport::waitUntil([&] {
        return server_->push().waitingPolls() == parked &&
               std::count_if(clients.begin(), clients.end(), [](const auto& c) {
                   return c->heardFrom();
               }) == static_cast<long>(kFloodClients - parked);
    }));
    std::vector<RawConnection*> waiting;
    for (const auto& client : clients) {
        if (!client->heardFrom()) {
            waiting.push_back(client.get());
            continue;
        }
        const auto reply = parseReply(client->readToEnd());
        ASSERT_EQ(reply.status, 429);
        EXPECT_NE(reply.body.find("\"code\":\"0\""), std::string::npos);
    }
    ASSERT_EQ(statusOf(client().Post("/push/send", headers, "brisfoldID=" + id + "&alert=x",
                                     "application/x-www-form-urlencoded")),
              200);
    for (RawConnection* client : waiting) {
        const auto reply = parseReply(client->readToEnd());
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(nlohmann::json::parse(reply.body, nullptr, false)["notifications"].size(), 1u);
    }
    EXPECT_EQ(me["code"], "1");
}

TEST_F(HostileClientsTest, ParkedPollsAreBoundedInAll) {
    auto options = testOptions();
    options.parkedPolls = 2;
    restart(options);
    signInBoth();
    std::vector<std::unique_ptr<RawConnection>> polls;
    for (const auto& engineer : {engineer_, engineer_}) {
        polls.push_back(std::make_unique<RawConnection>(server_->port()));
        ASSERT_TRUE(polls.back()->send(pollRequest(sessions_[engineer], engineer, 1'000'000)));
    }
    ASSERT_TRUE(testsupport::waitUntil([&] { return server_->push().waitingPolls() == 2; }));
    RawConnection another(server_->port());
    ASSERT_TRUE(another.send(pollRequest(sessions_[other_], other_, 1'000'000)));
    EXPECT_EQ(parseReply(another.readToEnd()).status, 429);
    EXPECT_EQ(server_->push().waitingPolls(), 2u);
}

// ---- Package downloads the test knobs make slow.

std::string packageRequest(const std::string& knobs) {
    return "GET /offline/120000.zip?" + knobs +
           " HTTP/1.1\r\nHost: x\r\nUser-Agent: " + kOfflineUserAgent + "\r\n\r\n";
}

// More than the workers, so that before the knobs were bounded they took every one.
constexpr int kSlowPackages = 70;
// At most half the workers send packages slowly; one more is answered 503 at once.
const size_t kSlowPackageBound = DevServerOptions().workers / 2;

// The statuses the slow package requests were answered with, once every one has its head.
std::vector<int> headStatuses(const std::vector<std::unique_ptr<RawConnection>>& clients) {
    std::vector<int> statuses;
    for (const auto& client : clients) statuses.push_back(parseReply(client->readHead()).status);
    return statuses;
}

TEST_F(HostileClientsTest, StalledPackagesLeftByTheirClientsFreeTheirWorkers) {
    std::vector<std::unique_ptr<RawConnection>> clients;
    for (int i = 0; i < kSlowPackages; ++i) {
        clients.push_back(std::make_unique<RawConnection>(server_->port()));
        ASSERT_TRUE(clients.back()->send(packageRequest("stall=0")));
    }
    const auto statuses = headStatuses(clients);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 200), kSlowPackageBound);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 503), kSlowPackages - kSlowPackageBound);
    clients.clear();
    expectPromptAnswers();

    // Each abandoned request gave its place back: as many stall again.
    std::vector<std::unique_ptr<RawConnection>> again;
    EXPECT_TRUE(testsupport::waitUntil([&] {
        auto client = std::make_unique<RawConnection>(server_->port());
        if (client->send(packageRequest("stall=0")) && parseReply(client->readHead()).status == 200)
            again.push_back(std::move(client));
        return again.size() == kSlowPackageBound;
    })) << again.size()
        << " of " << kSlowPackageBound << " stalled again";
    expectPromptAnswers();
}

TEST_F(HostileClientsTest, ThrottledPackagesTakeAtMostHalfTheWorkers) {
    std::vector<std::unique_ptr<RawConnection>> clients;
    for (int i = 0; i < kSlowPackages; ++i) {
        clients.push_back(std::make_unique<RawConnection>(server_->port()));
        ASSERT_TRUE(clients.back()->send(packageRequest("throttle=1")));
    }
    // Every client stays, reading nothing after the head.
    const auto statuses = headStatuses(clients);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 200), kSlowPackageBound);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 503), kSlowPackages - kSlowPackageBound);
    expectPromptAnswers();
}

TEST_F(HostileClientsTest, AStalledOrThrottledPackageEndsAtItsDeadline) {
    auto options = testOptions();
    options.slowPackageDeadline = std::chrono::seconds(1);
    restart(options);
    const size_t size = offlinePackageArchive("120000")->size();
    for (const std::string knobs : {"stall=1000", "throttle=20", "throttle=20&ignoreRange=1"}) {
        SCOPED_TRACE(knobs);
        RawConnection client(server_->port());
        ASSERT_TRUE(client.send(packageRequest(knobs)));
        // Closed by the server well before the client's patience ends.
        const auto reply = parseReply(client.readToEnd(10));
        EXPECT_EQ(reply.status, 200);
        EXPECT_GT(reply.body.size(), 0u);
        EXPECT_LT(reply.body.size(), size);
    }
}

// Package downloads without a knob, each read as slowly as a poor network reads it: 16 KiB every
// half second. Each takes minutes; the server must go on answering everyone else meanwhile.
TEST_F(HostileClientsTest, SlowReadersOfPackagesDelayNoOne) {
    constexpr size_t kReaders = 64;
    std::vector<std::unique_ptr<RawConnection>> readers;
    for (size_t i = 0; i < kReaders; ++i) {
        readers.push_back(std::make_unique<RawConnection>(server_->port()));
        ASSERT_TRUE(readers.back()->send(packageRequest("")));
    }
    for (const auto& reader : readers) ASSERT_EQ(parseReply(reader->readHead()).status, 200);
    std::jthread reading([&](std::stop_token stop) {
        do {
            for (const auto& reader : readers) reader->takeSome(16 * 1024);
        } while (!testsupport::waitUntil([&] { return stop.stop_requested(); }, 0.5));
    });
    const auto until = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < until && !HasFailure()) expectPromptAnswers();
}

// A reader slower than the kernel's buffers drain takes bytes all along, though the server has
// nothing to write for several stall periods at a time: it gets its whole package. A reader
// beside it that takes nothing is closed. The server's buffer is lowered (to what any process
// may ask) and its stall period shortened so that a package of 1.2 MB outlasts both.
TEST_F(HostileClientsTest, ASlowReaderGetsItsWholePackageAndOneThatReadsNothingIsClosed) {
    auto options = testOptions();
    options.replyStallTimeout = std::chrono::seconds(1);
    options.sendBufferBytes = 192 * 1024;
    restart(options);
    const std::string& package = *offlinePackageArchive("110000");
    const std::string request = "GET /offline/110000.zip HTTP/1.1\r\nHost: x\r\nUser-Agent: " +
                                std::string(kOfflineUserAgent) + "\r\n\r\n";
    RawConnection idle(server_->port(), 16 * 1024), reader(server_->port(), 16 * 1024);
    ASSERT_TRUE(idle.send(request));
    ASSERT_TRUE(reader.send(request));

    constexpr size_t kBytesPerSecond = 64 * 1024;
    const auto read = parseReply(reader.readToEnd(10 * testsupport::kPatience, kBytesPerSecond));
    EXPECT_EQ(read.status, 200);
    EXPECT_EQ(read.body.size(), package.size());
    EXPECT_TRUE(read.body == package);
    // Closed long before: what the kernel held for it, and the end.
    const auto idled = parseReply(idle.readToEnd());
    EXPECT_EQ(idled.status, 200);
    EXPECT_LT(idled.body.size(), package.size());
}

// ---- Large bodies sent slowly: the event loop gathers them, or they are refused from their
// declared length, and no worker waits for them.

TEST_F(HostileClientsTest, LargeBodiesSentSlowlyOrNotAtAllDelayNoOne) {
    const std::string upload =
        "POST /ws/log/upload?product=1&type=1&platform=2&channel=open&sign=x HTTP/1.1\r\n"
        "Host: x\r\nContent-Type: application/gzip\r\n";
    const std::string tile = "POST /tiles/0/0/0.png HTTP/1.1\r\nHost: x\r\n";
    struct Case {
        std::string name;
        std::string request;
        bool trickled;
    };
    const std::vector<Case> cases = {
        {"log upload", upload + "Content-Length: 500000\r\n\r\n", true},
        {"tile", tile + "Content-Length: 500000\r\n\r\n", true},
        {"log upload expecting 100-continue",
         upload + "Expect: 100-continue\r\nContent-Length: 100000\r\n\r\n", false},
        {"tile expecting 100-continue",
         tile + "Expect: 100-continue\r\nContent-Length: 100000\r\n\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto clients = flood(c.request);
        // A body byte a second from each, until the server answers it.
        std::jthread trickler([&](std::stop_token stop) {
            while (c.trickled && !stop.stop_requested() &&
                   !testsupport::waitUntil([&] { return stop.stop_requested(); }, 1)) {
                for (auto& client : clients)
                    if (!client->heardFrom()) client->send("a");
            }
        });
        expectPromptAnswers();
    }
}

// ---- Compressed bodies, against the server as a process of its own, whose memory is read.

std::string gzipOfZeros(size_t size) {
    httplib::detail::gzip_compressor compressor;
    std::string out;
    const std::string block(1024 * 1024, '\0');
    for (size_t done = 0; done < size; done += block.size()) {
        const bool last = done + block.size() >= size;
        compressor.compress(block.data(), block.size(), last, [&](const char* data, size_t n) {
            out.append(data, n);
            return true;
        });
    }
    return out;
}

// The peak resident size of the process, in KiB.
long peakKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// A devserver process of its own, started with the given soft limit of open descriptors.
class ServerProcess {
  public:
    explicit ServerProcess(rlim_t descriptors = 0) {
        rlimit ours{};
        getrlimit(RLIMIT_NOFILE, &ours);
        if (descriptors != 0) {
            rlimit theirs = ours;
            theirs.rlim_cur = descriptors;
            setrlimit(RLIMIT_NOFILE, &theirs);
        }
        child_ = std::make_unique<testsupport::ChildProcess>(
            test::devServerProgram({"--data", (dir_.path() / "data.sqlite").string()}));
        setrlimit(RLIMIT_NOFILE, &ours);
        if (const auto line = child_->readLine()) port_ = std::stoi(*line);
    }

    int port() const { return port_; }
    testsupport::ChildProcess& child() { return *child_; }

    // Whether the server answers /health within the time.
    bool healthy(std::chrono::seconds within) const {
        httplib::Client client("127.0.0.1", port_);
        client.set_connection_timeout(within);
        client.set_read_timeout(within);
        const auto result = client.Get("/health");
        return result && result->status == 200;
    }

  private:
    testsupport::TempDir dir_;
    std::unique_ptr<testsupport::ChildProcess> child_;
    int port_ = 0;
};

TEST(CompressedBodyTest, ABodyIsBoundedAsItIsDecodedAndASessionIsCheckedFirst) {
    ServerProcess server;
    const int port = server.port();
    ASSERT_NE(port, 0);
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(20);
    const auto signIn = client.Post("/api/Engineer/Login",
                                    "UserName=" + std::string(kSeedEngineers[0].userName) +
                                        "&PassWord=" + std::string(kSeedEngineers[0].password),
                                    "application/x-www-form-urlencoded");
    ASSERT_TRUE(signIn);
    const std::string cookie = signIn->get_header_value("Set-Cookie")
                                   .substr(0, signIn->get_header_value("Set-Cookie").find(';'));
    ASSERT_FALSE(cookie.empty());

    // 128 MiB of zeros in 128 KiB.
    const std::string bomb = gzipOfZeros(128 * 1024 * 1024);
    const std::string chunkedBomb = chunked(bomb, 8192) + "0\r\n\r\n";
    struct Case {
        const char* path;
        bool signedIn;
        bool withLength;
        int status;
    };
    const Case cases[] = {
        {"/api/Engineer/Login", false, false, 413},
        {"/api/Order/OrderList", false, false, 401},
        {"/api/Order/OrderList", true, false, 413},
        {"/push/send", false, false, 401},
        {"/push/send", true, false, 413},
        {"/tiles/release/gate", false, false, 413},
        // Refused by its own envelope, {"code":0}.
        {"/ws/log/upload?product=1&type=1&platform=2&channel=open&sign=x", false, true, 200},
    };
    const long before = peakKiB(server.child().pid());
    ASSERT_GT(before, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + (c.signedIn ? " signed in" : ""));
        RawConnection connection(port);
        std::string request = std::string("POST ") + c.path +
                              " HTTP/1.1\r\nHost: x\r\nContent-Encoding: gzip\r\n"
                              "Content-Type: application/x-www-form-urlencoded\r\n";
        if (c.signedIn) request += "Cookie: " + cookie + "\r\n";
        request += c.withLength
                       ? "Content-Length: " + std::to_string(bomb.size()) + "\r\n\r\n" + bomb
                       : "Transfer-Encoding: chunked\r\n\r\n" + chunkedBomb;
        // A refusal may come before the body is all sent.
        connection.send(request);
        const auto reply = parseReply(connection.readToEnd());
        EXPECT_EQ(reply.status, c.status);
        EXPECT_NE(reply.body.find("\"code\":"), std::string::npos) << reply.body;
    }
    const long grown = peakKiB(server.child().pid()) - before;
    EXPECT_LT(grown, 32 * 1024) << "peak resident size grew by " << grown << " KiB";
    EXPECT_EQ(server.child().stop(), 0);
}

std::string gzipOf(std::string_view text) {
    httplib::detail::gzip_compressor compressor;
    std::string out;
    compressor.compress(text.data(), text.size(), true, [&](const char* data, size_t n) {
        out.append(data, n);
        return true;
    });
    return out;
}

// Signed as the kit signs, with a header that opens nothing and empty records: 16 MiB of them
// in 16 KiB, and as many as fit in the decoded bound.
TEST(CompressedBodyTest, EightLogUploadsOfEmptyRecordsAtOnceAreAnsweredWithinTheirMemory) {
    ServerProcess server;
    const int port = server.port();
    ASSERT_NE(port, 0);
    const long before = peakKiB(server.child().pid());
    ASSERT_GT(before, 0);
    for (const size_t size : {16 * 1024 * 1024, 1024 * 1024 - 16}) {
        std::string json = R"({"pinfo":"x","els":[{})";
        while (json.size() + 5 <= size) json += ",{}";
        const std::string body = gzipOf(json + "]}");
        const std::string request =
            "POST /ws/log/upload?product=1&type=1&platform=2&channel=open&sign=" +
            md5Hex(body.substr(0, 50) + "r7x%Lp2w") +
            " HTTP/1.1\r\nHost: x\r\nContent-Type: application/gzip\r\nContent-Length: " +
            std::to_string(body.size()) + "\r\n\r\n" + body;
        std::vector<std::unique_ptr<RawConnection>> uploads;
        for (int i = 0; i < 8; ++i) {
            uploads.push_back(std::make_unique<RawConnection>(port));
            ASSERT_TRUE(uploads.back()->send(request));
        }
        for (auto& upload : uploads) {
            const auto reply = parseReply(upload->readToEnd());
            // Refused in the upload's envelope, or asked to come again while others are decoded.
            EXPECT_TRUE(reply.status == 200 || reply.status == 503) << size << ": " << reply.status;
            EXPECT_EQ(reply.body, R"({"code":0})") << size;
        }
    }
    const long grown = peakKiB(server.child().pid()) - before;
    EXPECT_LT(grown, 128 * 1024) << "peak resident size grew by " << grown << " KiB";
    EXPECT_EQ(server.child().stop(), 0);
}

// ---- Many connections at once, against the server as a process of its own.

// Connections that each send a head that never ends, a header line of 4 KiB at a time, up to
// 1 MiB or until the server stops taking it.
class EndlessHeads {
  public:
    EndlessHeads(int port, int count) {
        for (int i = 0; i < count; ++i) {
            connections_.push_back(std::make_unique<RawConnection>(port));
            sent_.push_back(0);
        }
    }

    // Sends until every head has reached its end or been refused, or the deadline passes.
    bool send(CFTimeInterval seconds) {
        const std::string line = "X-Pad: " + std::string(4089, 'p') + "\r\n";
        const std::string start = "GET /health HTTP/1.1\r\nHost: x\r\n";
        return testsupport::waitUntil(
            [&] {
                bool done = true;
                for (size_t i = 0; i < connections_.size(); ++i) {
                    if (sent_[i] >= kHeadBytes) continue;
                    const std::string_view piece = sent_[i] == 0 ? start : line;
                    if (connections_[i]->heardFrom() || !connections_[i]->send(piece)) {
                        sent_[i] = kHeadBytes;
                        continue;
                    }
                    sent_[i] += piece.size();
                    done = false;
                }
                return done;
            },
            seconds);
    }

  private:
    static constexpr size_t kHeadBytes = 1024 * 1024;
    std::vector<std::unique_ptr<RawConnection>> connections_;
    std::vector<size_t> sent_;
};

TEST(ManyConnectionsTest, EndlessHeadsOnEightHundredConnectionsTakeLittleMemory) {
    constexpr int kConnections = 800;
    ASSERT_TRUE(raiseDescriptorLimit(2 * kConnections + 256));
    ServerProcess server;
    ASSERT_TRUE(server.healthy(std::chrono::seconds(20)));
    [[maybe_unused]] const long before = peakKiB(server.child().pid());
    {
        EndlessHeads heads(server.port(), kConnections);
        // The server cuts each head off at its bound, or at its deadline of 3 s.
        EXPECT_TRUE(heads.send(60));
    }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // Sanitizers hold freed memory back.
    const long grown = peakKiB(server.child().pid()) - before;
    EXPECT_LT(grown, 128 * 1024) << "peak resident size grew by " << grown << " KiB";
#endif
    EXPECT_TRUE(server.healthy(std::chrono::seconds(20)));
    EXPECT_EQ(server.child().stop(), 0);
}

TEST(ManyConnectionsTest, AServerOutOfDescriptorsStillAnswers) {
    constexpr int kConnections = 600;
    ASSERT_TRUE(raiseDescriptorLimit(kConnections + 256));
    ServerProcess server(256);
    ASSERT_TRUE(server.healthy(std::chrono::seconds(20)));
    std::vector<std::unique_ptr<RawConnection>> clients;
    for (int i = 0; i < kConnections; ++i) {
        clients.push_back(std::make_unique<RawConnection>(server.port()));
        clients.back()->send("GET /health HTTP/1.1\r\nHost: x\r\nX-Slow: ");
    }
    // The newest connections are served, the oldest still arriving closed to make room for
    // them (a connection may be refused while the server catches up with the flood), before
    // any of those reaches its head deadline of 3 s and so frees its descriptor.
    const auto flooded = Clock::now();
    EXPECT_TRUE(testsupport::waitUntil([&] { return server.healthy(std::chrono::seconds(20)); }));
    EXPECT_LT(Clock::now() - flooded, std::chrono::seconds(3));
    clients.clear();
    EXPECT_TRUE(server.healthy(std::chrono::seconds(20)));
    EXPECT_EQ(server.child().stop(), 0);
}

}  // namespace
}  // namespace devserver::test
