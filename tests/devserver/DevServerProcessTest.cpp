#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/ioctl.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "DevServer.h"
#include "DevServerFixture.h"
#include "RawConnection.h"
#include "TempDir.h"

namespace devserver {
namespace {

using test::RawConnection;
using testsupport::ChildProcess;

ChildProcess devserver(
    std::vector<std::string> args,
    std::string passwordIterations = std::to_string(test::kTestPasswordIterations)) {
    return ChildProcess(test::devServerProgram(std::move(args), std::move(passwordIterations)));
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
    testsupport::TempDir dir;
    for (const char* passwordIterations : {"", "0", "1e3", "600001"}) {
        auto child = devserver({"--data", dir / "data.sqlite"}, passwordIterations);
        EXPECT_FALSE(child.readLine());
        EXPECT_EQ(child.waitForExit(), 2) << passwordIterations;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "data.sqlite"));
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

TEST(DevServerProcessTest, PrintsThePortServesAndOnSigtermAnswersTheRequestsInFlight) {
    testsupport::TempDir dir;
    const auto data = dir.path() / "nested" / "data.sqlite";
    auto child = devserver({"--port", "0", "--data", data.string()});
    const auto line = child.readLine();
    ASSERT_TRUE(line);
    // Signing in through the printed port is checked by the app's own process test.
    const int port = std::stoi(*line);
    EXPECT_EQ(*line, std::to_string(port));

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
    EXPECT_EQ(Database(data).scalar("SELECT MAX(password_iterations) FROM engineers"),
              test::kTestPasswordIterations);
}

// A socket handed down is shared with the process that handed it, which starts the next server
// on it: a server that stops leaves it listening, and what connects meanwhile is answered by
// the next one.
TEST(DevServerProcessTest, ServerThatStopsLeavesAHandedDownSocketListeningForTheNext) {
    testsupport::TempDir dir;
    const int listening = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listening, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listening, SOMAXCONN), 0);
    ASSERT_EQ(getsockname(listening, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const int port = ntohs(address.sin_port);
    const auto stillListens = [listening] {
        int on = 0;
        socklen_t length = sizeof on;
        return getsockopt(listening, SOL_SOCKET, SO_ACCEPTCONN, &on, &length) == 0 && on != 0;
    };

    std::string error;
    auto first = std::make_unique<DevServer>(dir.path() / "d.sqlite", test::testOptions());
    ASSERT_TRUE(first->startOnSocket(dup(listening), &error)) << error;
    EXPECT_EQ(first->port(), port);
    EXPECT_EQ(test::statusOf(httplib::Client("127.0.0.1", port).Get("/health")), 200);
    first.reset();
    EXPECT_TRUE(stillListens());

    auto waiting = std::make_unique<RawConnection>(port);
    ASSERT_TRUE(waiting->connected());
    ASSERT_TRUE(waiting->send("GET /health HTTP/1.1\r\nHost: x\r\n\r\n"));
    auto second = std::make_unique<DevServer>(dir.path() / "d.sqlite", test::testOptions());
    ASSERT_TRUE(second->startOnSocket(dup(listening), &error)) << error;
    EXPECT_EQ(test::parseReply(waiting->readToEnd()).status, 200);
    waiting.reset();
    second.reset();
    EXPECT_TRUE(stillListens());
    close(listening);
}

// With standard error on a pipe nobody reads, the log's last lines cannot go out: the stop waits
// for them a moment, then ends.
TEST(DevServerProcessTest, StopsThoughNobodyReadsItsStandardError) {
    testsupport::TempDir dir;
    int pipe[2];
    ASSERT_EQ(pipe2(pipe, O_CLOEXEC), 0);
    auto options = test::devServerProgram({"--data", dir / "data.sqlite"});
    options.stderrFd = pipe[1];
    ChildProcess child(options);
    const auto line = child.readLine();
    ASSERT_TRUE(line);
    const std::string started = "brisfold-devserver: " + (dir / "data.sqlite") +
                                " on http://127.0.0.1:" + *line + "/api/\n";
    ASSERT_TRUE(testsupport::waitUntil([&] {
        int held = 0;
        return ioctl(pipe[0], FIONREAD, &held) == 0 && held == static_cast<int>(started.size());
    }));
    // Filled to the brim through a description of its own, so that the child's stays blocking.
    const int filler = open(("/proc/self/fd/" + std::to_string(pipe[1])).c_str(),
                            O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(filler, 0);
    for (const size_t chunk : {4096, 1})
        while (write(filler, std::string(chunk, '.').data(), chunk) > 0) {
        }
    close(filler);
    close(pipe[1]);

    httplib::Client client("127.0.0.1", std::stoi(*line));
    client.set_read_timeout(20);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(test::statusOf(client.Get("/v3/config/resource?n=" + std::to_string(i))), 200);
    ASSERT_EQ(kill(child.pid(), SIGTERM), 0);
    EXPECT_EQ(child.waitForExit(10), 0) << testsupport::threadStates(child.pid());
    close(pipe[0]);
}

// Voluntary context switches of every thread of the process so far.
long voluntarySwitches(pid_t pid) {
    long sum = 0;
    constexpr std::string_view kKey = "voluntary_ctxt_switches:";
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind(kKey, 0) == 0) sum += std::stol(line.substr(kKey.size()));
    }
    return sum;
}

TEST(DevServerProcessTest, ARequestWakesOneWorker) {
    testsupport::TempDir dir;
    auto child = devserver({"--data", dir / "data.sqlite"});
    const auto line = child.readLine();
    ASSERT_TRUE(line);
    httplib::Client client("127.0.0.1", std::stoi(*line));
    client.set_read_timeout(20);
    ASSERT_EQ(test::statusOf(client.Get("/health")), 200);

    constexpr int kRequests = 50;
    const long before = voluntarySwitches(child.pid());
    for (int i = 0; i < kRequests; ++i) ASSERT_EQ(test::statusOf(client.Get("/health")), 200);
    const long perRequest = (voluntarySwitches(child.pid()) - before) / kRequests;
    // A request passes the accept loop, the event loop and one worker: a handful of switches.
    // Waking every idle worker for it would take at least one for each of the 64.
    EXPECT_LT(perRequest, 16);
    EXPECT_EQ(child.stop(), 0);
}

}  // namespace
}  // namespace devserver
