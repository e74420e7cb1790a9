// The event loop: one thread gathers every connection's request on non-blocking sockets, keeps
// parked requests, writes what the workers' replies have left as the clients take it, lingers
// after them, and closes connections to stay within the bounds.

#include <sys/epoll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "HttpConnection.h"

namespace devserver {

namespace {

// What one connection may read in one turn of the loop: a client that sends as fast as it is
// read takes its turn with the rest, not the loop. Until its head has arrived, less: a head is
// rarely more, and what follows it may never be gathered.
constexpr size_t kReadPerTurn = 64 * 1024;
constexpr size_t kHeadReadPerTurn = 4 * 1024;

// Milliseconds until the time, for epoll_wait: none past it, at most a minute.
int pollTimeout(HttpServer::Clock::time_point until) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(until - HttpServer::Clock::now());
    return static_cast<int>(std::clamp<int64_t>(left.count(), 0, 60'000));
}

// What is left of a client's sending side once what it sent is dropped.
enum class Input { Open, Shut, Failed };

// Reads and drops what the client sends: a turn's worth at most while it may send more, all of
// it once it has shut its sending side (epoll's EPOLLRDHUP), so that its end is seen at once.
Input dropInput(int fd, uint32_t events, size_t& dropped) {
    const size_t most = (events & EPOLLRDHUP) != 0 ? SIZE_MAX : kReadPerTurn;
    std::array<char, 16 * 1024> buffer;
    for (size_t read = 0; read < most;) {
        const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (got > 0) {
            read += static_cast<size_t>(got);
            dropped += static_cast<size_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) return Input::Shut;
        return errno == EAGAIN ? Input::Open : Input::Failed;
    }
    return Input::Open;
}

}  // namespace

class HttpServer::EventLoop {
  public:
    explicit EventLoop(HttpServer& server)
        : server_(server), epoll_(::epoll_create1(EPOLL_CLOEXEC)) {}
    ~EventLoop() {
        if (epoll_ >= 0) ::close(epoll_);
    }
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    void run();

  private:
    // Takes what was handed to the loop, and hands woken parked requests on.
    void takeCommands();
    void take(std::unique_ptr<Connection> connection);
    void closeDue(Clock::time_point now, bool& anyDue, Clock::time_point& next);
    void onEvent(Connection& connection, uint32_t events);
    void onParkedInput(Connection& connection, uint32_t events);
    void onWritingEvent(Connection& connection, uint32_t events);
    // Sends what the socket takes of the reply, and watches for what comes next.
    void write(Connection& connection);
    // What epoll is to report for the connection in its state.
    static uint32_t watchedEvents(const Connection& connection);
    void rewatch(const Connection& connection);

    void close(int fd);
    // Closes the connection still arriving that came first (other than `spare`), or, with
    // `answered`, one whose reply is going out or has gone when none is; false when there is none.
    bool closeOldest(const Connection* spare, bool answered);
    // Closes the connections still arriving (other than `spare`) that hold the most, the oldest
    // of those that hold as much, until what is gathered is at most the budget less `wanted`;
    // false, closing none, when even closing them all would not bring it there.
    bool shedFor(const Connection* spare, size_t wanted);
    // Room for a connection to hold `capacity` bytes, made by closing the arriving ones that hold
    // the most when the budget is spent; false when even that leaves too little.
    bool room(Connection& connection, size_t capacity);
    void recount(Connection& connection);
    // Reads what the socket holds into the connection, up to its bound; false when the client
    // has gone or no room could be had for it.
    bool gather(Connection& connection, bool& ended);

    // Under the server's queue mutex.
    void unpark(Connection& connection);
    void releaseParked(Connection& connection);
    void hand(int fd);
    void toWorkers();
    Clock::time_point deadlineOf(const Connection& connection) const;

