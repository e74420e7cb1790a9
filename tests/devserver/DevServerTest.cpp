#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <random>
#include <thread>

#include "DevServerFixture.h"
#include "PasswordHash.h"
#include "RawConnection.h"

namespace devserver {
namespace {

using test::chunked;
using test::parseJson;
using test::testOptions;

// The envelope's "code", or nothing when the text is no envelope.
std::string codeOf(const std::string& body) {
    const auto reply = nlohmann::json::parse(body, nullptr, false);
    return reply.is_object() ? reply.value("code", "") : "";
}

bool isHex32(const nlohmann::json& value) {
    if (!value.is_string()) return false;
    const auto text = value.get<std::string>();
    return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

const std::string kLoginBody = "UserName=zhangwei&PassWord=zw123456";

// A form body of exactly `size` bytes that signs in the first seeded engineer.
std::string loginBodyOfSize(size_t size) {
    std::string body = kLoginBody + "&Pad=";
    body.resize(size, 'a');
    return body;
}

std::string loginRequest(const std::string& headers) {
    return "POST /api/Engineer/Login HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n";
}

class DevServerTest : public test::DevServerFixture {
  protected:
    void expectHealthy() {
        const auto result = client().Get("/health");
        ASSERT_TRUE(result) << "no answer to /health";
        EXPECT_EQ(codeOf(result->body), "1");
    }

    test::RawReply exchange(const std::string& request) {
        test::RawConnection connection(server_->port());
        EXPECT_TRUE(connection.connected());
        EXPECT_TRUE(connection.send(request));
        return test::parseReply(connection.readToEnd());
    }
};

TEST_F(DevServerTest, LoginReturnsTheSessionOfEachSeededEngineer) {
    std::vector<std::string> userIds;
    for (const auto& seed : kSeedEngineers) {
        const auto reply = login(seed.userName, seed.password);
        EXPECT_EQ(reply["code"], "1");
        EXPECT_EQ(reply["tip"], "登录成功");
        EXPECT_TRUE(isHex32(reply["UserID"]));
        EXPECT_TRUE(isHex32(reply["Token"]));
        EXPECT_EQ(reply["EngineerNo"], seed.engineerNo);
        EXPECT_EQ(reply["Mobile"], seed.mobile);
        EXPECT_EQ(reply["Statistics"]["OrderCount"],
                  std::to_string(5 * kSeedOrdersPerStatePerEngineer));
        EXPECT_EQ(reply["Statistics"]["FinishCount"],
                  std::to_string(kSeedOrdersPerStatePerEngineer));

        const auto userId = reply["UserID"].get<std::string>();
        const int64_t unread = Database(server_->dataFile())
                                   .scalar(
                                       "SELECT COUNT(*) FROM messages WHERE engineer_id = ? "
                                       "AND is_read = 0 AND news_type_id <> -1",
                                       userId);
        EXPECT_GT(unread, 0);
        EXPECT_EQ(reply["NotReadCount"], std::to_string(unread));
        userIds.push_back(userId);
    }
    EXPECT_NE(userIds[0], userIds[1]);

    const auto again = login(kSeedEngineers[0].userName, kSeedEngineers[0].password);
    EXPECT_EQ(again["UserID"], userIds[0]);
    // The token is kept only as its hash.
    Database db(server_->dataFile());
    const auto token = again["Token"].get<std::string>();
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM engineers WHERE token_hash = ?", tokenHash(token)),
              1);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM engineers WHERE token_hash = ?", token), 0);
    EXPECT_NE(again["Token"],
              login(kSeedEngineers[0].userName, kSeedEngineers[0].password)["Token"]);
}

TEST_F(DevServerTest, LoginRefusesWrongCredentialsWithTheSameTip) {
    const auto& seed = kSeedEngineers[0];
    const std::pair<std::string, std::string> refused[] = {
        {std::string(seed.userName), std::string(seed.password) + "0"},
        {std::string(seed.userName), std::string(kSeedEngineers[1].password)},
        {"nobody", std::string(seed.password)},
        {"张伟", "密码"},
    };
    for (const auto& [user, password] : refused) {
        const auto reply = login(user, password);
        EXPECT_EQ(reply["code"], "0") << user;
        EXPECT_EQ(reply["tip"], "用户名或密码错误") << user;
        EXPECT_FALSE(reply.contains("Token")) << user;
    }
    // Escaped and raw forms of the same name are the same name.
    EXPECT_EQ(login("%7Ahangwei", seed.password)["code"], "1");
}

// Accounts hashed so that each check takes tens of milliseconds: far above the rest of a
// sign-in, so that a name answered without a check stands out. Each round times one of each
// kind back to back, and the rounds' ratios are compared: a machine busy with other work then
// slows both alike.
TEST_F(DevServerTest, UnknownNameTakesAsLongAsAWrongPassword) {
    const auto data = server_->dataFile().parent_path();
    server_.reset();
    std::filesystem::remove_all(data);
    auto options = testOptions();
    options.passwordIterations = 40'000;
    restart(options);
    const auto timedLogin = [this](const std::string& name) {
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_EQ(login(name, "wrong")["code"], "0") << name;
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
            .count();
    };
    std::vector<double> ratios;
    std::string times;
    // In an order of chance, so that neither kind keeps to one worker thread.
    std::mt19937 random(7);
    for (int i = 0; i < 12; ++i) {
        const bool unknownFirst = random() % 2 == 0;
        double unknown = 0;
        double wrong = 0;
        if (unknownFirst) unknown = timedLogin("nobody");
        wrong = timedLogin(std::string(kSeedEngineers[0].userName));
        if (!unknownFirst) unknown = timedLogin("nobody");
        ratios.push_back(unknown / wrong);
        times += " " + std::to_string(unknown) + "/" + std::to_string(wrong);
    }
    std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
    const double ratio = ratios[ratios.size() / 2];
    EXPECT_TRUE(ratio > 1 / 1.5 && ratio < 1.5) << "unknown name / wrong password, in ms:" << times;
}

TEST_F(DevServerTest, BadBodiesGetCodeZeroAndTheServerKeepsAnswering) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "缺少参数: UserName"},
        {"UserName=zhangwei", "缺少参数: PassWord"},
        {"UserName=zhangwei&PassWord=", "缺少参数: PassWord"},
        {"UserName=zhangwei&PassWord=zw123456&PassWord=x", "请求参数重复: PassWord"},
        {"UserName=\xc3\x28&PassWord=1", "请求参数不是有效的文本"},
    };
    for (const auto& [body, tip] : cases) {
        const auto reply = call("Engineer/Login", body);
        EXPECT_EQ(reply["code"], "0") << body;
        EXPECT_EQ(reply["tip"], tip) << body;
    }

    std::mt19937 engine(7);
    std::string garbage(4096, '\0');
    for (auto& byte : garbage) byte = static_cast<char>(engine() & 0xFF);
    EXPECT_EQ(call("Engineer/Login", garbage)["code"], "0");
    EXPECT_EQ(call("Engineer/Login", "UserName=" + std::string(1 << 20, 'a'), 413)["code"], "0");
    expectHealthy();
    EXPECT_EQ(login(kSeedEngineers[1].userName, kSeedEngineers[1].password)["code"], "1");
}

