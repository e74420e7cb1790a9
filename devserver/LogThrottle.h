#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace devserver {

// How many lines a log writes in each window of time, and how many wait for a slow sink; the rest
// are counted, not written.
struct LogLines {
    size_t perWindow = 50;
    std::chrono::milliseconds window = std::chrono::seconds(1);
    size_t waiting = 256;
    // How long the last flush waits for a sink that takes nothing (standard error on a pipe nobody
    // reads); the lines it could not write are then counted and left.
    std::chrono::milliseconds lastFlush = std::chrono::seconds(1);
};

// A client that floods the server with requests writes a line for each of them: without a bound
// they would fill whatever keeps standard error. The sink is called on a thread of the throttle's
// own, so a slow or stalled reader of it holds no one that logs. The lines beyond the bounds are
// owed as one count, written before the next window's first line or by flush().
class LogThrottle {
  public:
    using Sink = std::function<void(const std::string&)>;
    using Clock = std::chrono::steady_clock;

    LogThrottle(Sink sink, LogLines bound, std::function<Clock::time_point()> now = Clock::now);
    // The last flush, bounded by LogLines::lastFlush. A sink still stalled then keeps the thread
    // that calls it, with the count of the lines not written, until it returns or the process
    // ends.
    ~LogThrottle();
    LogThrottle(const LogThrottle&) = delete;
    LogThrottle& operator=(const LogThrottle&) = delete;

    void write(const std::string& line);
    // Owes the count of the lines left out, if any, and waits until the sink has taken every line
    // written before it.
    void flush();
    // The same, waiting until `until` at most (not at all when the sink kept an earlier last
    // flush waiting and has taken nothing since); false when the sink has not taken every line by
    // then.
    bool lastFlush(Clock::time_point until);

  private:
    // What the thread that calls the sink shares with the throttle, and keeps if it outlives it.
    struct Line {
        std::string text;
        // The lines it stands for: a count stands for those it counts.
        size_t lines = 1;
    };
    struct Shared {
        Sink sink;
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<Line> waiting;
        bool sinking = false;
        bool stopping = false;
        // A last flush gave up on the sink, which has not returned since.
        bool stalled = false;
    };

    void oweLocked();
    static void run(Shared& shared);

    const std::shared_ptr<Shared> shared_;
    const LogLines bound_;
    const std::function<Clock::time_point()> now_;
    // Under the shared mutex.
    Clock::time_point windowStart_;
    bool started_ = false;
    size_t written_ = 0;
    size_t leftOut_ = 0;
    std::thread writer_;
};

// Writes each line after `prefix` to standard error in one write of its own, holding no lock of
// the C library's stream: a line stalled there holds no other thread, nor the process's exit,
// which flushes the streams.
LogThrottle::Sink standardErrorSink(std::string prefix);

}  // namespace devserver
