#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <exception>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "HttpServer.h"

namespace devserver {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kWriteTimeout = std::chrono::seconds(5);
// After a reply, what the client still sends is read and dropped for this long, so that a
// client still sending a body it was refused reads the refusal.
constexpr auto kLinger = std::chrono::seconds(1);
// The library's limit for one line of the head.
constexpr size_t kMaxHeadLine = 8192;
// A body gathered without a limit of its own, when the server sets none.
constexpr size_t kDefaultBodyBytes = 64 * 1024;
// Room for the size lines of a chunked body the loop gathers: twice its data and a little more
// takes chunks of a few bytes each.
constexpr size_t kChunkFramingAllowance = 4096;
// Descriptors the process keeps for itself beyond its connections (data files, logs, the
// loop's own), and connections accepted beyond the bound before the loop has made room.
constexpr size_t kReservedDescriptors = 128;
constexpr size_t kAcceptedBeyondBound = 32;

int pollTimeout(Clock::time_point until) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    return static_cast<int>(std::clamp<int64_t>(left, 0, 60'000));
}

// A client whose connection failed is gone: nothing written to it would be read. Between
// writes, when the server waits to send more (a reply sent slowly, or not at all), a client that
// has closed its side counts as gone too, so that such a reply ends at once rather than hold its
// worker; a write itself still goes to a client that only shut its sending side after its
// request, as some clients do, and waits for the answer.
bool waitWritable(int fd, bool closedSideIsGone) {
    const auto until = Clock::now() + kWriteTimeout;
    const short closedSide = closedSideIsGone ? POLLRDHUP : 0;
    for (;;) {
        const int timeout = pollTimeout(until);
        pollfd entry{fd, static_cast<short>(POLLOUT | closedSide), 0};
        const int ready = ::poll(&entry, 1, timeout);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return false;
        if ((entry.revents & (POLLERR | POLLHUP | POLLNVAL | closedSide)) != 0) return false;
        if ((entry.revents & POLLOUT) != 0) return true;
        if (timeout == 0) return false;
    }
}

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

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A number of decimal digits alone: no sign, no spaces.
std::optional<size_t> plainDecimal(std::string_view text) {
    size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text.front() < '0' || text.front() > '9' || error != std::errc() ||
        end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The request line and headers as far as the loop judges them: where the body ends.
struct HeadFraming {
    enum Kind { NoBody, Length, Chunked, Other };
    Kind kind = NoBody;
    size_t length = 0;
    bool expectsContinue = false;
};

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// The header fields of a head that ends with its blank line, after the request line.
template <typename Field>
void forEachField(std::string_view head, Field field) {
    size_t at = head.find('\n');
    while (at != std::string_view::npos && at + 1 < head.size()) {
        const size_t end = head.find('\n', at + 1);
        std::string_view line = head.substr(at + 1, end - at - 1);
        at = end;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        field(line.substr(0, colon), trimmed(line.substr(colon + 1)));
    }
}

// The library refuses a whole request with 416 when it cannot read its Range header, before
// any handler runs, and reads fewer forms than this server does. Each Range field is put in
// the form it reads as this server reads it, or dropped when it is no bytes range, so that the
// request is answered as if it had none. Returns the head's new end.
size_t readableRanges(std::string& bytes, size_t headEnd) {
    size_t at = bytes.find('\n');
    while (at != std::string::npos && at + 1 < headEnd) {
        const size_t start = at + 1;
        const size_t end = bytes.find('\n', start);
        if (end == std::string::npos || end >= headEnd) break;
        std::string_view line = std::string_view(bytes).substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || !sameIgnoringCase(line.substr(0, colon), "Range")) {
            at = end;
            continue;
        }
        const auto readable = rangeForLibrary(trimmed(line.substr(colon + 1)));
        const std::string field = readable ? "Range: " + *readable + "\r\n" : "";
        bytes.replace(start, end + 1 - start, field);
        headEnd = headEnd - (end + 1 - start) + field.size();
        // The newline that ends the field, or the one before it when it is gone.
        at = start + field.size() - 1;
    }
    return headEnd;
}

// Anything but one plain length or one "chunked" is left to the handlers, which refuse it
// before reading a body.
HeadFraming framingOf(std::string_view head) {
    size_t lengths = 0;
    size_t codings = 0;
    std::string_view length;
    std::string_view coding;
    HeadFraming framing;
    forEachField(head, [&](std::string_view name, std::string_view value) {
        if (sameIgnoringCase(name, "Content-Length")) {
            ++lengths;
            length = value;
        } else if (sameIgnoringCase(name, "Transfer-Encoding")) {
            ++codings;
            coding = value;
        } else if (sameIgnoringCase(name, "Expect")) {
            framing.expectsContinue = sameIgnoringCase(value, "100-continue");
        }
    });
    if (lengths == 0 && codings == 0) return framing;
    framing.kind = HeadFraming::Other;
    if (lengths == 1 && codings == 0) {
        if (const auto parsed = plainDecimal(length)) {
            framing.kind = *parsed == 0 ? HeadFraming::NoBody : HeadFraming::Length;
            framing.length = *parsed;
        }
    } else if (codings == 1 && lengths == 0 && sameIgnoringCase(coding, "chunked")) {
        framing.kind = HeadFraming::Chunked;
    }
    return framing;
}

// Follows a chunked body as it arrives, to tell when its last chunk and trailers are in.
class ChunkScanner {
  public:
    enum Result { More, Done, Malformed };

    Result scan(std::string_view body) {
        while (at_ < body.size()) {
            switch (state_) {
                case Size: {
                    const size_t end = body.find('\n', at_);
                    if (end == std::string_view::npos) return More;
                    std::string_view line = body.substr(at_, end - at_);
                    at_ = end + 1;
                    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                    line = trimmed(line.substr(0, line.find(';')));
                    size_t size = 0;
                    const auto [stop, error] =
                        std::from_chars(line.data(), line.data() + line.size(), size, 16);
                    if (line.empty() || error != std::errc() || stop != line.data() + line.size())
                        return Malformed;
                    if (size == 0) {
                        state_ = Trailers;
                    } else {
                        left_ = size;
                        state_ = Data;
                    }
                    break;
                }
                case Data: {
                    const size_t taken = std::min(left_, body.size() - at_);
                    at_ += taken;
                    left_ -= taken;
                    data_ += taken;
                    if (left_ == 0) state_ = DataEnd;
                    break;
                }
                case DataEnd: {
                    const size_t end = body.find('\n', at_);
                    if (end == std::string_view::npos) return More;
                    at_ = end + 1;
                    state_ = Size;
                    break;
                }
                case Trailers: {
                    const size_t end = body.find('\n', at_);
                    if (end == std::string_view::npos) return More;
                    const bool blank = end == at_ || (end == at_ + 1 && body[at_] == '\r');
                    at_ = end + 1;
                    if (blank) return Done;
                    break;
                }
            }
        }
        return More;
    }

    // The chunks' data scanned so far, without their framing.
    size_t data() const { return data_; }

  private:
    enum State { Size, Data, DataEnd, Trailers };
    State state_ = Size;
    size_t at_ = 0;
    size_t left_ = 0;
    size_t data_ = 0;
};

// The request line, the path and its query, and the header fields of a head, for the park hook.
std::optional<httplib::Request> parsedHead(std::string_view head) {
    const size_t lineEnd = head.find('\n');
    std::string_view line = head.substr(0, lineEnd);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t firstSpace = line.find(' ');
    const size_t secondSpace = line.find(' ', firstSpace + 1);
    if (firstSpace == std::string_view::npos || secondSpace == std::string_view::npos)
        return std::nullopt;
    httplib::Request request;
    request.method = std::string(line.substr(0, firstSpace));
    request.target = std::string(line.substr(firstSpace + 1, secondSpace - firstSpace - 1));
    const size_t question = request.target.find('?');
    request.path = httplib::detail::decode_url(request.target.substr(0, question), false);
    if (question != std::string::npos)
        httplib::detail::parse_query_text(request.target.substr(question + 1), request.params);
    forEachField(head, [&](std::string_view name, std::string_view value) {
        request.headers.emplace(std::string(name), std::string(value));
    });
    return request;
}

thread_local HttpServer::Parking tParking = HttpServer::Parking::None;
// What the park hook threw for the request the calling thread processes.
thread_local std::exception_ptr tHookError;

}  // namespace

struct HttpServer::Connection {
    enum State { Head, Body, Parked, Lingering };