    HttpServer& server_;
    const int epoll_;
    std::unordered_map<int, std::unique_ptr<Connection>> connections_;
    std::vector<std::unique_ptr<Connection>> handing_;
    bool draining_ = false;
    // What the requests of every connection hold, in the loop's hands or a worker's.
    size_t gathered_ = 0;
};

void HttpServer::runLoop() {
    EventLoop loop(*this);
    loop.run();
}

void HttpServer::EventLoop::recount(Connection& connection) {
    gathered_ -= connection.counted;
    connection.counted = connection.bytes.capacity() + connection.reply.held();
    gathered_ += connection.counted;
}

void HttpServer::EventLoop::close(int fd) {
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    const auto found = connections_.find(fd);
    gathered_ -= found->second->counted;
    connections_.erase(found);
}

bool HttpServer::EventLoop::closeOldest(const Connection* spare, bool answered) {
    Connection* oldest = nullptr;
    for (auto& [fd, connection] : connections_) {
        if (connection.get() == spare) continue;
        const bool candidate =
            connection->arriving() || (answered && (connection->state == Connection::Writing ||
                                                    connection->state == Connection::Lingering));
        if (!candidate) continue;
        if (oldest == nullptr || (connection->arriving() && !oldest->arriving()) ||
            (connection->arriving() == oldest->arriving() &&
             connection->requestUntil < oldest->requestUntil))
            oldest = connection.get();
    }
    if (oldest == nullptr) return false;
    close(oldest->fd);
    return true;
}

bool HttpServer::EventLoop::shedFor(const Connection* spare, size_t wanted) {
    const size_t budget = server_.limits_.gatheredBytes;
    if (gathered_ + wanted <= budget) return true;
    // Closing a connection frees what it holds, and one that holds nothing frees nothing: when
    // the budget is spent by requests in the workers' hands, the asker goes, not the others.
    std::vector<Connection*> arriving;
    size_t freeable = 0;
    for (auto& [fd, connection] : connections_) {
        if (connection.get() == spare || !connection->arriving()) continue;
        arriving.push_back(connection.get());
        freeable += connection->counted;
    }
    if (gathered_ + wanted > budget + freeable) return false;
    std::sort(arriving.begin(), arriving.end(), [](const Connection* a, const Connection* b) {
        return a->counted != b->counted ? a->counted > b->counted
                                        : a->requestUntil < b->requestUntil;
    });
    for (const Connection* connection : arriving) {
        if (gathered_ + wanted <= budget) break;
        close(connection->fd);
    }
    return true;
}

bool HttpServer::EventLoop::room(Connection& connection, size_t capacity) {
    const size_t more = capacity - std::min(capacity, connection.counted);
    if (!shedFor(&connection, more)) return false;
    gathered_ += more;
    connection.counted += more;
    return true;
}

bool HttpServer::EventLoop::gather(Connection& connection, bool& ended) {
    ended = false;
    std::array<char, kReadPerTurn> buffer;
    const size_t turn = connection.state == Connection::Head ? kHeadReadPerTurn : kReadPerTurn;
    for (size_t read = 0; read < turn;) {
        const size_t size = connection.bytes.size();
        const size_t left = connection.bound - std::min(connection.bound, size);
        if (left == 0) return true;
        const ssize_t got = ::recv(connection.fd, buffer.data(), std::min(left, turn - read), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno == EAGAIN) return true;
        if (got <= 0) {
            ended = true;
            return got == 0;
        }
        const size_t needed = size + static_cast<size_t>(got);
        if (needed > connection.bytes.capacity()) {
            // A body of a declared length at once, else doubling as far as the bound, never past
            // it.
            const bool sized = connection.state == Connection::Body &&
                               connection.framing.kind == HeadFraming::Length;
            const size_t capacity =
                sized
                    ? connection.bound
                    : std::min(connection.bound, std::max(needed, 2 * connection.bytes.capacity()));
            if (!room(connection, capacity)) return false;
            std::string grown;
            grown.reserve(capacity);
            grown.append(connection.bytes);
            connection.bytes.swap(grown);
        }
        connection.bytes.append(buffer.data(), static_cast<size_t>(got));
        read += static_cast<size_t>(got);
    }
    return true;
}

void HttpServer::EventLoop::unpark(Connection& connection) {
    auto found = server_.parkedPerKey_.find(connection.parkKey);
    if (found != server_.parkedPerKey_.end() && --found->second == 0)
        server_.parkedPerKey_.erase(found);
    --server_.parkedInAll_;
}

void HttpServer::EventLoop::hand(int fd) {
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    auto found = connections_.find(fd);
    handing_.push_back(std::move(found->second));
    connections_.erase(found);
}

void HttpServer::EventLoop::releaseParked(Connection& connection) {
    unpark(connection);
    connection.parking = Parking::Woken;
    connection.state = Connection::Body;
    hand(connection.fd);
}

void HttpServer::EventLoop::toWorkers() {
    if (handing_.empty()) return;
    {
        std::lock_guard lock(server_.queueMutex_);
        server_.outside_ += handing_.size();
        for (auto& connection : handing_) server_.ready_.push_back(std::move(connection));
    }
    // One worker for each: waking every idle one costs each a switch for nothing.
    for (size_t i = 0; i < handing_.size(); ++i) server_.readyChanged_.notify_one();
    handing_.clear();
}

HttpServer::Clock::time_point HttpServer::EventLoop::deadlineOf(
    const Connection& connection) const {
    switch (connection.state) {
        case Connection::Head:
            return server_.cutOff(connection.headUntil);
        case Connection::Body:
            return server_.cutOff(connection.requestUntil);
        case Connection::Parked:
            return draining_ ? Clock::now() : connection.parkedUntil;
        case Connection::Writing:
            // A body that waits before its next piece is cut short once stopping.
            if (connection.reply.waitUntil)
                return server_.stopping() ? Clock::now() : *connection.reply.waitUntil;
            return server_.cutOff(connection.reply.stalledAfter);
        case Connection::Lingering:
            return server_.cutOff(connection.lingerUntil);
    }
    return Clock::now();
}

uint32_t HttpServer::EventLoop::watchedEvents(const Connection& connection) {
    // Once the client has shut its sending side, only a reset or an error, which epoll always
    // reports, is left to hear of.
    const uint32_t input = connection.inputShut ? 0 : EPOLLIN | EPOLLRDHUP;
    if (connection.state == Connection::Writing && connection.reply.blocked)
        return input | EPOLLOUT;
    return input;
}

void HttpServer::EventLoop::rewatch(const Connection& connection) {
    epoll_event watch{};
    watch.events = watchedEvents(connection);
    watch.data.fd = connection.fd;
    ::epoll_ctl(epoll_, EPOLL_CTL_MOD, connection.fd, &watch);
}

void HttpServer::EventLoop::take(std::unique_ptr<Connection> connection) {
    const int fd = connection->fd;
    epoll_event watch{};
    watch.events = watchedEvents(*connection);
    watch.data.fd = fd;
    // Back from a worker, a connection holds its request and what its reply has left to send.
    recount(*connection);
    // A reply left to send holds memory the request did not.
    const bool fits = connection->state != Connection::Writing || shedFor(connection.get(), 0);
    if (!fits || ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &watch) != 0) {
        // Under the queue mutex, as every command is taken.
        if (connection->state == Connection::Parked) unpark(*connection);
        gathered_ -= connection->counted;
        return;
    }
    connections_.emplace(fd, std::move(connection));
}

void HttpServer::EventLoop::takeCommands() {
    std::vector<LoopCommand> commands;
    std::lock_guard lock(server_.queueMutex_);
    commands.swap(server_.commands_);
    draining_ = server_.draining_;
    for (auto& command : commands) {
        if (command.connection) {
            take(std::move(command.connection));
            continue;
        }
        for (auto& [fd, connection] : connections_)
            if (connection->state == Connection::Parked && connection->parkKey == command.wakeKey)
                connection->parking = Parking::Woken;
    }
    // Woken parked connections leave the loop together with those due below.
    std::vector<int> woken;
    for (auto& [fd, connection] : connections_)
        if (connection->state == Connection::Parked &&
            (connection->parking == Parking::Woken || draining_))
            woken.push_back(fd);
    for (const int fd : woken) releaseParked(*connections_.at(fd));
}

void HttpServer::EventLoop::closeDue(Clock::time_point now, bool& anyDue, Clock::time_point& next) {
    std::vector<int> due;
    next = now + std::chrono::seconds(60);
    for (auto& [fd, connection] : connections_) {
        const auto deadline = deadlineOf(*connection);
        if (deadline <= now)
            due.push_back(fd);
        else
            next = std::min(next, deadline);
    }
    anyDue = !due.empty();
    for (const int fd : due) {
        // Reading one may have closed another to make room.
        const auto found = connections_.find(fd);
        if (found == connections_.end()) continue;
        Connection& connection = *found->second;
        if (connection.state == Connection::Parked) {
            std::lock_guard lock(server_.queueMutex_);
            releaseParked(connection);
        } else if (connection.state == Connection::Writing && connection.reply.waitUntil) {
            write(connection);
        } else if (connection.state == Connection::Writing && replyTaken(connection) &&
                   deadlineOf(connection) > now) {
            // A slow reader: it took some of what the kernel holds for it.
        } else if (connection.arriving()) {
            // What arrived in time counts though the loop had not read it yet (it was busy with
            // others, or the connection was only now taken): a request it completes is served.
            onEvent(connection, EPOLLIN);
            const auto still = connections_.find(fd);
            if (still != connections_.end() && still->second->arriving() &&
                deadlineOf(*still->second) <= now)
                close(fd);
        } else {
            close(fd);
        }
    }
}

void HttpServer::EventLoop::onParkedInput(Connection& connection, uint32_t events) {
    // A client that only shut its sending side still waits for the answer: from then on only a
    // reset or an error, which epoll always reports, ends it.
    const Input input =
        connection.inputShut ? Input::Failed : dropInput(connection.fd, events, connection.dropped);
    if (input == Input::Shut) {
        connection.inputShut = true;
        rewatch(connection);
    } else if (input == Input::Failed) {
        std::lock_guard lock(server_.queueMutex_);
        unpark(connection);
        close(connection.fd);
    }
}

void HttpServer::EventLoop::write(Connection& connection) {
    switch (pumpReply(connection, server_.stopping())) {
        case Pumped::Done:
            lingerAfterReply(connection);
            recount(connection);
            rewatch(connection);
            return;
        case Pumped::Blocked:
            rewatch(connection);
            return;
        case Pumped::Waiting:
            // A reply that waits between writes takes a client that shut its side for gone.
            if (connection.inputShut) {
                close(connection.fd);
                return;
            }
            rewatch(connection);
            return;
        case Pumped::Failed:
            close(connection.fd);
            return;
    }
}

void HttpServer::EventLoop::onWritingEvent(Connection& connection, uint32_t events) {
    if ((events & (EPOLLIN | EPOLLRDHUP | EPOLLERR | EPOLLHUP)) != 0) {
        const Input input = connection.inputShut
                                ? Input::Failed
                                : dropInput(connection.fd, events, connection.dropped);
        if (input == Input::Failed || (input == Input::Shut && connection.reply.waitUntil)) {
            close(connection.fd);
            return;
        }
        if (input == Input::Shut) {
            connection.inputShut = true;
            rewatch(connection);
        }
    }
    if ((events & EPOLLOUT) != 0) write(connection);
}

void HttpServer::EventLoop::onEvent(Connection& connection, uint32_t events) {
    const int fd = connection.fd;
    switch (connection.state) {
        case Connection::Head:
        case Connection::Body: {
            bool ended = false;
            if (!gather(connection, ended)) {
                close(fd);
                return;
            }
            if (judgeGathered(connection, server_.limits_) == Gathered::Whole) {
                hand(fd);
            } else if (ended) {
                // The client sent no more of a request that had not arrived.
                close(fd);
            }
            return;
        }
        case Connection::Parked:
            onParkedInput(connection, events);
            return;
        case Connection::Writing:
            onWritingEvent(connection, events);
            return;
        case Connection::Lingering:
            // What a client still sends after its reply is dropped as far as the rest of the
            // body it declared, and a turn's worth more; beyond that it is not heard.
            if (dropInput(fd, events, connection.dropped) != Input::Open ||
                connection.dropped > connection.bodyUnread + kReadPerTurn)
                close(fd);
            return;
    }
}

void HttpServer::EventLoop::run() {
    if (epoll_ < 0) {
        server_.log_("cannot wait for connections: epoll_create1 failed");
        return;
    }
    epoll_event signalled{};
    signalled.events = EPOLLIN;
    signalled.data.fd = server_.loopEvent_;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, server_.loopEvent_, &signalled);

