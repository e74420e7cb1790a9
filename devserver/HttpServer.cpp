#include "HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "HttpConnection.h"

namespace devserver {

namespace {

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

namespace {

// One spec of a bytes range: first-last (last may be open), or the last `length` bytes.
struct RangeSpec {
    bool suffix = false;
    size_t first = 0;
    size_t last = SIZE_MAX;
};

// The specs of a Range value, or nothing when it is not a well-formed bytes range.
std::optional<std::vector<RangeSpec>> rangeSpecs(std::string_view value) {
    constexpr std::string_view kUnit = "bytes=";
    if (value.size() < kUnit.size() ||
        !std::equal(kUnit.begin(), kUnit.end(), value.begin(), [](char a, char b) {
            return a == std::tolower(static_cast<unsigned char>(b));
        }))
        return std::nullopt;
    value.remove_prefix(kUnit.size());
    std::vector<RangeSpec> specs;
    while (!value.empty() || specs.empty()) {
        const auto comma = value.find(',');
        const std::string_view spec = withoutSpaces(value.substr(0, comma));
        value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
        const auto dash = spec.find('-');
        if (dash == std::string_view::npos) return std::nullopt;
        if (dash == 0) {
            const auto length = rangeNumber(spec.substr(1));
            if (!length) return std::nullopt;
            specs.push_back({true, *length, 0});
            continue;
        }
        const auto first = rangeNumber(spec.substr(0, dash));
        const auto last = dash + 1 == spec.size() ? std::optional<size_t>(SIZE_MAX)
                                                  : rangeNumber(spec.substr(dash + 1));
        if (!first || !last || *last < *first) return std::nullopt;
        specs.push_back({false, *first, *last});
    }
    return specs;
}

}  // namespace

std::optional<std::string> rangeForLibrary(std::string_view value) {
    const auto specs = rangeSpecs(value);
    if (!specs) return std::nullopt;
    // Beyond any representation, as far as either reading goes: clamped, a spec means the same.
    const auto number = [](size_t n) {
        return std::to_string(std::min<size_t>(n, static_cast<size_t>(INT64_MAX)));
    };
    std::string readable = "bytes=";
    for (const RangeSpec& spec : *specs) {
        if (&spec != &specs->front()) readable += ',';
        if (spec.suffix)
            readable += "-" + number(spec.first);
        else
            readable += number(spec.first) + "-" + (spec.last == SIZE_MAX ? "" : number(spec.last));
    }
    return readable;
}

ByteRange byteRangeAsked(const httplib::Request& request, size_t size) {
    if (request.get_header_value_count("Range") != 1) return {};
    const auto specs = rangeSpecs(request.get_header_value("Range"));
    if (!specs) return {};
    std::vector<ByteRange> satisfiable;
    for (const RangeSpec& spec : *specs) {
        if (spec.suffix) {
            if (spec.first > 0 && size > 0) {
                const size_t length = std::min(spec.first, size);
                satisfiable.push_back({ByteRange::Part, size - length, length});
            }
        } else if (spec.first < size) {
            satisfiable.push_back(
                {ByteRange::Part, spec.first, std::min(spec.last, size - 1) - spec.first + 1});
        }
    }
    if (satisfiable.empty()) return {ByteRange::Unsatisfiable};
    if (specs->size() > 1) return {};
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
    : limits_(limits),
      log_(std::move(log)),
      stopEvent_(makeStopEvent()),
      loopEvent_(makeStopEvent()) {
    // Called by the accept loop as it begins. The workers exist before anyone is told, since
    // the library's accept queue is short (5) and overflows into one-second connect retries.
    new_task_queue = [this] {
        auto* queue = newAcceptedQueue();
        {
            std::lock_guard lock(mutex_);
            acceptLoopRuns_ = true;
        }
        changed_.notify_all();
        return queue;
    };
    set_pre_routing_handler(nullptr);
    httplib::Server::set_post_routing_handler(takeReplyBody);
}

HttpServer::~HttpServer() {
    stopAndDrain();
    if (!acceptLoopRuns_) releaseUnusedSocket();
    ::close(stopEvent_);
    ::close(loopEvent_);
}

bool HttpServer::startListening() {
    // The library listens with a backlog of 5: a burst of connections overflows it into
    // connect retries a second or more later, however fast they are then served.
    if (const socket_t sock = svr_sock_; sock != INVALID_SOCKET) ::listen(sock, SOMAXCONN);
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
    // The library's accept loop ends, and its task queue's shutdown then answers every
    // connection already accepted before the thread returns.
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

HttpServer::Clock::time_point HttpServer::cutOff(Clock::time_point own) const {
    if (!stopping()) return own;
    const Clock::time_point drain{Clock::duration(drainUntil_.load(std::memory_order_relaxed))};
    return std::min(own, drain);
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