TEST_F(DevServerTest, AnotherMethodIs405AndAnUnknownPath404WithTheEnvelope) {
    struct Case {
        std::string method;
        std::string path;
        int status;
        std::string allow;
    };
    const std::vector<Case> cases = {
        {"GET", "/api/Engineer/Login", 405, "POST"},
        {"HEAD", "/api/Engineer/Login", 405, "POST"},
        {"PUT", "/api/Engineer/Login", 405, "POST"},
        {"POST", "/health", 405, "GET, HEAD"},
        {"POST", "/api/Engineer/Nothing", 404, ""},
        {"POST", "/api/", 404, ""},
        {"POST", "/nothing", 404, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method + " " + c.path);
        const auto reply = exchange(c.method + " " + c.path +
                                    " HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\na=1");
        EXPECT_EQ(reply.status, c.status);
        if (!c.allow.empty()) {
            EXPECT_NE(reply.head.find("\r\nAllow: " + c.allow + "\r\n"), std::string::npos)
                << reply.head;
        }
        if (c.method != "HEAD") {
            EXPECT_EQ(codeOf(reply.body), "0");
        }
    }
    EXPECT_EQ(parseJson(post("Engineer/Login", kLoginBody))["code"], "1");
}

// Some clients shut their sending side once the request is out and wait for the answer.
TEST_F(DevServerTest, AClientThatShutsItsSendingSideAfterItsRequestGetsTheAnswer) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"GET /health HTTP/1.1\r\nHost: x\r\n\r\n", 200},
        {"GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n", 404},
        {loginRequest("Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                      std::to_string(std::string_view(kLoginBody).size()) + "\r\n") +
             kLoginBody,
         200},
    };
    for (const auto& [request, status] : cases) {
        SCOPED_TRACE(request);
        test::RawConnection connection(server_->port());
        ASSERT_TRUE(connection.connected());
        ASSERT_TRUE(connection.send(request));
        ASSERT_TRUE(connection.shutSending());
        const auto reply = test::parseReply(connection.readToEnd());
        EXPECT_EQ(reply.status, status);
        EXPECT_FALSE(reply.body.empty());
    }
}