    std::vector<epoll_event> events(256);
    for (;;) {
        takeCommands();
        // New connections beyond the bound make room for themselves.
        while (server_.connectionsOpen_.load(std::memory_order_relaxed) > server_.maxConnections_ &&
               closeOldest(nullptr, true)) {
        }
        bool anyDue = false;
        Clock::time_point next;
        closeDue(Clock::now(), anyDue, next);
        toWorkers();

        if (draining_ && connections_.empty()) {
            std::lock_guard lock(server_.queueMutex_);
            if (server_.outside_ == 0 && server_.commands_.empty()) break;
        }

        const int timeout = anyDue ? 0 : pollTimeout(next);
        const int count = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()),
                                       std::max(timeout, 1));
        for (int i = 0; i < count; ++i) {
            const epoll_event& event = events[static_cast<size_t>(i)];
            const int fd = event.data.fd;
            if (fd == server_.loopEvent_) {
                uint64_t value = 0;
                if (::read(server_.loopEvent_, &value, sizeof value) < 0) {
                    // Nothing to read: another turn found it already.
                }
                continue;
            }
            const auto found = connections_.find(fd);
            if (found != connections_.end()) onEvent(*found->second, event.events);
        }
        toWorkers();
    }
}

void HttpServer::toLoop(std::unique_ptr<Connection> connection) {
    {
        std::lock_guard lock(queueMutex_);
        commands_.push_back({std::move(connection), {}});
    }
    signalLoop();
}

void HttpServer::signalLoop() const {
    const uint64_t one = 1;
    if (::write(loopEvent_, &one, sizeof one) != sizeof one) {
        // The counter is far from full: it is read on every turn of the loop.
    }
}

}  // namespace devserver
