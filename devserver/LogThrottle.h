#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
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
    // Flushes, then waits for the sink to take what is left.
    ~LogThrottle();
    LogThrottle(const LogThrottle&) = delete;
    LogThrottle& operator=(const LogThrottle&) = delete;

    void write(const std::string& line);
    // Owes the count of the lines left out, if any, and waits until the sink has taken every line
    // written before it.
    void flush();

  private:
    void oweLocked();
    void run();

    const Sink sink_;
    const LogLines bound_;
    const std::function<Clock::time_point()> now_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> waiting_;
    bool sinking_ = false;
    bool stopping_ = false;
    Clock::time_point windowStart_;
    bool started_ = false;
    size_t written_ = 0;
    size_t leftOut_ = 0;
    std::thread writer_;
};

}  // namespace devserver
