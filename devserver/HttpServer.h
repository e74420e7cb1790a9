#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace devserver {

struct HttpLimits {
    // A connection carries one request, which must arrive whole within this time.
    std::chrono::milliseconds requestDeadline;
    // Once stop() begins, requests in flight get this long to arrive.
    std::chrono::milliseconds drainDeadline;
    // Requests processed at once. A worker takes a request only once it has arrived whole (or
    // as far as it is ever gathered), so slow clients hold none.
    size_t workers;
    // The request line and headers; a longer head is refused from what arrived of it.
    size_t maxHeadBytes = 32 * 1024;
    // The request line and headers must arrive within this time (or the request deadline when
    // that is sooner); a connection that has not sent them is closed.
    std::chrono::milliseconds headDeadline = std::chrono::seconds(3);
    // The most body gathered for a request, by its method and path and whether it comes in
    // chunks: a body declared larger goes to its handler unread, to be refused from its length,
    // and 0 gathers none (for a request its path refuses from the head). Unset: 64 KiB.
    std::function<size_t(std::string_view method, std::string_view path, bool chunked)> bodyBytes =
        nullptr;
    // Connections open at once, fewer when the process may not open as many descriptors. One
    // more closes the oldest of those still arriving.
    size_t maxConnections = 4096;
    // What all connections' requests may take while they arrive and until they are answered, and
    // their replies until they have gone out. A connection that needs more closes the one still
    // arriving that holds the most, or is closed itself.
    size_t gatheredBytes = 48 * 1024 * 1024;
    // A reply whose client takes nothing of it for this long is given up.
    std::chrono::milliseconds replyStallTimeout = std::chrono::seconds(5);
    // The kernel's send buffer of each connection; 0 leaves it to the kernel, which grows it as
    // far as its limit (4 MiB by default).
    size_t sendBufferBytes = 0;
    // Requests parked at once under one key, and in all.
    size_t parkedPerKey = 8;
    size_t parkedInAll = 256;
};

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
// A Range value in the one form the HTTP library reads as this server does (the same specs, its
// unit in lower case, no spaces, no number past its signed 64 bits); nothing for a value that is
// no bytes range at all, which is ignored as if not sent.
std::optional<std::string> rangeForLibrary(std::string_view value);

// Answers a range on its own: sets the status (200, 206 or 416), Content-Range and, for a body
// kept in memory, the part; and keeps the library from applying the Range header once more.
// Returns the range for a handler that provides its content itself.
ByteRange answerRange(const httplib::Request& request, httplib::Response& response, size_t size);

// A reply's body that the event loop sends as the client takes it, so that no worker waits on a
// slow reader: piece by piece, each asked for once the one before has gone out, from bytes that
// outlive the piece (data shared by every reader rather than a copy for each). Asked by one
// thread at a time.
class ReplyBody {
  public:
    using Clock = std::chrono::steady_clock;
    struct Piece {
        enum Kind {
            // `bytes` go next: never empty, and valid until the next call.
            Bytes,
            // Nothing before `until`, when it is asked again. While it waits, a client that has
            // shut its sending side counts as gone.
            Wait,
            // The body is whole.
            End,
            // The connection closes here, the body cut short.
            Cut,
        };
        Kind kind = End;
        std::string_view bytes;
        Clock::time_point until;
    };

    virtual ~ReplyBody() = default;
    virtual Piece next(Clock::time_point now) = 0;
};

// cpp-httplib's server with the connection handling the devserver needs. Its own handling
// gives each connection a worker from its first byte, and each read a time-out of its own, so
// a client sending a byte now and then holds a worker for ever; it drops connections still
// queued for a worker when it stops; and it closes at once after a reply, so a client still
// sending a refused body reads a reset instead of the refusal. Here one thread gathers every
// request on non-blocking sockets, and a worker gets a request only once it has arrived. The
// worker hands its reply to that thread, which writes it as the client takes it: no worker waits
// for a client, however slowly it sends or reads.
class HttpServer : public httplib::Server {
  public:
    using Log = std::function<void(const std::string&)>;
    using Clock = std::chrono::steady_clock;

    // How the request the calling worker processes came to it.
    enum class Parking {
        None,
        // It waited parked until it was woken, its time was up or the server began to stop.
        Woken,
        // It asked to be parked and the bounds were full.
        Refused,
    };
    class Parker {
      public:
        // Parks the request under `key` until `wake(key)` or `until`, then hands it to a worker
        // as it is. False when the bounds are full: the request is then processed at once.
        virtual bool park(const std::string& key, Clock::time_point until) = 0;

