#include "HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

namespace devserver {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kWriteTimeout = std::chrono::seconds(5);
// After a reply, what the client still sends is read and dropped for this long, so that a
// client still sending a body it was refused reads the refusal.
constexpr auto kLinger = std::chrono::seconds(1);

int pollTimeout(Clock::time_point until) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    return static_cast<int>(std::clamp<int64_t>(left, 0, 60'000));
}

// Waits for fd to become readable (or closed) before the server's cut-off for `own`; a stop
// that begins meanwhile can bring the cut-off closer, so it wakes the wait.
bool waitReadable(const HttpServer& server, int fd, Clock::time_point own) {
    for (;;) {
        const bool stopping = server.stopping();
        const int timeout = pollTimeout(server.cutOff(own));
        std::array<pollfd, 2> fds{{{fd, POLLIN, 0}, {server.stopEvent(), POLLIN, 0}}};
        const int ready = ::poll(fds.data(), stopping ? 1 : 2, timeout);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return false;
        if (fds[0].revents != 0) return true;
        if (ready == 0 && timeout == 0) return false;
    }
}

bool waitWritable(int fd) {
    const auto until = Clock::now() + kWriteTimeout;
    for (;;) {
        const int timeout = pollTimeout(until);
        pollfd entry{fd, POLLOUT, 0};
        const int ready = ::poll(&entry, 1, timeout);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return false;
        if (entry.revents != 0) return true;
        if (timeout == 0) return false;
    }
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

// One connection's request: every read ends at the request's deadline, however slowly the
// bytes trickle in, and no more than the request limit is read.
class RequestStream final : public httplib::Stream {
  public:
    RequestStream(const HttpServer& server, int sock)
        : server_(server), sock_(sock), deadline_(Clock::now() + server.limits().requestDeadline) {}

    bool is_readable() const override {
        return offset_ < filled_ || waitReadable(server_, sock_, deadline_);
    }

    bool is_writable() const override { return waitWritable(sock_); }

    ssize_t read(char* ptr, size_t size) override {
        if (offset_ == filled_) {
            const ssize_t got = fill();
            if (got <= 0) return got;
        }
        const size_t count = std::min(size, filled_ - offset_);
        std::copy_n(buffer_.data() + offset_, count, ptr);
        offset_ += count;
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (!waitWritable(sock_)) return -1;
        const ssize_t sent = ::send(sock_, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
        return sent;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getpeername(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            addressOf(address, ip, port);
        }
    }

    void get_local_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getsockname(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            addressOf(address, ip, port);
        }
    }

    socket_t socket() const override { return sock_; }

  private:
    // Bytes buffered, 0 at the end of the stream, -1 when the deadline or the limit is reached.
    ssize_t fill() {
        offset_ = 0;
        filled_ = 0;
        for (;;) {
            const size_t room = std::min(buffer_.size(), server_.limits().maxRequestBytes - total_);
            if (room == 0 || !waitReadable(server_, sock_, deadline_)) return -1;
            const ssize_t got = ::recv(sock_, buffer_.data(), room, MSG_DONTWAIT);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (got <= 0) return got;
            filled_ = static_cast<size_t>(got);
            total_ += filled_;
            return got;
        }
    }

    const HttpServer& server_;
    const int sock_;
    const Clock::time_point deadline_;
    std::array<char, 4096> buffer_{};
    size_t offset_ = 0;
    size_t filled_ = 0;
    size_t total_ = 0;
};

int makeStopEvent() {
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    return fd;
}

std::optional<size_t> rangeNumber(std::string_view text) {
    size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string_view withoutSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

}  // namespace

ByteRange byteRangeAsked(const httplib::Request& request, size_t size) {
    if (request.get_header_value_count("Range") != 1) return {};
    const std::string header = request.get_header_value("Range");
    std::string_view value = header;
    constexpr std::string_view kUnit = "bytes=";
    if (value.size() < kUnit.size() ||
        !std::equal(kUnit.begin(), kUnit.end(), value.begin(), [](char a, char b) {
            return a == std::tolower(static_cast<unsigned char>(b));
        }))
        return {};
    value.remove_prefix(kUnit.size());
    std::vector<ByteRange> satisfiable;
    size_t specs = 0;
    while (!value.empty() || specs == 0) {
        const auto comma = value.find(',');
        const std::string_view spec = withoutSpaces(value.substr(0, comma));
        value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
        ++specs;
        const auto dash = spec.find('-');
        if (dash == std::string_view::npos) return {};
        if (dash == 0) {
            const auto suffix = rangeNumber(spec.substr(1));
            if (!suffix) return {};
            if (*suffix > 0 && size > 0) {
                const size_t length = std::min(*suffix, size);
                satisfiable.push_back({ByteRange::Part, size - length, length});
            }
            continue;
        }
        const auto first = rangeNumber(spec.substr(0, dash));
        const auto last = dash + 1 == spec.size() ? std::optional<size_t>(SIZE_MAX)
                                                  : rangeNumber(spec.substr(dash + 1));
        if (!first || !last || *last < *first) return {};
        if (*first < size)
            satisfiable.push_back(
                {ByteRange::Part, *first, std::min(*last, size - 1) - *first + 1});
    }
    if (satisfiable.empty()) return {ByteRange::Unsatisfiable};
    if (specs > 1) return {};
    return satisfiable.front();
}

ByteRange answerRange(const httplib::Request& request, httplib::Response& response, size_t size) {
    // The library answers a Range header by itself after the handler, several ranges in copies
    // of the whole; this answer is already the range's, so the header goes out of its hands.
    const_cast<httplib::Request&>(request).ranges.clear();
    const ByteRange range = byteRangeAsked(request, size);
    switch (range.kind) {
        case ByteRange::Whole:
            response.status = 200;
            break;
        case ByteRange::Part:
            response.status = 206;
            response.set_header("Content-Range",
                                "bytes " + std::to_string(range.first) + "-" +
                                    std::to_string(range.first + range.length - 1) + "/" +
                                    std::to_string(size));
            if (!response.body.empty())
                response.body = response.body.substr(range.first, range.length);
            break;
        case ByteRange::Unsatisfiable:
            response.status = 416;
            response.set_header("Content-Range", "bytes */" + std::to_string(size));
            response.body.clear();
            break;
    }
    return range;
}

HttpServer::HttpServer(HttpLimits limits, Log log)
    : limits_(limits), log_(std::move(log)), stopEvent_(makeStopEvent()) {
    // Called by the accept loop as it begins. The workers exist before anyone is told, since
    // the library's accept queue is short (5) and overflows into one-second connect retries.
    new_task_queue = [this] {
        auto* pool = new httplib::ThreadPool(limits_.workers);
        {
            std::lock_guard lock(mutex_);
            acceptLoopRuns_ = true;
        }
        changed_.notify_all();
        return pool;
    };
}

HttpServer::~HttpServer() {
    stopAndDrain();
    if (!acceptLoopRuns_) releaseUnusedSocket();
    ::close(stopEvent_);
}

bool HttpServer::startListening() {
    thread_ = std::thread([this] {
        const bool ok = listen_after_bind();
        if (!ok && !stopping()) log_("stopped accepting connections after an error");
        {
            std::lock_guard lock(mutex_);
            acceptLoopEnded_ = true;
        }
        changed_.notify_all();
    });
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return acceptLoopRuns_ || acceptLoopEnded_; });
    return acceptLoopRuns_;
}

void HttpServer::stopAndDrain() {
    if (!thread_.joinable()) return;
    drainUntil_.store((Clock::now() + limits_.drainDeadline).time_since_epoch().count(),
                      std::memory_order_relaxed);
    stopping_.store(true, std::memory_order_release);
    const uint64_t one = 1;
    if (::write(stopEvent_, &one, sizeof one) != sizeof one) {
        log_("cannot wake the requests in flight; they keep their own deadlines");
    }
    // The library's accept loop ends, and its task queue then runs every connection already
    // accepted through process_and_close_socket before the thread returns.
    if (!adopted_) {
        stop();
        thread_.join();
        return;
    }
    // The library's stop() shuts the socket down, and shutdown() acts on the socket every
    // process holding it shares: the server started next on it would find it listening no more.
    // Withdrawn instead, the socket is seen gone at the accept loop's next look, and only closed.
    const socket_t sock = svr_sock_.exchange(INVALID_SOCKET);
    thread_.join();
    if (sock != INVALID_SOCKET) ::close(sock);
}

Clock::time_point HttpServer::cutOff(Clock::time_point own) const {
    if (!stopping()) return own;
    const Clock::time_point drain{Clock::duration(drainUntil_.load(std::memory_order_relaxed))};
    return std::min(own, drain);
}

bool HttpServer::process_and_close_socket(socket_t sock) {
    bool ok = false;
    {
        RequestStream stream(*this, sock);
        bool closed = false;
        ok = process_request(stream, true, closed, nullptr);
    }
    lingeringClose(sock);
    return ok;
}

void HttpServer::lingeringClose(socket_t sock) const {
    ::shutdown(sock, SHUT_WR);
    const auto until = Clock::now() + kLinger;
    std::array<char, 4096> dropped;
    while (waitReadable(*this, sock, until)) {
        const ssize_t got = ::recv(sock, dropped.data(), dropped.size(), MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) break;
    }
    ::close(sock);
}

int HttpServer::adoptListeningSocket(int fd) {
    int listening = 0;
    socklen_t size = sizeof listening;
    sockaddr_in address{};
    socklen_t addressSize = sizeof address;
    if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || listening == 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &addressSize) != 0 ||
        address.sin_family != AF_INET) {
        ::close(fd);
        return -1;
    }
    // Not inherited by anything this process starts.
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    releaseUnusedSocket();
    svr_sock_ = fd;
    adopted_ = true;
    // So that the accept loop looks whether it is to stop, as stopping cannot wake it.
    set_idle_interval(std::chrono::milliseconds(50));
    return ntohs(address.sin_port);
}

void HttpServer::releaseUnusedSocket() {
    const socket_t sock = svr_sock_.exchange(INVALID_SOCKET);
    if (sock != INVALID_SOCKET) ::close(sock);
}

}  // namespace devserver
