#include "TestHTTPServer.h"

#include <sys/socket.h>

#include "Deadline.h"

namespace testsupport {

TestHTTPServer::TestHTTPServer() {
    // Enough workers that stalled handlers never starve the others.
    server_.new_task_queue = [] { return new httplib::ThreadPool(64); };
    // An idle kept-alive connection would hold stop() up for the keep-alive time-out.
    server_.set_keep_alive_max_count(1);
    server_.set_socket_options([this](socket_t sock) {
        httplib::default_socket_options(sock);
        listenSocket_ = sock;
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    // The library listens with a backlog of 5; a burst of clients beyond it would wait for their
    // connect retries (a second or more), so make room for them.
    ::listen(listenSocket_, 128);
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // stop() reaches only a server that is already listening.
    waitUntil([this] { return server_.is_running(); });
}

TestHTTPServer::~TestHTTPServer() {
    releaseGate();
    server_.stop();
    thread_.join();
}

std::string TestHTTPServer::url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

}  // namespace testsupport