      protected:
        ~Parker() = default;
    };
    // Called on a worker for every request that has arrived whole, before it is processed, with
    // its request line and headers (no body); may park it. The hook checks what the request
    // waits for and parks it under a lock of its own that is also held around wake() for that
    // key, so that no wake-up falls between the two.
    using ParkHook = std::function<void(const httplib::Request& head, Parker& parker)>;

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
    // deadline to arrive, parked ones are processed at once) and returns when all are closed.
    void stopAndDrain();

    // Before startListening. What the hook throws is answered as what a handler throws is.
    void setParkHook(ParkHook hook) { parkHook_ = std::move(hook); }
    // In place of the library's: the handler runs once an error the park hook met is thrown on
    // (where the library hands what a handler throws to its exception handler).
    HttpServer& set_pre_routing_handler(HandlerWithResponse handler);
    // Hands the requests parked under the key to the workers.
    void wake(const std::string& key);
    // Requests parked now.
    size_t parked() const;
    // For the request the calling thread processes.
    static Parking parking();
    // For a handler, as the last thing it does: the reply's body comes from `body`, `length`
    // bytes of it, or in chunks when no length is given. A HEAD request's reply sends none of it.
    static void sendBody(httplib::Response& response, const std::string& contentType,
                         std::optional<size_t> length, std::unique_ptr<ReplyBody> body);
    // The library's post-routing handler hands the reply's body to the event loop.
    HttpServer& set_post_routing_handler(Handler handler) = delete;

    // The point after which a request still arriving is cut off: its own deadline, or the drain
    // deadline once stopping.
    Clock::time_point cutOff(Clock::time_point own) const;
    bool stopping() const { return stopping_.load(std::memory_order_acquire); }
    // Readable once stopping begins.
    int stopEvent() const { return stopEvent_; }
    const HttpLimits& limits() const { return limits_; }

    // One client's connection and what it sent: the event loop's while the request arrives,
    // waits parked or lingers after its reply, a worker's while it is processed.
    struct Connection;

  private:
    class AcceptedQueue;
    class ConnectionParker;
    class EventLoop;

    // For the library's accept loop as it begins: starts the event loop and the workers.
    httplib::TaskQueue* newAcceptedQueue();
    bool process_and_close_socket(socket_t sock) override;
    // A socket bound by bind_to_port whose accept loop never ran is not closed by the library.
    void releaseUnusedSocket();

    // The event loop: gathers each request, keeps parked ones and closes answered ones.
    void startThreads();
    void finishThreads();
    void runLoop();
    void workerLoop();
    void serve(std::unique_ptr<Connection> connection);
    // From any thread: hands a connection to the loop.
    void toLoop(std::unique_ptr<Connection> connection);
    void signalLoop() const;

    const HttpLimits limits_;
    const Log log_;
    const int stopEvent_;
    const int loopEvent_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::chrono::steady_clock::rep> drainUntil_{0};
    ParkHook parkHook_;
    // A socket handed down is shared with the process that handed it: never shut down.
    bool adopted_ = false;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool acceptLoopRuns_ = false;
    bool acceptLoopEnded_ = false;
    std::thread thread_;

    // Between the loop, the workers and whoever parks or wakes.
    mutable std::mutex queueMutex_;
    std::condition_variable readyChanged_;
    // Connections handed to the loop, in order (new ones, parked ones, answered ones), and
    // keys woken: a wake comes after the parks that preceded it.
    struct LoopCommand {
        std::unique_ptr<Connection> connection;
        std::string wakeKey;
    };
    std::vector<LoopCommand> commands_;
    std::deque<std::unique_ptr<Connection>> ready_;
    // Connections out of the loop's hands: waiting for a worker or being processed.
    size_t outside_ = 0;
    std::map<std::string, size_t, std::less<>> parkedPerKey_;
    size_t parkedInAll_ = 0;
    bool draining_ = false;
    bool workersEnd_ = false;
    std::thread loop_;
    std::vector<std::thread> workers_;
    // Connections accepted and not yet closed, and how many may be (set as the threads start).
    std::atomic<size_t> connectionsOpen_{0};
    size_t maxConnections_ = 0;
};

}  // namespace devserver
