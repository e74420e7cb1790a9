#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "Database.h"
#include "PasswordHash.h"
#include "SeedData.h"
#include "TestSupport.h"

namespace devserver {
namespace {

using test::ChildProcess;
using test::RawConnection;

ChildProcess devserver(std::vector<std::string> args) {
    return ChildProcess(BRISFOLD_DEVSERVER_EXE, std::move(args));
}

nlohmann::json loginAt(int port, const SeedEngineer& engineer) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(10);
    const auto result = client.Post("/api/Engineer/Login",
                                    "UserName=" + std::string(engineer.userName) +
                                        "&PassWord=" + std::string(engineer.password),
                                    "application/x-www-form-urlencoded");
    if (!result) return nlohmann::json::object();
    auto reply = nlohmann::json::parse(result->body, nullptr, false);
    return reply.is_object() ? reply : nlohmann::json::object();
}

TEST(DevServerProcessTest, PrintsThePortFirstServesAndStopsCleanlyOnSigterm) {
    test::TempDir dir;
    const auto data = dir.file("nested") / "data.sqlite";
    auto child = devserver({"--port", "0", "--data", data.string()});
    ASSERT_TRUE(child.started());
    const auto line = child.firstLine();
    ASSERT_TRUE(line);
    const int port = std::stoi(*line);
    EXPECT_GT(port, 0);
    EXPECT_EQ(*line, std::to_string(port));

    const auto reply = loginAt(port, kSeedEngineers[1]);
    EXPECT_EQ(reply["code"], "1");
    EXPECT_EQ(reply["FullName"], kSeedEngineers[1].fullName);
    EXPECT_EQ(child.terminate(), 0);
    EXPECT_TRUE(std::filesystem::exists(data));
}

TEST(DevServerProcessTest, ASecondStartKeepsTheFirstStartsData) {
    test::TempDir dir;
    const auto data = dir.file("data.sqlite").string();
    std::string token;
    {
        auto first = devserver({"--data", data, "--port", "0"});
        const auto line = first.firstLine();
        ASSERT_TRUE(line);
        token = loginAt(std::stoi(*line), kSeedEngineers[0]).value("Token", "");
        EXPECT_EQ(token.size(), 32u);
        EXPECT_EQ(first.terminate(), 0);
    }
    int64_t messages = 0;
    {
        Database db(data);
        messages = db.scalar("SELECT COUNT(*) FROM messages");
        db.run("DELETE FROM messages WHERE news_type_id = 57");
    }
    auto second = devserver({"--data", data});
    const auto line = second.firstLine();
    ASSERT_TRUE(line);
    EXPECT_EQ(loginAt(std::stoi(*line), kSeedEngineers[1]).value("code", ""), "1");
    EXPECT_EQ(second.terminate(), 0);

    Database db(data);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM engineers WHERE token_hash = ?", tokenHash(token)),
              1);
    EXPECT_EQ(
        db.scalar("SELECT COUNT(*) FROM messages"),
        messages - static_cast<int64_t>(kSeedEngineers.size()) * kSeedMessagesPerTypePerEngineer);
}

TEST(DevServerProcessTest, BadArgumentsExitWithUsageAndPrintNothing) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--port", "http"},
                                                 {"--port", "70000"},
                                                 {"--verbose"},
                                                 {"--data"}}) {
        auto child = devserver(args);
        ASSERT_TRUE(child.started());
        EXPECT_FALSE(child.firstLine());
        EXPECT_EQ(child.waitForExit(), 2);
    }
}

TEST(DevServerProcessTest, APortInUseFailsBeforeTheDataFileIsCreated) {
    test::TempDir dir;
    auto first = devserver({"--data", dir.file("first.sqlite").string()});
    const auto line = first.firstLine();
    ASSERT_TRUE(line);

    const auto data = dir.file("second.sqlite");
    auto second = devserver({"--port", *line, "--data", data.string()});
    EXPECT_FALSE(second.firstLine());
    EXPECT_EQ(second.waitForExit(), 1);
    EXPECT_FALSE(std::filesystem::exists(data));
    EXPECT_EQ(first.terminate(), 0);
}

TEST(DevServerProcessTest, SigtermUnderLoadAnswersTheRequestsInFlightThenExits) {
    test::TempDir dir;
    auto child = devserver({"--data", dir.file("data.sqlite").string()});
    const auto line = child.firstLine();
    ASSERT_TRUE(line);
    const int port = std::stoi(*line);

    // More requests in flight than the library's own pool has workers.
    std::vector<std::unique_ptr<RawConnection>> inFlight;
    for (int i = 0; i < 40; ++i) {
        inFlight.push_back(std::make_unique<RawConnection>(port));
        ASSERT_TRUE(inFlight.back()->connected());
        ASSERT_TRUE(inFlight.back()->send("GET /health HTTP/1.1\r\nHost: x\r\n"));
    }
    // Connections are accepted in order: once a later one is answered, all are accepted.
    httplib::Client probe("127.0.0.1", port);
    probe.set_read_timeout(30);
    const auto health = probe.Get("/health");
    ASSERT_TRUE(health);
    ASSERT_EQ(health->status, 200);

    ASSERT_EQ(kill(child.pid(), SIGTERM), 0);
    const auto until = test::Clock::now() + std::chrono::seconds(30);
    int refusal = 0;
    while (refusal != ECONNREFUSED && test::Clock::now() < until) {
        refusal = RawConnection(port).error();
    }
    ASSERT_EQ(refusal, ECONNREFUSED) << "the server kept accepting after SIGTERM";

    for (auto& connection : inFlight) EXPECT_TRUE(connection->send("\r\n"));
    int answered = 0;
    for (auto& connection : inFlight) {
        const auto reply = test::parseReply(connection->readToEnd());
        if (reply.status == 200 && reply.body.find("\"ok\"") != std::string::npos) ++answered;
        connection.reset();
    }
    EXPECT_EQ(answered, 40);
    EXPECT_EQ(child.waitForExit(), 0);
}

TEST(DevServerProcessTest, AServerThatIgnoresSigtermIsKilledAndReaped) {
    test::TempDir dir;
    const auto script = dir.file("stubborn-server");
    {
        std::ofstream out(script);
        // The ignored signal stays ignored across exec: one process that will not stop.
        out << "#!/bin/sh\ntrap '' TERM\necho 1\nexec sleep 600\n";
    }
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    ChildProcess child(script.string(), {});
    ASSERT_TRUE(child.started());
    ASSERT_EQ(child.firstLine(), "1");
    const pid_t pid = child.pid();

    EXPECT_EQ(child.terminate(std::chrono::milliseconds(300)), -1);
    EXPECT_TRUE(child.killed());
    errno = 0;
    EXPECT_EQ(kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH) << "the child is still there";
}

}  // namespace
}  // namespace devserver
