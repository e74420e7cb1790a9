#pragma once

// What the parts of HttpServer's connection handling share: one client's connection, and how a
// request's end is found in what it sent. Not for the endpoints.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
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
    // Where the line or data being scanned starts, and how far a line has been searched.
    size_t at_ = 0;
    size_t searched_ = 0;
    size_t left_ = 0;
    size_t data_ = 0;
};

// A reply as far as it has not gone out yet: what the library wrote of it (its head), the
// response's body, and the rest from a ReplyBody.
struct PendingReply {
    std::string written;
    std::string body;
    // Of `written`, then `body`.
    size_t sent = 0;
    std::unique_ptr<ReplyBody> rest;
    // What has not gone out yet of the last piece `rest` gave.
    std::string_view piece;
    // When `rest` is asked again, while it waits.
    std::optional<HttpServer::Clock::time_point> waitUntil;
    // The client must take something by then, or it is taken for gone.
    HttpServer::Clock::time_point stalledAfter;
    // The socket takes no more until the client reads.
    bool blocked = false;
    // What the kernel held of the reply that the client had not taken, when the socket last
    // blocked or the client was last seen taking some.
    size_t queued = 0;

    size_t held() const { return written.capacity() + body.capacity(); }
};

struct HttpServer::Connection {
    enum State { Head, Body, Parked, Writing, Lingering };

    Connection(int socket, const HttpLimits& limits, std::atomic<size_t>& open)
        : fd(socket),
          requestUntil(Clock::now() + limits.requestDeadline),
          headUntil(std::min(requestUntil, Clock::now() + limits.headDeadline)),
          replyStallTimeout(limits.replyStallTimeout),
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
    const Clock::duration replyStallTimeout;
    Clock::time_point parkedUntil;
    Clock::time_point lingerUntil;
    std::string parkKey;
    Parking parking = Parking::None;
    // The client shut its sending side after its request.
    bool inputShut = false;
    // What the client sent after what was gathered of its request, read and dropped, and what
    // its head declared of its body beyond that.
    size_t dropped = 0;
    size_t bodyUnread = 0;
    PendingReply reply;

  private:
    std::atomic<size_t>& open_;
};

// For the handlers the calling worker runs: the connection their reply goes to.
HttpServer::Connection*& servedConnection();
// The library's post-routing handler: the reply's body goes to the connection, not the socket.
void takeReplyBody(const httplib::Request& request, httplib::Response& response);

// Sends what the socket takes of a connection's reply, without waiting.
enum class Pumped {
    Done,
    // The socket takes no more until the client reads.
    Blocked,
    // The rest of the body waits until `reply.waitUntil`.
    Waiting,
    // The client is gone.
    Failed,
};
// Once stopping, what the reply's ReplyBody has not given yet is dropped.
Pumped pumpReply(HttpServer::Connection& connection, bool stopping);
// For a blocked reply whose client seems to take nothing: whether it took some since the reply
// last went on, in which case its time is renewed. The kernel holds megabytes for a client, so a
// slow reader may take bytes for many seconds before the socket takes any more.
bool replyTaken(HttpServer::Connection& connection);
// After the whole reply: what the client still sends is read and dropped for a while, so that a
// client still sending a body it was refused reads the refusal rather than a reset.
void lingerAfterReply(HttpServer::Connection& connection);

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
