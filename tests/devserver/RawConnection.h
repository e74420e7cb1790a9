#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "Deadline.h"

namespace devserver::test {

// The body framed in chunks of chunkSize bytes, without the last chunk: a test that wants the
// body to end adds "0\r\n\r\n".
inline std::string chunked(std::string_view body, size_t chunkSize) {
    std::string out;
    char size[32];
    for (size_t at = 0; at < body.size(); at += chunkSize) {
        const auto chunk = body.substr(at, chunkSize);
        std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
        out += size;
        out += chunk;
        out += "\r\n";
    }
    return out;
}

// A raw TCP connection to 127.0.0.1, for requests no HTTP client library would send.
class RawConnection {
  public:
    // With `receiveBufferBytes`, the client's kernel holds that much of what the server sends:
    // what a slow reader takes then opens its window at once, where a large buffer frees it in
    // blocks of up to hundreds of KB (as on loopback they arrive merged), leaving the server
    // without a sign of it for as long as the reader takes to read a block.
    explicit RawConnection(int port, int receiveBufferBytes = 0) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return;
        if (receiveBufferBytes > 0)
            setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            error_ = errno;
            close(fd_);
            fd_ = -1;
        }
    }
    ~RawConnection() {
        if (fd_ >= 0) close(fd_);
    }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool connected() const { return fd_ >= 0; }
    // errno of a connect that failed.
    int error() const { return error_; }

    bool send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR) continue;
            if (sent <= 0) return false;
            bytes.remove_prefix(static_cast<size_t>(sent));
        }
        return true;
    }

    // Says that nothing more will be sent; the connection still reads what the server answers.
    bool shutSending() { return ::shutdown(fd_, SHUT_WR) == 0; }

    // True when the server has sent something or closed the connection.
    bool heardFrom() const {
        pollfd fd{fd_, POLLIN, 0};
        return poll(&fd, 1, 0) > 0;
    }

    // The reply's status line and headers, as soon as they are in (or all the server sent
    // before it closed); nothing when the deadline passes first.
    std::optional<std::string> readHead(CFTimeInterval seconds = testsupport::kPatience) {
        std::string text;
        const CFTimeInterval deadline = Clock::realNow() + seconds;
        char byte;
        while (text.find("\r\n\r\n") == std::string::npos) {
            const double left = deadline - Clock::realNow();
            if (left <= 0) return std::nullopt;
            pollfd fd{fd_, POLLIN, 0};
            if (poll(&fd, 1, static_cast<int>(std::ceil(left * 1000))) <= 0) continue;
            // A byte at a time: what follows the head stays for the caller.
            if (recv(fd_, &byte, 1, 0) <= 0) break;
            text += byte;
        }
        return text;
    }

    // Takes up to `most` bytes of what the server has sent so far, waiting for none; the count.
    size_t takeSome(size_t most) {
        std::string buffer(most, '\0');
        const ssize_t got = recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
        return got > 0 ? static_cast<size_t>(got) : 0;
    }

    // What the server sends until it closes its side, or nothing when the deadline passes. With
    // `bytesPerSecond`, read no faster than that, as a slow link reads.
    std::optional<std::string> readToEnd(CFTimeInterval seconds = testsupport::kPatience,
                                         size_t bytesPerSecond = 0) {
        std::string text;
        const CFTimeInterval started = Clock::realNow();
        const CFTimeInterval deadline = started + seconds;
        char buffer[4096];
        for (;;) {
            const double now = Clock::realNow();
            const double left = deadline - now;
            if (left <= 0) return std::nullopt;
            size_t most = sizeof buffer;
            if (bytesPerSecond > 0) {
                const double allowed = (now - started) * static_cast<double>(bytesPerSecond);
                most = std::min(most, static_cast<size_t>(std::max(0.0, allowed - text.size())));
                if (most < sizeof buffer) {
                    // The pace is the behaviour here, not a wait for a condition.
                    poll(nullptr, 0,
                         1 + static_cast<int>(1000 * (sizeof buffer - most) / bytesPerSecond));
                    continue;
                }
            }
            pollfd fd{fd_, POLLIN, 0};
            if (poll(&fd, 1, static_cast<int>(std::ceil(left * 1000))) <= 0) continue;
            const ssize_t got = recv(fd_, buffer, most, 0);
            if (got <= 0) return text;
            text.append(buffer, static_cast<size_t>(got));
        }
    }

  private:
    int fd_ = -1;
    int error_ = 0;
};

// Raises the soft limit of open descriptors to the hard one (a server or a child started
// afterwards inherits it); true when that leaves room for `needed`.
inline bool raiseDescriptorLimit(rlim_t needed) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
    limit.rlim_cur = limit.rlim_max;
    return setrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= needed;
}

// True once a new connection to the port is refused: the server has stopped accepting.
inline bool refusesConnections(int port) {
    return testsupport::waitUntil([port] { return RawConnection(port).error() == ECONNREFUSED; });
}

struct RawReply {
    int status = 0;
    std::string head;
    std::string body;
};

// Status, head and body of one HTTP/1.1 reply; status 0 when there is none.
inline RawReply parseReply(const std::optional<std::string>& text) {
    RawReply reply;
    if (!text || text->rfind("HTTP/1.1 ", 0) != 0 || text->size() < 12) return reply;
    reply.status = std::atoi(text->c_str() + 9);
    const size_t end = text->find("\r\n\r\n");
    reply.head = text->substr(0, end);
    if (end != std::string::npos) reply.body = text->substr(end + 4);
    return reply;
}

}  // namespace devserver::test