    Connection(int socket, const HttpLimits& limits, std::atomic<size_t>& open)
        : fd(socket),
          requestUntil(Clock::now() + limits.requestDeadline),
          headUntil(std::min(requestUntil, Clock::now() + limits.headDeadline)),
          open_(open) {
        open_.fetch_add(1, std::memory_order_relaxed);
    }
    ~Connection() {
        ::close(fd);
        open_.fetch_sub(1, std::memory_order_relaxed);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Whether the loop may close it to make room: its request is still arriving.
    bool arriving() const { return state == Head || state == Body; }

    const int fd;
    State state = Head;
    // What has been read of the request, from its first byte; never more than `bound`.
    std::string bytes;
    size_t bound = 0;
    // The capacity of `bytes` as the loop's budget last counted it.
    size_t counted = 0;
    size_t headEnd = 0;
    size_t searchedTo = 0;
    HeadFraming framing;
    ChunkScanner chunks;
    // The most body gathered for this request.
    size_t bodyBytes = 0;
    const Clock::time_point requestUntil;
    const Clock::time_point headUntil;
    Clock::time_point parkedUntil;
    Clock::time_point lingerUntil;
    std::string parkKey;
    Parking parking = Parking::None;
    // The client shut its sending side after its request.
    bool inputShut = false;

  private:
    std::atomic<size_t>& open_;
};

namespace {

// One request to a worker: what the loop gathered of it, and no more. A worker never waits for
// a client's bytes: a body the loop did not gather (one declared larger than its path takes)
// ends where the gathered bytes end, and its handler refuses it from its declared length.
class RequestStream final : public httplib::Stream {
  public:
    RequestStream(const HttpServer&, HttpServer::Connection& connection)
        : connection_(connection) {}

