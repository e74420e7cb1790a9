#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "CoreGraphics/CGImage.h"
#include "Deadline.h"
#include "DevServerFixture.h"
#include "EngineerPictures.h"
#include "RawConnection.h"
#include "Sessions.h"

namespace devserver::test {
namespace {

std::string codeOf(const httplib::Result& result) {
    const auto reply = parseJson(result);
    return reply.is_object() ? reply.value("code", "") : "";
}

class PushEndpointsTest : public DevServerFixture {
  protected:
    httplib::Result send(const std::string& cookie, const std::string& body) {
        return client().Post("/push/send", cookieHeader(cookie), body,
                             "application/x-www-form-urlencoded");
    }
    httplib::Result pollResult(const std::string& cookie, const std::string& query) {
        return client().Get(("/push/poll?" + query).c_str(), cookieHeader(cookie));
    }
    nlohmann::json poll(const std::string& cookie, const std::string& query) {
        const auto result = pollResult(cookie, query);
        EXPECT_TRUE(result);
        if (!result) return {};
        EXPECT_EQ(result->status, 200);
        return nlohmann::json::parse(result->body, nullptr, false);
    }
    static httplib::Headers cookieHeader(const std::string& cookie) {
        httplib::Headers headers;
        if (!cookie.empty()) headers.emplace("Cookie", cookie);
        return headers;
    }
    int64_t messagesOf(const std::string& engineer) {
        return Database(server_->dataFile())
            .scalar("SELECT COUNT(*) FROM messages WHERE engineer_id = ?", engineer);
    }
};

// That the app counts it as unread is checked through the message centre.
TEST_F(PushEndpointsTest, SentMessageReachesTheEngineersWaitingPollOnly) {
    signInBoth();
    const std::string mine = sessions_[engineer_];
    const std::uint64_t last = poll(mine, "")["last"];
    auto waiting = std::async(std::launch::async,
                              [&] { return poll(mine, "wait=20&after=" + std::to_string(last)); });
    // Parked in the server, not holding a worker.
    ASSERT_TRUE(testsupport::waitUntil([&] { return server_->push().waitingPolls() == 1; }));
    EXPECT_EQ(statusOf(send(mine, "alert=%E6%96%B0%E8%AE%A2%E5%8D%95")), 200);
    const auto reply = waiting.get();
    ASSERT_EQ(reply["notifications"].size(), 1u);
    EXPECT_EQ(reply["notifications"][0]["userInfo"]["aps"]["alert"], "新订单");
    EXPECT_EQ(reply["last"], reply["notifications"][0]["id"]);

    EXPECT_TRUE(
        poll(sessions_[other_], "wait=0&after=" + std::to_string(last))["notifications"].empty());
}

// Neither a client without a session, nor with a forged one, nor another engineer can read or
// write an engineer's notifications, nor learn which engineers exist.
TEST_F(PushEndpointsTest, ActsForTheSessionsEngineerOnly) {
    signInBoth();
    const std::string his = engineer_;
    const std::string mine = sessions_[his];
    const std::uint64_t last = poll(mine, "brisfoldID=" + his)["last"];
    const auto messages = messagesOf(his);
    const std::string forged = std::string(kSessionCookieName) + "=" + std::string(64, 'a');
    struct Case {
        const char* name;
        std::string cookie;
        std::string named;
        int status;
    };
    const Case cases[] = {
        {"no cookie", "", his, 401},
        {"forged cookie", forged, his, 401},
        {"another engineer's cookie", sessions_[other_], his, 403},
        {"another engineer's cookie, unknown engineer", sessions_[other_], "nobody", 403},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(statusOf(send(c.cookie, "brisfoldID=" + c.named + "&alert=forged")), c.status);
        const auto polled = pollResult(c.cookie, "brisfoldID=" + c.named + "&wait=1&after=0");
        EXPECT_EQ(statusOf(polled), c.status);
        EXPECT_EQ(codeOf(polled), "0");
    }
    EXPECT_EQ(statusOf(send("", "alert=forged")), 401);
    EXPECT_EQ(messagesOf(his), messages);
    EXPECT_TRUE(
        poll(mine, "brisfoldID=" + his + "&wait=0&after=" + std::to_string(last))["notifications"]
            .empty());
}

TEST_F(PushEndpointsTest, BadSendsAndPollsAreRefused) {
    login("zhangwei", "zw123456");
    const std::string mine = lastSession_;
    const std::pair<std::string, int> sends[] = {
        {"brisfoldID=x", 403},
        {"", 400},
        {"alert=" + std::string(PushEndpoints::kMaxAlertBytes + 1, 'x'), 400},
    };
    for (const auto& [body, status] : sends) {
        EXPECT_EQ(statusOf(send(mine, body)), status) << body.substr(0, 60);
    }
    for (const char* query : {"after=x", "wait=x", "after=-1", "wait=1&after=1x"}) {
        EXPECT_EQ(statusOf(pollResult(mine, query)), 400) << query;
    }
    EXPECT_EQ(statusOf(client().Get("/push/send")), 405);
}

// Some clients shut their sending side once the request is out: a poll that waits still gets
// what is sent while it waits.
TEST_F(PushEndpointsTest, AWaitingPollFromAClientThatShutItsSendingSideGetsThePush) {
    login("zhangwei", "zw123456");
    const std::string mine = lastSession_;
    const std::uint64_t last = poll(mine, "")["last"];
    RawConnection connection(server_->port());
    // As long as a poll may wait: what follows must come well within it on a busy machine.
    ASSERT_TRUE(connection.send(
        "GET /push/poll?wait=" + std::to_string(PushEndpoints::kMaxWaitSeconds) +
        "&after=" + std::to_string(last) + " HTTP/1.1\r\nHost: x\r\nCookie: " + mine + "\r\n\r\n"));
    ASSERT_TRUE(connection.shutSending());
    // Parked, and still waiting a second later (a poll taken for gone is closed at once).
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return server_->push().waitingPolls() == 1 || connection.heardFrom(); }));
    EXPECT_FALSE(testsupport::waitUntil([&] { return connection.heardFrom(); }, 1));
    EXPECT_EQ(statusOf(send(mine, "alert=x")), 200);
    const auto reply = parseReply(connection.readToEnd());
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(nlohmann::json::parse(reply.body, nullptr, false)["notifications"].size(), 1u);
}

