// The workers: each processes a request that has arrived, parks it when the park hook asks, and
// sends what the socket takes of its reply at once, leaving the rest to the event loop.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <cerrno>
#include <climits>
#include <exception>
#include <utility>

#include "HttpConnection.h"

namespace devserver {

namespace {

using Clock = HttpServer::Clock;

// Descriptors the process keeps for itself beyond its connections (data files, logs, the
// loop's own), and connections accepted beyond the bound before the loop has made room.
constexpr size_t kReservedDescriptors = 128;
constexpr size_t kAcceptedBeyondBound = 32;

// The process's limit of open descriptors, less what it keeps for itself, bounds connections.
size_t connectionBound(size_t wanted) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return wanted;
    const size_t descriptors = static_cast<size_t>(limit.rlim_cur);
    const size_t room = descriptors > 2 * kReservedDescriptors ? descriptors - kReservedDescriptors
                                                               : descriptors / 2;
    return std::max<size_t>(std::min(wanted, room), 1);
}

void addressOf(const sockaddr_storage& address, std::string& ip, int& port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    }
    ip = text;
}

thread_local HttpServer::Parking tParking = HttpServer::Parking::None;
// What the park hook threw for the request the calling thread processes.
thread_local std::exception_ptr tHookError;

// One request to a worker: what the loop gathered of it, and no more. A worker never waits for
// a client's bytes: a body the loop did not gather (one declared larger than its path takes)
// ends where the gathered bytes end, and its handler refuses it from its declared length. What
// the library writes goes to the connection's reply, which the worker then sends as far as the
// socket takes it at once, and the event loop the rest.
class RequestStream final : public httplib::Stream {
  public:
    RequestStream(const HttpServer&, HttpServer::Connection& connection)
        : connection_(connection) {}

    bool is_readable() const override { return offset_ < connection_.bytes.size(); }

    bool is_writable() const override { return true; }

    ssize_t read(char* ptr, size_t size) override {
        const size_t count = std::min(size, connection_.bytes.size() - offset_);
        std::copy_n(connection_.bytes.data() + offset_, count, ptr);
        offset_ += count;
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char* ptr, size_t size) override {
        // The loop told a client that expects it to go on with a body it gathers; for one it does
        // not gather, going on would only send what no one reads.
        constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
        if (!wrote_ && std::string_view(ptr, size) == kContinue) {
            wrote_ = true;
            return static_cast<ssize_t>(size);
        }
        wrote_ = true;
        connection_.reply.written.append(ptr, size);
        return static_cast<ssize_t>(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getpeername(connection_.fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            addressOf(address, ip, port);
        }
    }

    void get_local_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getsockname(connection_.fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            addressOf(address, ip, port);
        }
    }

    socket_t socket() const override { return connection_.fd; }

  private:
    HttpServer::Connection& connection_;
    size_t offset_ = 0;
    bool wrote_ = false;
};

}  // namespace

// The library's task queue runs each accepted connection at once on its accept loop: the
// connection goes to the event loop, and the queue's end drains the server.
class HttpServer::AcceptedQueue final : public httplib::TaskQueue {
  public:
    explicit AcceptedQueue(HttpServer& server) : server_(server) {}
    void enqueue(std::function<void()> fn) override { fn(); }
    void shutdown() override { server_.finishThreads(); }

  private:
    HttpServer& server_;
};

httplib::TaskQueue* HttpServer::newAcceptedQueue() {
    startThreads();
    return new AcceptedQueue(*this);
}

class HttpServer::ConnectionParker final : public HttpServer::Parker {
  public:
    ConnectionParker(HttpServer& server, std::unique_ptr<Connection>& connection)
        : server_(server), connection_(connection) {}

    bool park(const std::string& key, Clock::time_point until) override {
        if (!connection_) return true;
        {
            std::lock_guard lock(server_.queueMutex_);
            // A server that stops answers what waits at once.
            if (server_.draining_ || server_.stopping()) {
                connection_->parking = Parking::Woken;
                return true;
            }
            auto& forKey = server_.parkedPerKey_[key];
            if (forKey >= server_.limits_.parkedPerKey ||
                server_.parkedInAll_ >= server_.limits_.parkedInAll) {
                if (forKey == 0) server_.parkedPerKey_.erase(key);
                connection_->parking = Parking::Refused;
                return false;
            }
            ++forKey;
            ++server_.parkedInAll_;
            connection_->state = Connection::Parked;
            connection_->parkKey = key;
            connection_->parkedUntil = until;
            --server_.outside_;
            server_.commands_.push_back({std::move(connection_), {}});
        }
        server_.signalLoop();
        return true;
    }

  private:
    HttpServer& server_;
    std::unique_ptr<Connection>& connection_;
};