    bool is_readable() const override { return offset_ < connection_.bytes.size(); }

    bool is_writable() const override { return waitWritable(connection_.fd, true); }

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
        if (!waitWritable(connection_.fd, false)) return -1;
        const ssize_t sent = ::send(connection_.fd, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
        return sent;
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

// What the loop does with a connection after reading from it.
enum class Next { Wait, Hand };

// The most body the server's routes take for the request of this head.
size_t bodyBytesFor(std::string_view head, const HttpLimits& limits) {
    if (!limits.bodyBytes) return kDefaultBodyBytes;
    const std::string_view line = head.substr(0, head.find_first_of("\r\n"));
    const size_t space = line.find(' ');
    if (space == std::string_view::npos) return 0;
    std::string_view target = line.substr(space + 1);
    target = target.substr(0, target.find(' '));
    const std::string path =
        httplib::detail::decode_url(std::string(target.substr(0, target.find('?'))), false);
    return limits.bodyBytes(line.substr(0, space), path);
}

// Judges what has been gathered: whether the request has arrived as far as the loop gathers it.
Next judge(HttpServer::Connection& connection, const HttpLimits& limits) {
    using Connection = HttpServer::Connection;
    if (connection.state == Connection::Head) {
        const std::string_view bytes = connection.bytes;
        // Only from where the last search stopped: a head trickled in byte by byte must not
        // cost a search of all of it for each byte.
        const size_t end = bytes.find("\r\n\r\n", connection.searchedTo);
        if (end == std::string_view::npos) {
            connection.searchedTo = bytes.size() < 3 ? 0 : bytes.size() - 3;
            // A line longer than the library takes, or a head at its bound: the library refuses
            // it from what is here.
            const size_t lineStart = bytes.rfind('\n');
            const size_t line =
                lineStart == std::string_view::npos ? bytes.size() : bytes.size() - lineStart - 1;
            return line > kMaxHeadLine || bytes.size() >= connection.bound ? Next::Hand
                                                                           : Next::Wait;
        }
        connection.headEnd = end + 4;
        connection.framing = framingOf(bytes.substr(0, connection.headEnd));
        connection.bodyBytes = bodyBytesFor(bytes.substr(0, connection.headEnd), limits);
        connection.state = Connection::Body;
        const auto& framing = connection.framing;
        // A body the route does not take, or declared larger than it takes, is not gathered:
        // its handler refuses it from the head alone.
        if (framing.kind == HeadFraming::NoBody || framing.kind == HeadFraming::Other ||
            connection.bodyBytes == 0 ||
            (framing.kind == HeadFraming::Length && framing.length > connection.bodyBytes))
            return Next::Hand;
        connection.bound =
            connection.headEnd + (framing.kind == HeadFraming::Length
                                      ? framing.length
                                      : 2 * connection.bodyBytes + kChunkFramingAllowance);
        if (framing.expectsContinue && bytes.size() == connection.headEnd) {
            constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
            if (::send(connection.fd, kContinue.data(), kContinue.size(),
                       MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
                // A client that cannot take these few bytes is gone or sends without them.
            }
        }
    }
    const std::string_view body = std::string_view(connection.bytes).substr(connection.headEnd);
    if (connection.framing.kind == HeadFraming::Length)
        return body.size() >= connection.framing.length ? Next::Hand : Next::Wait;
    switch (connection.chunks.scan(body)) {
        case ChunkScanner::Done:
        case ChunkScanner::Malformed:
            return Next::Hand;
        case ChunkScanner::More:
            // A body past its limit, or in chunks too small to carry it within the bound, is
            // refused from what arrived.
            return connection.chunks.data() > connection.bodyBytes ||
                           connection.bytes.size() >= connection.bound
                       ? Next::Hand
                       : Next::Wait;
    }
    return Next::Wait;
}

// Reads what the socket holds into the connection, up to its bound; false when the client has
// gone or no room could be had for it. `room(connection, capacity)` asks the loop's budget for
// the connection to hold that many bytes.
template <typename Room>
bool gather(HttpServer::Connection& connection, Room room, bool& ended) {
    ended = false;
    std::array<char, 16 * 1024> buffer;
    for (;;) {
        const size_t size = connection.bytes.size();
        const size_t left = connection.bound - std::min(connection.bound, size);
        if (left == 0) return true;
        const ssize_t got = ::recv(connection.fd, buffer.data(), std::min(left, buffer.size()), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno == EAGAIN) return true;
        if (got <= 0) {
            ended = true;
            return got == 0;
        }
        const size_t needed = size + static_cast<size_t>(got);
        if (needed > connection.bytes.capacity()) {
            // Doubling as far as the bound, never past it.
            const size_t capacity =
                std::min(connection.bound, std::max(needed, 2 * connection.bytes.capacity()));
            if (!room(connection, capacity)) return false;
            std::string grown;
            grown.reserve(capacity);
            grown.append(connection.bytes);
            connection.bytes.swap(grown);
        }
        connection.bytes.append(buffer.data(), static_cast<size_t>(got));
    }
}

// What is left of a client's sending side once what it sent is dropped.
enum class Input { Open, Shut, Failed };

// Reads and drops what the client sends.
Input dropInput(int fd) {
    std::array<char, 4096> dropped;
    for (;;) {
        const ssize_t got = ::recv(fd, dropped.data(), dropped.size(), 0);
        if (got > 0) continue;
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) return Input::Shut;
        return errno == EAGAIN ? Input::Open : Input::Failed;
    }
}

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

void HttpServer::signalLoop() const {
    const uint64_t one = 1;
    if (::write(loopEvent_, &one, sizeof one) != sizeof one) {
        // The counter is far from full: it is read on every turn of the loop.
    }
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
    auto connection = std::make_unique<Connection>(sock, limits_, connectionsOpen_);
    connection->bound = limits_.maxHeadBytes;
    toLoop(std::move(connection));
    return true;
}

void HttpServer::toLoop(std::unique_ptr<Connection> connection) {
    {
        std::lock_guard lock(queueMutex_);
        commands_.push_back({std::move(connection), {}});
    }
    signalLoop();
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
    {
        RequestStream stream(*this, *connection);
        bool closed = false;
        process_request(stream, true, closed, nullptr);
    }
    tParking = Parking::None;
    tHookError = nullptr;
    // After the reply, what the client still sends is read and dropped for a while, so that a
    // client still sending a body it was refused reads the refusal rather than a reset.
    ::shutdown(connection->fd, SHUT_WR);
    connection->state = Connection::Lingering;
    connection->bytes = std::string();
    connection->lingerUntil = Clock::now() + kLinger;
    {
        std::lock_guard lock(queueMutex_);
        --outside_;
        commands_.push_back({std::move(connection), {}});
    }
    signalLoop();
}

void HttpServer::runLoop() {
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll < 0) {
        log_("cannot wait for connections: epoll_create1 failed");
        return;
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = loopEvent_;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, loopEvent_, &event);

    std::unordered_map<int, std::unique_ptr<Connection>> connections;
    std::vector<std::unique_ptr<Connection>> handing;
    bool draining = false;
    // What the requests of every connection hold, in the loop's hands or a worker's.
    size_t gathered = 0;

    const auto recount = [&](Connection& connection) {
        gathered -= connection.counted;
        connection.counted = connection.bytes.capacity();
        gathered += connection.counted;
    };
    const auto close = [&](int fd) {
        ::epoll_ctl(epoll, EPOLL_CTL_DEL, fd, nullptr);
        const auto found = connections.find(fd);
        gathered -= found->second->counted;
        connections.erase(found);
    };
    // Closes the connection still arriving that came first (other than `spare`), or, with
    // `lingering`, one answered already when none is; false when there is none.
    const auto closeOldest = [&](const Connection* spare, bool lingering) {
        Connection* oldest = nullptr;
        for (auto& [fd, connection] : connections) {
            if (connection.get() == spare) continue;
            const bool candidate =
                connection->arriving() || (lingering && connection->state == Connection::Lingering);
            if (!candidate) continue;
            if (oldest == nullptr || (connection->arriving() && !oldest->arriving()) ||
                (connection->arriving() == oldest->arriving() &&
                 connection->requestUntil < oldest->requestUntil))
                oldest = connection.get();
        }
        if (oldest == nullptr) return false;
        close(oldest->fd);
        return true;
    };
    // Room for a connection's request to hold `capacity` bytes, made by closing the oldest
    // arriving ones when the budget is spent; false when even that leaves too little.
    const auto room = [&](Connection& connection, size_t capacity) {
        const size_t more = capacity - std::min(capacity, connection.counted);
        while (gathered + more > limits_.gatheredBytes)
            if (!closeOldest(&connection, false)) return false;
        gathered += more;
        connection.counted += more;
        return true;
    };
    const auto unpark = [&](Connection& connection) {
        // Under queueMutex_.
        auto found = parkedPerKey_.find(connection.parkKey);
        if (found != parkedPerKey_.end() && --found->second == 0) parkedPerKey_.erase(found);
        --parkedInAll_;
    };
    const auto hand = [&](int fd) {
        ::epoll_ctl(epoll, EPOLL_CTL_DEL, fd, nullptr);
        auto found = connections.find(fd);
        handing.push_back(std::move(found->second));
        connections.erase(found);
    };
    const auto releaseParked = [&](Connection& connection) {
        unpark(connection);
        connection.parking = Parking::Woken;
        connection.state = Connection::Body;
        hand(connection.fd);
    };
    const auto toWorkers = [&] {
        if (handing.empty()) return;
        {
            std::lock_guard lock(queueMutex_);
            outside_ += handing.size();
            for (auto& connection : handing) ready_.push_back(std::move(connection));
        }
        // One worker for each: waking every idle one costs each a switch for nothing.
        for (size_t i = 0; i < handing.size(); ++i) readyChanged_.notify_one();
        handing.clear();
    };
    const auto deadlineOf = [&](const Connection& connection) {
        switch (connection.state) {
            case Connection::Head:
                return cutOff(connection.headUntil);
            case Connection::Body:
                return cutOff(connection.requestUntil);
            case Connection::Parked:
                return draining ? Clock::now() : connection.parkedUntil;
            case Connection::Lingering:
                return cutOff(connection.lingerUntil);
        }
        return Clock::now();
    };

    std::vector<epoll_event> events(256);
    for (;;) {
        std::vector<LoopCommand> commands;
        {
            std::lock_guard lock(queueMutex_);
            commands.swap(commands_);
            draining = draining_;
            for (auto& command : commands) {
                if (command.connection) {
                    Connection& connection = *command.connection;
                    const int fd = connection.fd;
                    epoll_event watch{};
                    watch.events = EPOLLIN | EPOLLRDHUP;
                    watch.data.fd = fd;
                    // Back from a worker, a request holds what the worker left of it.
                    recount(connection);
                    if (::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &watch) != 0) {
                        if (connection.state == Connection::Parked) unpark(connection);
                        gathered -= connection.counted;
                        continue;
                    }
                    connections.emplace(fd, std::move(command.connection));
                } else {
                    for (auto& [fd, connection] : connections)
                        if (connection->state == Connection::Parked &&
                            connection->parkKey == command.wakeKey)
                            connection->parking = Parking::Woken;
                }
            }
            // Woken parked connections leave the loop together with those due below.
            std::vector<int> woken;
            for (auto& [fd, connection] : connections)
                if (connection->state == Connection::Parked &&
                    (connection->parking == Parking::Woken || draining))
                    woken.push_back(fd);
            for (const int fd : woken) releaseParked(*connections.at(fd));
        }
        // New connections beyond the bound make room for themselves.
        while (connectionsOpen_.load(std::memory_order_relaxed) > maxConnections_ &&
               closeOldest(nullptr, true)) {
        }

        const auto now = Clock::now();
        std::vector<int> due;
        auto next = now + std::chrono::seconds(60);
        for (auto& [fd, connection] : connections) {
            const auto deadline = deadlineOf(*connection);
            if (deadline <= now)
                due.push_back(fd);
            else
                next = std::min(next, deadline);
        }
        for (const int fd : due) {
            Connection& connection = *connections.at(fd);
            if (connection.state == Connection::Parked) {
                std::lock_guard lock(queueMutex_);
                releaseParked(connection);
            } else {
                close(fd);
            }
        }

        toWorkers();

        if (draining && connections.empty()) {
            std::lock_guard lock(queueMutex_);
            if (outside_ == 0 && commands_.empty()) break;
        }

        const int timeout = due.empty() ? pollTimeout(next) : 0;
        const int count = ::epoll_wait(epoll, events.data(), static_cast<int>(events.size()),
                                       std::max(timeout, 1));
        for (int i = 0; i < count; ++i) {
            const int fd = events[static_cast<size_t>(i)].data.fd;
            if (fd == loopEvent_) {
                uint64_t value = 0;
                if (::read(loopEvent_, &value, sizeof value) < 0) {
                    // Nothing to read: another turn found it already.
                }
                continue;
            }
            const auto found = connections.find(fd);
            if (found == connections.end()) continue;
            Connection& connection = *found->second;
            switch (connection.state) {
                case Connection::Head:
                case Connection::Body: {
                    bool ended = false;
                    if (!gather(connection, room, ended)) {
                        close(fd);
                        break;
                    }
                    const Next next = judge(connection, limits_);
                    if (next == Next::Hand) {
                        hand(fd);
                    } else if (ended) {
                        // The client sent no more of a request that had not arrived.
                        close(fd);
                    }
                    break;
                }
                case Connection::Parked: {
                    // A client that only shut its sending side still waits for the answer: from
                    // then on only a reset or an error, which epoll always reports, ends it.
                    const Input input = connection.inputShut ? Input::Failed : dropInput(fd);
                    if (input == Input::Shut) {
                        connection.inputShut = true;
                        epoll_event watch{};
                        watch.data.fd = fd;
                        ::epoll_ctl(epoll, EPOLL_CTL_MOD, fd, &watch);
                    } else if (input == Input::Failed) {
                        std::lock_guard lock(queueMutex_);
                        unpark(connection);
                        close(fd);
                    }
                    break;
                }
                case Connection::Lingering:
                    if (dropInput(fd) != Input::Open) close(fd);
                    break;
            }
        }
        toWorkers();
    }
    ::close(epoll);
}

}  // namespace devserver