TEST_F(PushEndpointsTest, StoppingAnswersAWaitingPoll) {
    login("zhangwei", "zw123456");
    const std::string mine = lastSession_;
    auto waiting =
        std::async(std::launch::async, [&] { return pollResult(mine, "wait=30&after=1000000"); });
    ASSERT_TRUE(testsupport::waitUntil([&] { return server_->push().waitingPolls() == 1; }));
    auto stopped = std::async(std::launch::async, [&] { server_->stop(); });
    EXPECT_EQ(statusOf(waiting.get()), 200);
}

// The app restarts its devserver on the same data file and goes on polling after the last
// number it saw: what is sent after the restart is numbered above everything before it, and
// what was sent before is still there for a poll that comes late.
TEST_F(PushEndpointsTest, NumbersAndNotificationsOutliveARestart) {
    login("zhangwei", "zw123456");
    const std::string mine = lastSession_;
    std::vector<std::uint64_t> ids;
    for (const char* alert : {"alert=one", "alert=two", "alert=three"})
        ids.push_back(parseJson(send(mine, alert))["id"].get<std::uint64_t>());

    restart(testOptions());
    ids.push_back(parseJson(send(mine, "alert=four"))["id"].get<std::uint64_t>());
    EXPECT_GT(ids[3], ids[2]);
    EXPECT_EQ(poll(mine, "")["last"], ids[3]);
    const auto alerts = [&](std::uint64_t after) {
        std::vector<std::string> seen;
        const auto reply = poll(mine, "wait=0&after=" + std::to_string(after));
        for (const auto& n : reply["notifications"]) seen.push_back(n["userInfo"]["aps"]["alert"]);
        return seen;
    };
    EXPECT_EQ(alerts(ids[2]), std::vector<std::string>{"four"});
    EXPECT_EQ(alerts(ids[0]), (std::vector<std::string>{"two", "three", "four"}));
}

// A data file from before the messages pushes made were told apart, or from before notifications
// were kept, opens as it was, its sessions included.
TEST_F(PushEndpointsTest, DataFileOfAnEarlierSchemaIsBroughtUpToDate) {
    login("zhangwei", "zw123456");
    const std::string mine = lastSession_;
    constexpr const char* kWithoutPushNumbers =
        "DROP INDEX messages_by_push; ALTER TABLE messages DROP COLUMN push_id;";
    const struct {
        int version;
        std::string script;
    } earlier[] = {
        {4, kWithoutPushNumbers},
        {3, std::string("DROP TABLE pushes;") + kWithoutPushNumbers},
    };
    for (const auto& [version, script] : earlier) {
        SCOPED_TRACE(version);
        server_.reset();
        Database(dir_.path() / "data" / "devserver.sqlite")
            .execute(script + "PRAGMA user_version = " + std::to_string(version) + ";");

        restart(testOptions());
        EXPECT_EQ(Database(server_->dataFile()).scalar("PRAGMA user_version"), kSchemaVersion);
        const std::uint64_t last = poll(mine, "")["last"];
        const auto id = parseJson(send(mine, "alert=one"))["id"].get<std::uint64_t>();
        const auto polled = poll(mine, "wait=0&after=" + std::to_string(last))["notifications"];
        ASSERT_EQ(polled.size(), 1u);
        EXPECT_EQ(polled[0]["id"], id);
    }
    // Numbered from 1 when the table is new.
    EXPECT_EQ(poll(mine, "")["last"], 1);
}

