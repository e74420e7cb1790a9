#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "DevServerFixture.h"
#include "RawConnection.h"
#include "SeedData.h"

namespace devserver::test {
namespace {

// What the flood sends: the head, then a body that each kind sends as fast as the server takes it.
const std::string kUploadHead =
    "POST /ws/log/upload?product=1&type=1&platform=2&channel=open&sign=x HTTP/1.1\r\n"
    "Host: x\r\nContent-Type: application/gzip\r\n";
constexpr size_t kSizedBody = 1024 * 1024;

// Connections of one kind that send their bodies to the log upload as fast as the server takes
// them, each connecting again as soon as the server has answered or closed it. The kind "chunked"
// sends a chunk size line whose extension never ends; "sized" sends 1 MiB bodies.
class UploadFlood {
  public:
    UploadFlood(int port, bool chunked, size_t clients)
        : port_(port),
          head_(kUploadHead + (chunked
                                   ? "Transfer-Encoding: chunked\r\n\r\n1;"
                                   : "Content-Length: " + std::to_string(kSizedBody) + "\r\n\r\n")),
          length_(chunked ? SIZE_MAX : head_.size() + kSizedBody),
          epoll_(epoll_create1(EPOLL_CLOEXEC)),
          sent_(clients, 0),
          fds_(clients, -1) {
        for (size_t i = 0; i < clients; ++i) connect(i);
    }

    void run() {
        std::vector<epoll_event> events(512);
        const std::string filler(64 * 1024, 'x');
        char dropped[4096];
        for (;;) {
            const int count =
                epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), -1);
            for (int e = 0; e < count; ++e) {
                const size_t i = events[static_cast<size_t>(e)].data.u64;
                const int fd = fds_[i];
                if ((events[static_cast<size_t>(e)].events & ~EPOLLOUT) != 0) {
                    // An answer, an end or an error: the server is done with this request.
                    const ssize_t got = recv(fd, dropped, sizeof dropped, MSG_DONTWAIT);
                    if (got >= 0 || errno != EAGAIN) {
                        connect(i);
                        continue;
                    }
                }
                const std::string_view piece =
                    sent_[i] < head_.size() ? std::string_view(head_).substr(sent_[i])
                                            : std::string_view(filler).substr(
                                                  0, std::min(filler.size(), length_ - sent_[i]));
                const ssize_t sent = send(fd, piece.data(), piece.size(), MSG_NOSIGNAL);
                if (sent > 0) sent_[i] += static_cast<size_t>(sent);
                if (sent_[i] == length_) watch(i, EPOLLIN, EPOLL_CTL_MOD);
            }
        }
    }

  private:
    void connect(size_t i) {
        if (fds_[i] >= 0) close(fds_[i]);
        sent_[i] = 0;
        fds_[i] = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fds_[i], reinterpret_cast<sockaddr*>(&address), sizeof address);
        watch(i, EPOLLIN | EPOLLOUT | EPOLLRDHUP, EPOLL_CTL_ADD);
    }

    void watch(size_t i, uint32_t events, int operation) {
        epoll_event event{};
        event.events = events;
        event.data.u64 = i;
        epoll_ctl(epoll_, operation, fds_[i], &event);
    }

    const int port_;
    const std::string head_;
    const size_t length_;
    const int epoll_;
    std::vector<size_t> sent_;
    std::vector<int> fds_;
};

// Run by BodyFloodTest in a process of its own, until it is ended.
TEST(BodyFloodChild, DISABLED_Floods) {
    const char* port = std::getenv("BRISFOLD_FLOOD_PORT");
    const char* kind = std::getenv("BRISFOLD_FLOOD_KIND");
    const char* clients = std::getenv("BRISFOLD_FLOOD_CLIENTS");
    ASSERT_TRUE(port && kind && clients);
    ASSERT_TRUE(raiseDescriptorLimit(std::stoul(clients) + 64));
    UploadFlood flood(std::stoi(port), std::string(kind) == "chunked", std::stoul(clients));
    std::printf("flooding\n");
    std::fflush(stdout);
    flood.run();
}

class BodyFloodTest : public DevServerFixture {};

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Sign-ins that take as long as they do for the app.
constexpr int kSignIns = 10;
constexpr int kSignInIterations = kPasswordIterations;
#else
// The sanitizers slow the flood and the server, not the sign-in's hashing: what a bound would
// measure there is the instrumentation. Sign-ins must still be answered.
constexpr int kSignIns = 2;
constexpr int kSignInIterations = kTestPasswordIterations;
#endif

// Clients that send bodies as fast as they can, from a process of their own, leave a sign-in
// prompt: its 95th percentile within the bound.
TEST_F(BodyFloodTest, SignInStaysPromptBesideBodiesSentAtFullSpeed) {
    struct Case {
        const char* kind;
        size_t clients;
        double p95;
    };
    const Case cases[] = {{"chunked", 800, 1.0}, {"sized", 1600, 0.75}};
    ASSERT_TRUE(raiseDescriptorLimit(2 * 1600 + 256));
    // Its connection bound follows the limit it starts with, and its accounts are seeded anew.
    auto options = testOptions();
    options.passwordIterations = kSignInIterations;
    // Each refused upload is logged.
    options.log = [](const std::string&) {};
    server_->stop();
    std::filesystem::remove_all(server_->dataFile().parent_path());
    restart(options);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        testsupport::ChildProcess::Options child;
        child.args = {"/proc/self/exe", "--gtest_also_run_disabled_tests",
                      "--gtest_filter=BodyFloodChild.DISABLED_Floods"};
        child.env = {{"BRISFOLD_FLOOD_PORT", std::to_string(server_->port())},
                     {"BRISFOLD_FLOOD_KIND", c.kind},
                     {"BRISFOLD_FLOOD_CLIENTS", std::to_string(c.clients)}};
        testsupport::ChildProcess flood(child);
        std::optional<std::string> line;
        while ((line = flood.readLine()) && *line != "flooding") {
        }
        ASSERT_TRUE(line) << "the flood did not start";
        std::vector<double> seconds;
        for (int i = 0; i < kSignIns; ++i) {
            const auto started = std::chrono::steady_clock::now();
            EXPECT_EQ(login(kSeedEngineers[1].userName, kSeedEngineers[1].password)["code"], "1");
            seconds.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        // Between the two slowest, as a percentile of ten is read.
        std::sort(seconds.begin(), seconds.end());
        const double p95 = seconds[8] + 0.55 * (seconds[9] - seconds[8]);
        EXPECT_LT(p95, c.p95) << "median " << (seconds[4] + seconds[5]) / 2 << " s";
#endif
        flood.stop();
    }
}

}  // namespace
}  // namespace devserver::test
