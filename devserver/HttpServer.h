#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace devserver {

struct HttpLimits {
    // A connection carries one request, which must arrive whole within this time.
    std::chrono::milliseconds requestDeadline;
    // Once stop() begins, requests already in flight get this long to arrive.
    std::chrono::milliseconds drainDeadline;
    // Connections served at once; more than the slow clients a test or demo will meet.
    size_t workers;
    // Everything a client may send for one request, head included; bodies have a lower limit
    // of their own, this bounds the headers.
    size_t maxRequestBytes;
};

// cpp-httplib's server with the connection handling the devserver needs. Its own handling
// gives each read a time-out of its own, so a client sending a byte now and then holds a worker
// for ever; it drops connections still queued for a worker when it stops; and it closes at once
// after a reply, so a client still sending a refused body reads a reset instead of the refusal.
// What a request's Range header asks of a representation of `size` bytes, as RFC 9110 reads
// it: the whole (no header, another unit, a malformed list, or several ranges, which are
// answered whole rather than multiplied), one part, or nothing the representation has.
struct ByteRange {
    enum Kind { Whole, Part, Unsatisfiable };
    Kind kind = Whole;
    size_t first = 0;
    size_t length = 0;
};
ByteRange byteRangeAsked(const httplib::Request& request, size_t size);

// Answers a range on its own: sets the status (200, 206 or 416), Content-Range and, for a body
// kept in memory, the part; and keeps the library from applying the Range header once more.
// Returns the range for a handler that provides its content itself.
ByteRange answerRange(const httplib::Request& request, httplib::Response& response, size_t size);

class HttpServer : public httplib::Server {
  public:
    using Log = std::function<void(const std::string&)>;

    HttpServer(HttpLimits limits, Log log);
    ~HttpServer() override;
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // After bind_to_port or bind_to_any_port: serves on a thread of its own and returns once
    // its accept loop runs (false if the loop ended first).
    bool startListening();
    // Takes over a socket already bound and listening, in place of bind_to_port; returns its
    // port, or -1 (the socket closed) when it is no listening TCP socket. Stopping leaves it
    // listening for the other processes that hold it: connections not yet accepted wait there.
    int adoptListeningSocket(int fd);
    bool listening() const { return thread_.joinable(); }
    // Stops accepting, answers every connection already accepted (their requests get the drain
    // deadline to arrive) and returns when all are closed.
    void stopAndDrain();

    // The point after which a request still arriving is cut off: its own deadline, or the drain
    // deadline once stopping.
    std::chrono::steady_clock::time_point cutOff(std::chrono::steady_clock::time_point own) const;
    bool stopping() const { return stopping_.load(std::memory_order_acquire); }
    // Readable once stopping begins; waits on the socket include it so that they wake up then.
    int stopEvent() const { return stopEvent_; }
    const HttpLimits& limits() const { return limits_; }

  private:
    bool process_and_close_socket(socket_t sock) override;
    void lingeringClose(socket_t sock) const;
    // A socket bound by bind_to_port whose accept loop never ran is not closed by the library.
    void releaseUnusedSocket();

    const HttpLimits limits_;
    const Log log_;
    const int stopEvent_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::chrono::steady_clock::rep> drainUntil_{0};
    // A socket handed down is shared with the process that handed it: never shut down.
    bool adopted_ = false;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool acceptLoopRuns_ = false;
    bool acceptLoopEnded_ = false;
    std::thread thread_;
};

}  // namespace devserver