void HttpServer::wake(const std::string& key) {
    {
        std::lock_guard lock(queueMutex_);
        if (!parkedPerKey_.contains(key)) return;
        commands_.push_back({nullptr, key});
    }
    signalLoop();
}

size_t HttpServer::parked() const {
    std::lock_guard lock(queueMutex_);
    return parkedInAll_;
}

HttpServer::Parking HttpServer::parking() { return tParking; }

HttpServer& HttpServer::set_pre_routing_handler(HandlerWithResponse handler) {
    httplib::Server::set_pre_routing_handler(
        [handler = std::move(handler)](const httplib::Request& request,
                                       httplib::Response& response) {
            if (tHookError) std::rethrow_exception(std::exchange(tHookError, nullptr));
            return handler ? handler(request, response) : HandlerResponse::Unhandled;
        });
    return *this;
}

bool HttpServer::process_and_close_socket(socket_t sock) {
    // The loop closes the oldest connections still arriving to stay within the bound; one that
    // cannot keep up with a flood of new ones sees those refused.
    const int flags = fcntl(sock, F_GETFL);
    if (flags < 0 || fcntl(sock, F_SETFL, flags | O_NONBLOCK) != 0 ||
        connectionsOpen_.load(std::memory_order_relaxed) >=
            maxConnections_ + kAcceptedBeyondBound) {
        ::close(sock);
        return false;
    }
    if (limits_.sendBufferBytes > 0) {
        const int bytes = static_cast<int>(std::min<size_t>(limits_.sendBufferBytes, INT_MAX));
        setsockopt(sock, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
    }
    auto connection = std::make_unique<Connection>(sock, limits_, connectionsOpen_);
    connection->bound = limits_.maxHeadBytes;
    toLoop(std::move(connection));
    return true;
}

void HttpServer::startThreads() {
    maxConnections_ = connectionBound(limits_.maxConnections);
    loop_ = std::thread([this] { runLoop(); });
    for (size_t i = 0; i < std::max<size_t>(limits_.workers, 1); ++i)
        workers_.emplace_back([this] { workerLoop(); });
}

void HttpServer::finishThreads() {
    {
        std::lock_guard lock(queueMutex_);
        draining_ = true;
    }
    signalLoop();
    if (loop_.joinable()) loop_.join();
    {
        std::lock_guard lock(queueMutex_);
        workersEnd_ = true;
    }
    readyChanged_.notify_all();
    for (auto& worker : workers_) worker.join();
    workers_.clear();
}

void HttpServer::workerLoop() {
    for (;;) {
        std::unique_ptr<Connection> connection;
        {
            std::unique_lock lock(queueMutex_);
            readyChanged_.wait(lock, [this] { return !ready_.empty() || workersEnd_; });
            if (ready_.empty()) return;
            connection = std::move(ready_.front());
            ready_.pop_front();
        }
        serve(std::move(connection));
    }
}

void HttpServer::serve(std::unique_ptr<Connection> connection) {
    std::exception_ptr hookError;
    if (parkHook_ && connection->parking == Parking::None && connection->headEnd > 0) {
        if (const auto head =
                parsedHead(std::string_view(connection->bytes).substr(0, connection->headEnd))) {
            ConnectionParker parker(*this, connection);
            try {
                parkHook_(*head, parker);
            } catch (...) {
                // Out here it would end the process; the request is failed where a handler's
                // error is answered.
                hookError = std::current_exception();
            }
            if (!connection) return;
        }
    }
    if (connection->headEnd > 0)
        connection->headEnd = readableRanges(connection->bytes, connection->headEnd);
    tParking = connection->parking;
    tHookError = hookError;
    servedConnection() = connection.get();
    {
        RequestStream stream(*this, *connection);
        bool closed = false;
        process_request(stream, true, closed, nullptr);
    }
    servedConnection() = nullptr;
    tParking = Parking::None;
    tHookError = nullptr;
    if (connection->framing.kind == HeadFraming::Length) {
        const size_t gathered = connection->bytes.size() - connection->headEnd;
        connection->bodyUnread =
            connection->framing.length - std::min(connection->framing.length, gathered);
    }
    connection->bytes = std::string();
    switch (pumpReply(*connection, stopping())) {
        case Pumped::Done:
            lingerAfterReply(*connection);
            break;
        case Pumped::Blocked:
        case Pumped::Waiting:
            connection->state = Connection::Writing;
            break;
        case Pumped::Failed:
            // The loop closes it at once, and counts what it held no more.
            connection->reply = PendingReply();
            connection->state = Connection::Lingering;
            connection->lingerUntil = Clock::time_point();
            break;
    }
    {
        std::lock_guard lock(queueMutex_);
        --outside_;
        commands_.push_back({std::move(connection), {}});
    }
    signalLoop();
}

}  // namespace devserver
