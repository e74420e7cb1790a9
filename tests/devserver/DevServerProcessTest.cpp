#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Database.h"
#include "PasswordHash.h"
#include "RawConnection.h"
#include "SeedData.h"
#include "TempDir.h"

namespace devserver {
namespace {

using test::RawConnection;
using testsupport::ChildProcess;

ChildProcess devserver(std::vector<std::string> args) {
    args.insert(args.begin(), BRISFOLD_DEVSERVER_EXE);
    return ChildProcess(std::move(args));
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
    testsupport::TempDir dir;
    const auto data = dir.path() / "nested" / "data.sqlite";
    auto child = devserver({"--port", "0", "--data", data.string()});
    ASSERT_TRUE(child.started());
    const auto line = child.readLine();
    ASSERT_TRUE(line);
    const int port = std::stoi(*line);
    EXPECT_GT(port, 0);
    EXPECT_EQ(*line, std::to_string(port));

    const auto reply = loginAt(port, kSeedEngineers[1]);
    EXPECT_EQ(reply["code"], "1");
    EXPECT_EQ(reply["FullName"], kSeedEngineers[1].fullName);
    EXPECT_EQ(child.stop(), 0);
    EXPECT_TRUE(std::filesystem::exists(data));
}

TEST(DevServerProcessTest, SecondStartKeepsTheFirstStartsData) {
    testsupport::TempDir dir;
    const auto data = dir / "data.sqlite";
    std::string token;
    {
        auto first = devserver({"--data", data, "--port", "0"});
        const auto line = first.readLine();
        ASSERT_TRUE(line);
        token = loginAt(std::stoi(*line), kSeedEngineers[0]).value("Token", "");
        EXPECT_EQ(token.size(), 32u);
        EXPECT_EQ(first.stop(), 0);
    }
    int64_t messages = 0;
    {
        Database db(data);
        messages = db.scalar("SELECT COUNT(*) FROM messages");
        db.run("DELETE FROM messages WHERE news_type_id = 57");
    }
    auto second = devserver({"--data", data});
    const auto line = second.readLine();
    ASSERT_TRUE(line);
    EXPECT_EQ(loginAt(std::stoi(*line), kSeedEngineers[1]).value("code", ""), "1");
    EXPECT_EQ(second.stop(), 0);

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
                                                 {"--listen-fd", "x"},
                                                 {"--listen-fd", "0", "--port", "80"},
                                                 {"--data"}}) {
        auto child = devserver(args);
        ASSERT_TRUE(child.started());
        EXPECT_FALSE(child.readLine());
        EXPECT_EQ(child.waitForExit(), 2);
    }
}

TEST(DevServerProcessTest, PortInUseFailsBeforeTheDataFileIsCreated) {
    testsupport::TempDir dir;
    auto first = devserver({"--data", dir / "first.sqlite"});
    const auto line = first.readLine();
    ASSERT_TRUE(line);

    const auto data = dir.path() / "second.sqlite";
    auto second = devserver({"--port", *line, "--data", data.string()});
    EXPECT_FALSE(second.readLine());
    EXPECT_EQ(second.waitForExit(), 1);
    EXPECT_FALSE(std::filesystem::exists(data));
    EXPECT_EQ(first.stop(), 0);
}

TEST(DevServerProcessTest, SigtermUnderLoadAnswersTheRequestsInFlightThenExits) {
    testsupport::TempDir dir;
    auto child = devserver({"--data", dir / "data.sqlite"});
    const auto line = child.readLine();
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
    ASSERT_TRUE(test::refusesConnections(port)) << "the server kept accepting after SIGTERM";

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

TEST(DevServerProcessTest, ServerThatIgnoresSigtermIsKilledAndReaped) {
    testsupport::TempDir dir;
    const auto script = dir.path() / "stubborn-server";
    {
        std::ofstream out(script);
        // The ignored signal stays ignored across exec: one process that will not stop.
        out << "#!/bin/sh\ntrap '' TERM\necho 1\nexec sleep 600\n";
    }
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    ChildProcess child({script.string()});
    ASSERT_TRUE(child.started());
    ASSERT_EQ(child.readLine(), "1");
    const pid_t pid = child.pid();

    EXPECT_EQ(child.stop(0.3), 128 + SIGKILL);
    EXPECT_TRUE(child.killed());
    EXPECT_TRUE(testsupport::processIsGone(pid)) << "the child is still there";
}

}  // namespace
}  // namespace devserver
