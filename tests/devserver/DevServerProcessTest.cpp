#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "Database.h"
#include "PasswordHash.h"
#include "SeedData.h"
#include "TestSupport.h"

extern char** environ;

namespace devserver {
namespace {

// brisfold-devserver run as a child with its stdout on a pipe.
class ChildServer {
  public:
    explicit ChildServer(std::vector<std::string> args) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        out_ = fds[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        args.insert(args.begin(), BRISFOLD_DEVSERVER_EXE);
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, BRISFOLD_DEVSERVER_EXE, &actions, nullptr, argv.data(), environ) !=
            0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
    }

    ~ChildServer() {
        if (pid_ > 0) terminate();
        if (out_ >= 0) close(out_);
    }

    ChildServer(const ChildServer&) = delete;
    ChildServer& operator=(const ChildServer&) = delete;

    // The first line of stdout, or nothing when the child ends or the deadline passes first.
    std::optional<std::string> firstLine() {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd fd{out_, POLLIN, 0};
            if (poll(&fd, 1, 1000) <= 0) continue;
            char c = 0;
            if (read(out_, &c, 1) != 1) return std::nullopt;
            if (c == '\n') return line;
            line += c;
        }
        return std::nullopt;
    }

    // Sends SIGTERM and returns the exit status (-1 when it did not exit normally).
    int terminate() {
        kill(pid_, SIGTERM);
        return waitForExit();
    }

    int waitForExit() {
        int status = 0;
        const pid_t pid = std::exchange(pid_, -1);
        if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    bool started() const { return pid_ > 0; }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
};

nlohmann::json loginAt(int port, const SeedEngineer& engineer) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(10);
    const auto result = client.Post("/api/Engineer/Login",
                                    "UserName=" + std::string(engineer.userName) +
                                        "&PassWord=" + std::string(engineer.password),
                                    "application/x-www-form-urlencoded");
    if (!result) return nullptr;
    return nlohmann::json::parse(result->body, nullptr, false);
}

TEST(DevServerProcessTest, PrintsThePortFirstServesAndStopsCleanlyOnSigterm) {
    test::TempDir dir;
    const auto data = dir.file("nested") / "data.sqlite";
    ChildServer child({"--port", "0", "--data", data.string()});
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
        ChildServer first({"--data", data, "--port", "0"});
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
    ChildServer second({"--data", data});
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
        ChildServer child(args);
        ASSERT_TRUE(child.started());
        EXPECT_FALSE(child.firstLine());
        EXPECT_EQ(child.waitForExit(), 2);
    }
}

}  // namespace
}  // namespace devserver
