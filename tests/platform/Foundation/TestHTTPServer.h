#pragma once

#include <httplib.h>
#include <sys/socket.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "SpinUntil.h"

// An HTTP server on an ephemeral 127.0.0.1 port for the life of the object. Register handlers
// on server() before requests are sent. Handlers that must stall (time-outs, cancels) call
// waitAtGate(), which returns when the test calls releaseGate() or the server goes away.
class TestHTTPServer {
  public:
    TestHTTPServer() {
        // Enough workers that stalled handlers never starve the others.
        server_.new_task_queue = [] { return new httplib::ThreadPool(64); };
        // An idle kept-alive connection would hold stop() up for the keep-alive time-out.
        server_.set_keep_alive_max_count(1);
        server_.set_socket_options([this](socket_t sock) {
            httplib::default_socket_options(sock);
            listenSocket_ = sock;
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        // The library listens with a backlog of 5; a burst of clients beyond it would wait for
        // their connect retries (a second or more), so make room for them.
        ::listen(listenSocket_, 128);
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() does nothing before the accept loop runs: a test that sent nothing would hang
        // in the destructor.
        spinUntil([this] { return server_.is_running(); });
    }
    ~TestHTTPServer() {
        releaseGate();
        server_.stop();
        thread_.join();
    }
    TestHTTPServer(const TestHTTPServer&) = delete;
    TestHTTPServer& operator=(const TestHTTPServer&) = delete;

    httplib::Server& server() { return server_; }
    int port() const { return port_; }
    std::string url(std::string_view path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
    }

    void waitAtGate() {
        std::unique_lock lock(mutex_);
        ++waiting_;
        gate_.wait(lock, [this] { return released_; });
        --waiting_;
    }
    void releaseGate() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        gate_.notify_all();
    }
    int waitingAtGate() {
        std::lock_guard lock(mutex_);
        return waiting_;
    }

  private:
    httplib::Server server_;
    socket_t listenSocket_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable gate_;
    bool released_ = false;
    int waiting_ = 0;
};
