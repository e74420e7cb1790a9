#pragma once

#include <httplib.h>

#include <string>
#include <string_view>
#include <thread>

#include "Gate.h"

namespace testsupport {

// An HTTP server on an ephemeral 127.0.0.1 port for the life of the object, answering as the
// test scripts it: register handlers on server() before requests are sent. Handlers that must
// stall (time-outs, cancels) call waitAtGate(), which returns when the test calls releaseGate()
// or the server goes away.
class TestHTTPServer {
  public:
    TestHTTPServer();
    ~TestHTTPServer();
    TestHTTPServer(const TestHTTPServer&) = delete;
    TestHTTPServer& operator=(const TestHTTPServer&) = delete;

    httplib::Server& server() { return server_; }
    int port() const { return port_; }
    std::string url(std::string_view path) const;

    void waitAtGate() { gate_.pass(); }
    void releaseGate() { gate_.open(); }
    void admitAtGate(std::size_t n) { gate_.admit(n); }
    int waitingAtGate() { return static_cast<int>(gate_.waiting()); }

  private:
    httplib::Server server_;
    socket_t listenSocket_ = -1;
    int port_ = 0;
    std::thread thread_;
    Gate gate_;
};

}  // namespace testsupport
