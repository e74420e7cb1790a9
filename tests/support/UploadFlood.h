#pragma once

// Clients that send bodies to the devserver's log upload as fast as it takes them, from a process
// of their own, and sign-ins timed beside them: what the devserver's flood tests and its sign-in
// benchmark share. Needs cpp-httplib.

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ChildProcess.h"

namespace testsupport {

// Connections of one kind that send their bodies to the log upload as fast as the server takes
// them, each connecting again as soon as the server has answered or closed it. The kind "chunked"
// sends a chunk size line whose extension never ends; "sized" sends 1 MiB bodies.
struct UploadFloodKind {
    const char* name;
    size_t clients;
};
inline constexpr UploadFloodKind kUploadFloods[] = {{"chunked", 800}, {"sized", 1600}};

class UploadFlood {
  public:
    UploadFlood(int port, bool chunked, size_t clients)
        : port_(port),
          head_(std::string(kHead) +
                (chunked ? "Transfer-Encoding: chunked\r\n\r\n1;"
                         : "Content-Length: " + std::to_string(kSizedBody) + "\r\n\r\n")),
          length_(chunked ? SIZE_MAX : head_.size() + kSizedBody),
          epoll_(epoll_create1(EPOLL_CLOEXEC)),
          sent_(clients, 0),
          fds_(clients, -1) {
        for (size_t i = 0; i < clients; ++i) connect(i);
    }

    [[noreturn]] void run() {
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
    static constexpr const char* kHead =
        "POST /ws/log/upload?product=1&type=1&platform=2&channel=open&sign=x HTTP/1.1\r\n"
        "Host: x\r\nContent-Type: application/gzip\r\n";
    static constexpr size_t kSizedBody = 1024 * 1024;

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

inline constexpr const char* kUploadFloodPort = "BRISFOLD_FLOOD_PORT";
inline constexpr const char* kUploadFloodKind = "BRISFOLD_FLOOD_KIND";
inline constexpr const char* kUploadFloodClients = "BRISFOLD_FLOOD_CLIENTS";

// In the flood's own process: floods as its environment says until it is ended; returns only
// when the environment asks for no flood. Its descriptor limit must already be raised.
inline void floodAsAsked() {
    const char* port = std::getenv(kUploadFloodPort);
    const char* kind = std::getenv(kUploadFloodKind);
    const char* clients = std::getenv(kUploadFloodClients);
    if (!port || !kind || !clients) return;
    UploadFlood flood(std::stoi(port), std::string_view(kind) == "chunked", std::stoul(clients));
    std::printf("flooding\n");
    std::fflush(stdout);
    flood.run();
}

// The program `self` (this one, with the arguments that bring it to floodAsAsked()) flooding the
// port; nothing when it did not start flooding.
inline std::unique_ptr<ChildProcess> startUploadFlood(std::vector<std::string> self, int port,
                                                      const UploadFloodKind& kind) {
    ChildProcess::Options child;
    child.args = std::move(self);
    child.env = {{kUploadFloodPort, std::to_string(port)},
                 {kUploadFloodKind, kind.name},
                 {kUploadFloodClients, std::to_string(kind.clients)}};
    auto flood = std::make_unique<ChildProcess>(child);
    for (std::optional<std::string> line; (line = flood->readLine());)
        if (*line == "flooding") return flood;
    return nullptr;
}

// What became of one sign-in: its status (0 when the connection closed or the deadline passed
// without an answer), what the client library says went wrong, and its seconds.
struct TimedSignIn {
    int status = 0;
    std::string error;
    std::string body;
    double seconds = 0;
};

inline TimedSignIn timedSignIn(int port, std::string_view user, std::string_view password,
                               std::chrono::seconds deadline) {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(deadline);
    client.set_read_timeout(deadline);
    client.set_write_timeout(deadline);
    const auto started = std::chrono::steady_clock::now();
    const auto result =
        client.Post("/api/Engineer/Login",
                    "UserName=" + std::string(user) + "&PassWord=" + std::string(password),
                    "application/x-www-form-urlencoded");
    TimedSignIn signIn;
    signIn.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!result) {
        signIn.error = httplib::to_string(result.error());
        return signIn;
    }
    signIn.status = result->status;
    signIn.body = result->body;
    return signIn;
}

}  // namespace testsupport
