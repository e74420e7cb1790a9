#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

// A TCP listener on an ephemeral loopback port that never accepts, closed on demand or when it
// goes. With a backlog of 0 its accept queue is full after one connection, and later attempts
// hang in SYN_SENT: a peer that never answers.
class LoopbackListener {
  public:
    explicit LoopbackListener(int backlog = 16) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(fd_, backlog), 0);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackListener() { close(); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    std::uint16_t port() const { return port_; }
    std::string hostName() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// Whether some socket of this machine is still trying to connect (SYN_SENT) to the port.
inline bool connectAttemptUnderWay(std::uint16_t port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);  // header
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        const auto colon = remote.find(':');
        if (colon == std::string::npos || state != "02") continue;
        if (std::stoul(remote.substr(colon + 1), nullptr, 16) == port) return true;
    }
    return false;
}

}  // namespace testsupport