// A length in doubt is refused at once: the connection stays open after those requests, and a
// server that waited for more would not answer until its time-out.
TEST_F(DevServerTest, EveryBodyHasOneLimitWhateverItsFramingAndALengthInDoubtIsRefused) {
    constexpr size_t kLimit = DevServer::kMaxBodyBytes;
    const std::string form = "Content-Type: application/x-www-form-urlencoded\r\n";
    auto sized = [](const std::string& type, const std::string& body) {
        return loginRequest(type + "Content-Length: " + std::to_string(body.size()) + "\r\n") +
               body;
    };
    auto chunks = [](const std::string& type, const std::string& body) {
        return loginRequest(type + "Transfer-Encoding: chunked\r\n") + chunked(body, 4000) +
               "0\r\n\r\n";
    };
    auto doubtful = [](const std::string& headers) { return loginRequest(headers) + "a=1&b"; };
    struct Case {
        std::string name;
        std::string request;
        int status;
    };
    const std::vector<Case> cases = {
        {"form body of 16 KiB", sized(form, loginBodyOfSize(16 * 1024)), 200},
        {"form body at the limit", sized(form, loginBodyOfSize(kLimit)), 200},
        {"form body over the limit", sized(form, loginBodyOfSize(kLimit + 1)), 413},
        {"untyped body at the limit", sized("", loginBodyOfSize(kLimit)), 200},
        {"untyped body over the limit", sized("", loginBodyOfSize(kLimit + 1)), 413},
        {"chunked body at the limit", chunks(form, loginBodyOfSize(kLimit)), 200},
        {"chunked body over the limit", chunks(form, loginBodyOfSize(kLimit + 1)), 413},
        {"untyped chunked body over the limit", chunks("", loginBodyOfSize(4 * kLimit)), 413},
        {"two equal lengths", doubtful("Content-Length: 5\r\nContent-Length: 5\r\n"), 400},
        {"two lengths", doubtful("Content-Length: 5\r\nContent-Length: 50\r\n"), 400},
        {"a length that is no number", doubtful("Content-Length: abc\r\n"), 400},
        {"a negative length", doubtful("Content-Length: -5\r\n"), 400},
        {"a signed length", doubtful("Content-Length: +5\r\n"), 400},
        {"a length beside chunks", doubtful("Content-Length: 5\r\nTransfer-Encoding: chunked\r\n"),
         400},
        {"a coding other than chunks", doubtful("Transfer-Encoding: gzip\r\n"), 501},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto reply = exchange(c.request);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(codeOf(reply.body), c.status == 200 ? "1" : "0");
    }
    expectHealthy();
}

TEST_F(DevServerTest, BodyOverTheLimitIsRefusedBeforeItEnds) {
    // Declared too large: refused before a byte of it is sent.
    test::RawConnection declared(server_->port());
    ASSERT_TRUE(declared.send(loginRequest("Content-Length: 1073741824\r\n")));
    EXPECT_EQ(test::parseReply(declared.readToEnd()).status, 413);

    // Chunks without end: refused once they pass the limit, while more could still come.
    test::RawConnection endless(server_->port());
    ASSERT_TRUE(endless.send(loginRequest("Transfer-Encoding: chunked\r\n")));
    ASSERT_TRUE(endless.send(chunked(std::string(DevServer::kMaxBodyBytes + 4096, 'a'), 4096)));
    EXPECT_EQ(test::parseReply(endless.readToEnd()).status, 413);
    expectHealthy();
}

