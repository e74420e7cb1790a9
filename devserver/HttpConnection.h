#pragma once

// What the parts of HttpServer's connection handling share: one client's connection, and how a
// request's end is found in what it sent. Not for the endpoints.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "HttpServer.h"

namespace devserver {

// The request line and headers as far as the loop judges them: where the body ends.
struct HeadFraming {
    enum Kind { NoBody, Length, Chunked, Other };
    Kind kind = NoBody;
    size_t length = 0;
    bool expectsContinue = false;
};

// Follows a chunked body as it arrives, to tell when its last chunk and trailers are in.
class ChunkScanner {
  public:
    enum Result { More, Done, Malformed };

    // `body` is all of the body that arrived so far, what earlier calls saw included.
    Result scan(std::string_view body);
    // The chunks' data scanned so far, without their framing.
    size_t data() const { return data_; }

  private:
    enum State { Size, Data, DataEnd, Trailers };
    State state_ = Size;
    size_t at_ = 0;
    size_t left_ = 0;
    size_t data_ = 0;
};

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
    // What the loop's budget last counted the connection holding.
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

// Milliseconds until the time, for poll and epoll_wait: none past it, at most a minute.
inline int pollTimeout(HttpServer::Clock::time_point until) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(until - HttpServer::Clock::now());
    return static_cast<int>(std::clamp<int64_t>(left.count(), 0, 60'000));
}

// Whether what a connection gathered holds its request as far as the loop gathers it; sets the
// body's framing and bound once the head is in.
enum class Gathered { Wait, Whole };
Gathered judgeGathered(HttpServer::Connection& connection, const HttpLimits& limits);

// The request line, the path and its query, and the header fields of a head, for the park hook.
std::optional<httplib::Request> parsedHead(std::string_view head);

// The library refuses a whole request with 416 when it cannot read its Range header, before
// any handler runs, and reads fewer forms than this server does. Each Range field is put in
// the form it reads as this server reads it, or dropped when it is no bytes range, so that the
// request is answered as if it had none. Returns the head's new end.
size_t readableRanges(std::string& bytes, size_t headEnd);

}  // namespace devserver