// An error while the server decides whether a poll waits (the data file changed under it, here)
// is answered as an error in any handler is, and the server goes on.
TEST_F(PushEndpointsTest, DataErrorBeforeAPollWaitsIsAnsweredAndTheServerGoesOn) {
    auto options = testOptions();
    auto logged = std::make_shared<std::atomic<bool>>(false);
    options.log = [logged](const std::string& line) {
        if (line.find("/push/poll") != std::string::npos &&
            line.find("no such table") != std::string::npos)
            *logged = true;
    };
    restart(options);
    login("zhangwei", "zw123456");
    const std::string mine = lastSession_;
    const std::uint64_t last = poll(mine, "")["last"];
    const std::string waiting = "wait=20&after=" + std::to_string(last);

    Database other(server_->dataFile());
    other.execute("ALTER TABLE sessions RENAME TO sessions_aside");
    httplib::Headers headers = cookieHeader(mine);
    headers.emplace("Range", "bytes=0-3");
    const auto failed = client().Get(("/push/poll?" + waiting).c_str(), headers);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->status, 500);
    EXPECT_EQ(failed->get_header_value_count("Content-Range"), 0u);
    EXPECT_EQ(codeOf(failed), "0");
    server_->flushLogs();
    EXPECT_TRUE(logged->load());

    other.execute("ALTER TABLE sessions_aside RENAME TO sessions");
    auto answered = std::async(std::launch::async, [&] { return poll(mine, waiting); });
    ASSERT_TRUE(testsupport::waitUntil([&] { return server_->push().waitingPolls() == 1; }));
    EXPECT_EQ(statusOf(send(mine, "alert=after")), 200);
    EXPECT_EQ(answered.get()["notifications"].size(), 1u);
}

// A send whose notification cannot be stored leaves no message behind: a sender that retries on
// the 500 gets one message, not two.
TEST_F(PushEndpointsTest, SendIsStoredWholeOrNotAtAll) {
    const std::string engineer = login("zhangwei", "zw123456")["UserID"];
    const std::string mine = lastSession_;
    const auto messages = messagesOf(engineer);

    Database other(server_->dataFile());
    other.execute("ALTER TABLE pushes RENAME TO pushes_aside");
    EXPECT_EQ(statusOf(send(mine, "alert=lost")), 500);
    EXPECT_EQ(messagesOf(engineer), messages);

    other.execute("ALTER TABLE pushes_aside RENAME TO pushes");
    EXPECT_EQ(statusOf(send(mine, "alert=kept")), 200);
    EXPECT_EQ(messagesOf(engineer), messages + 1);
}

// A sender that never stops fills no disk: only the messages of the newest pushes are kept, the
// seeded ones stay, and the sign-in, the message centre and the notifications agree on what is.
TEST_F(PushEndpointsTest, MessagesOfPushesAreKeptForTheNewestOnly) {
    const auto signIn = login("zhangwei", "zw123456");
    const std::string engineer = signIn["UserID"];
    const auto unread = std::stoll(signIn["NotReadCount"].get<std::string>());
    const auto seeded = messagesOf(engineer);
    constexpr auto kKept = static_cast<int64_t>(PushEndpoints::kMessagesKeptPerEngineer);
    auto sender = client();
    sender.set_keep_alive(true);
    for (int64_t n = 0; n < kKept + 500; ++n) {
        const auto sent =
            sender.Post("/push/send", cookieHeader(lastSession_), "alert=p" + std::to_string(n),
                        "application/x-www-form-urlencoded");
        ASSERT_EQ(statusOf(sent), 200) << n;
    }

    Database db(server_->dataFile());
    const auto alerts = [&](const std::string& pattern) {
        return db.scalar("SELECT COUNT(*) FROM messages WHERE engineer_id = ? AND content LIKE ?",
                         engineer, pattern);
    };
    EXPECT_EQ(messagesOf(engineer), seeded + kKept);
    EXPECT_EQ(alerts("p%"), kKept);
    EXPECT_EQ(alerts("p499"), 0);
    EXPECT_EQ(alerts("p500"), 1);
    EXPECT_EQ(alerts("p" + std::to_string(kKept + 499)), 1);
    EXPECT_EQ(login("zhangwei", "zw123456")["NotReadCount"], std::to_string(unread + kKept));
    EXPECT_EQ(call("NewsCenter/Index", "UserOrEngineerID=" + engineer)["totalCount"],
              seeded + kKept);
    const auto kept = poll(lastSession_, "wait=0&after=0")["notifications"];
    ASSERT_EQ(kept.size(), PushEndpoints::kKeptPerEngineer);
    for (const auto& n : kept) {
        EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM messages WHERE news_id = ?",
                            n["userInfo"]["NewsID"].get<std::string>()),
                  1);
    }
}

TEST_F(PushEndpointsTest, OnlyEngineersWithAPictureHaveOne) {
    const auto photo = login("zhangwei", "zw123456")["Photo"].get<std::string>();
    const auto picture = client().Get(photo.c_str());
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->status, 200);
    const auto image = CGImage::createWithData(
        {reinterpret_cast<const uint8_t*>(picture->body.data()), picture->body.size()});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), kEngineerPictureSide);
    const CGColor corner = image->pixelAt(2, 2);
    EXPECT_NEAR(corner.b * 255, kEngineerPictureColour.b, 1.5);
    EXPECT_EQ(login("lina", "ln123456")["Photo"], "");
    EXPECT_EQ(statusOf(client().Get("/images/engineers/GC20260002.png")), 404);
}

}  // namespace
}  // namespace devserver::test