// Answered as soon as what arrived settles the request, while more could still come: a path that
// takes no such body refuses it from the head, and a chunk's size or trailer line past its bound
// of 1 KiB ends the body there.
TEST_F(DevServerTest, ARequestIsAnsweredAsSoonAsWhatArrivedSettlesIt) {
    const std::string upload =
        "POST /ws/log/upload?product=1&type=1&platform=2&channel=open&sign=x HTTP/1.1\r\n"
        "Host: x\r\nContent-Type: application/gzip\r\n";
    const std::string chunks = loginRequest("Transfer-Encoding: chunked\r\n");
    const std::string longLine(1025, 'x');
    const std::pair<std::string, int> cases[] = {
        {"POST /nothing HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\n", 404},
        {"POST /health HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\n", 405},
        {upload + "Transfer-Encoding: chunked\r\n\r\n1;", 200},
        {chunks + "1;" + longLine, 400},
        {chunks + "1\r\na\r\n0\r\nX-Trailer: " + longLine, 400},
    };
    for (const auto& [request, status] : cases) {
        SCOPED_TRACE(request.substr(0, 80));
        test::RawConnection connection(server_->port());
        ASSERT_TRUE(connection.send(request));
        // Well before the request's deadline of 10 s.
        const auto reply = test::parseReply(connection.readToEnd(5));
        EXPECT_EQ(reply.status, status);
        // The upload's own envelope has a number.
        EXPECT_NE(reply.body.find("\"code\":"), std::string::npos) << reply.body;
    }
}

TEST_F(DevServerTest, RestartKeepsTheDataAndItsChanges) {
    const auto first = login(kSeedEngineers[0].userName, kSeedEngineers[0].password);
    server_->stop();
    EXPECT_FALSE(client().Get("/health"));
    Database(server_->dataFile())
        .run("UPDATE messages SET is_read = 1 WHERE engineer_id = ?",
             first["UserID"].get<std::string>());
    std::string error;
    ASSERT_TRUE(server_->start(0, &error)) << error;
    const auto second = login(kSeedEngineers[0].userName, kSeedEngineers[0].password);
    EXPECT_EQ(second["UserID"], first["UserID"]);
    EXPECT_EQ(second["NotReadCount"], "0");
    EXPECT_EQ(Database(server_->dataFile()).scalar("SELECT COUNT(*) FROM engineers"),
              static_cast<int64_t>(kSeedEngineers.size()));

    // Starting a running server again is refused and leaves it serving.
    EXPECT_FALSE(server_->start(0, &error));
    EXPECT_EQ(error, "already running");
    expectHealthy();
}

TEST_F(DevServerTest, SlowClientsDoNotStallTheServerAndAreCutOffAtTheirDeadline) {
    auto options = testOptions();
    options.requestDeadline = std::chrono::seconds(2);
    restart(options);

    constexpr int kSlowClients = 40;
    std::vector<std::unique_ptr<test::RawConnection>> slow;
    for (int i = 0; i < kSlowClients; ++i) {
        slow.push_back(std::make_unique<test::RawConnection>(server_->port()));
        ASSERT_TRUE(slow.back()->connected());
        ASSERT_TRUE(slow.back()->send(loginRequest("") + "X-Slow: "));
    }
    // Each sends a byte every half second, well inside any time-out for a single read, until
    // the server cuts it off.
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    int cutOff = 0;
    // Stopped by its jthread's stop request should the test end early.
    std::jthread trickler([&](std::stop_token stop) {
        std::vector<bool> open(kSlowClients, true);
        std::unique_lock lock(mutex);
        while (!done && !stop.stop_requested()) {
            for (size_t i = 0; i < slow.size(); ++i) {
                if (!open[i]) continue;
                if (slow[i]->heardFrom()) {
                    open[i] = false;
                    ++cutOff;
                    changed.notify_all();
                } else {
                    slow[i]->send("a");
                }
            }
            changed.wait_for(lock, std::chrono::milliseconds(500), [&] { return done; });
        }
    });

    expectHealthy();
    EXPECT_EQ(login(kSeedEngineers[1].userName, kSeedEngineers[1].password)["code"], "1");
    std::unique_lock lock(mutex);
    EXPECT_TRUE(
        changed.wait_for(lock, std::chrono::seconds(60), [&] { return cutOff == kSlowClients; }))
        << cutOff << " of " << kSlowClients << " slow clients cut off";
    done = true;
    changed.notify_all();
}

TEST_F(DevServerTest, StopCutsOffARequestThatDoesNotArriveWithinTheDrainDeadline) {
    auto options = testOptions();
    options.requestDeadline = std::chrono::hours(1);
    options.drainDeadline = std::chrono::milliseconds(200);
    restart(options);
    test::RawConnection laggard(server_->port());
    ASSERT_TRUE(laggard.send(loginRequest("Content-Length: 100\r\n") + "UserName="));
    expectHealthy();

    auto stopped = std::async(std::launch::async, [&] { server_->stop(); });
    EXPECT_EQ(stopped.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_TRUE(laggard.readToEnd());
    EXPECT_FALSE(server_->running());
}

TEST_F(DevServerTest, LockedDataFileGivesA500AndLogsItsCause) {
    auto logged = std::make_shared<std::atomic<bool>>(false);
    auto options = testOptions();
    options.busyTimeout = std::chrono::milliseconds(50);
    options.log = [logged](const std::string& line) {
        if (line.find("Engineer/Login") != std::string::npos &&
            line.find("database is locked") != std::string::npos)
            *logged = true;
    };
    restart(options);

    Database locker(server_->dataFile());
    locker.execute("BEGIN IMMEDIATE");
    EXPECT_EQ(call("Engineer/Login", kLoginBody, 500)["code"], "0");
    server_->flushLogs();
    EXPECT_TRUE(logged->load());

    locker.execute("ROLLBACK");
    EXPECT_EQ(parseJson(post("Engineer/Login", kLoginBody))["code"], "1");
}

// A range is of a 200 representation: every refusal and error goes out whole, whatever range
// comes with it, be it the service's own, a handler's or the HTTP layer's.
TEST_F(DevServerTest, RefusalsAndErrorsGoOutWholeWhateverRangeIsAsked) {
    auto options = testOptions();
    options.busyTimeout = std::chrono::milliseconds(50);
    options.log = [](const std::string&) {};
    restart(options);
    Database locker(server_->dataFile());
    const auto form = [](const std::string& path, const std::string& body) {
        return "POST " + path +
               " HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\n{range}\r\n" + body;
    };
    const auto get = [](const std::string& target) {
        return "GET " + target + " HTTP/1.1\r\nHost: x\r\n{range}\r\n";
    };
    struct Case {
        std::string name;
        std::string request;  // {range} stands for the Range header
        int status;
        bool locked = false;
    };
    const std::vector<Case> cases = {
        {"unknown path", get("/nosuch"), 404},
        {"another method", get("/api/Engineer/Login"), 405},
        {"no session", form("/api/Order/OrderList", "brisfoldID=U"), 401},
        {"package without its agent", get("/offline/320200.zip"), 403},
        {"body over the limit",
         "POST /api/Engineer/Login HTTP/1.1\r\nHost: x\r\nContent-Length: 70000\r\n{range}\r\n",
         413},
        {"length in doubt",
         "POST /api/Engineer/Login HTTP/1.1\r\nHost: x\r\nContent-Length: abc\r\n{range}\r\n", 400},
        {"tile outside the tiling", get("/tiles/21/0/0.png"), 404},
        {"no tile route", get("/tiles/0/0/0.jpg"), 404},
        {"map data of another version", get("/ws/mps/vmap?mapdataver=4&type=20&cp=1&mesh=0"), 400},
        {"locked data file", form("/api/Engineer/Login", kLoginBody), 500, true},
    };
    for (const auto& c : cases) {
        if (c.locked) locker.execute("BEGIN IMMEDIATE");
        const auto send = [&](const std::string& range) {
            std::string request = c.request;
            request.replace(request.find("{range}"), 7,
                            range.empty() ? "" : "Range: " + range + "\r\n");
            return exchange(request);
        };
        const auto whole = send("");
        ASSERT_EQ(whole.status, c.status) << c.name << "\n" << whole.head;
        ASSERT_GT(whole.body.size(), 4u) << c.name;
        // The last three are no bytes range at all: ignored, not refused with 416.
        for (const std::string range : {"bytes=0-3", "bytes=-1", "bytes=2-", "bytes=0-0,2-3",
                                        "items=0-3", "bytes=abc", "bytes=3-1"}) {
            const auto reply = send(range);
            EXPECT_EQ(reply.status, c.status) << c.name << ", " << range;
            EXPECT_EQ(reply.head.find("Content-Range"), std::string::npos)
                << c.name << ", " << range << "\n"
                << reply.head;
            EXPECT_EQ(reply.body, whole.body) << c.name << ", " << range;
        }
        if (c.locked) locker.execute("ROLLBACK");
    }
    // Nor does a 200 that has no ranges of its own come cut under its full status.
    const auto health = exchange("GET /health HTTP/1.1\r\nHost: x\r\nRange: bytes=0-3\r\n\r\n");
    EXPECT_EQ(health.status, 200);
    EXPECT_EQ(health.head.find("Content-Range"), std::string::npos) << health.head;
    EXPECT_EQ(codeOf(health.body), "1");
}

}  // namespace
}  // namespace devserver
