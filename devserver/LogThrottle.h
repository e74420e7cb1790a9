#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>

namespace devserver {

// How many lines a log writes in each window of time; the rest are counted, not written.
struct LogLines {
    size_t perWindow = 50;
    std::chrono::milliseconds window = std::chrono::seconds(1);
};

// A client that floods the server with requests writes a line for each of them: without a bound
// they would fill whatever keeps standard error, and a slow reader of it would hold every worker
// that logs. The lines beyond the bound are owed as one count, written before the next window's
// first line or by flush().
class LogThrottle {
  public:
    using Sink = std::function<void(const std::string&)>;
    using Clock = std::chrono::steady_clock;

    LogThrottle(Sink sink, LogLines bound, std::function<Clock::time_point()> now = Clock::now);
    ~LogThrottle();
    LogThrottle(const LogThrottle&) = delete;
    LogThrottle& operator=(const LogThrottle&) = delete;

    void write(const std::string& line);
    // Writes the count of the lines left out since it was last written, if any.
    void flush();

  private:
    void writeOwedLocked();

    const Sink sink_;
    const LogLines bound_;
    const std::function<Clock::time_point()> now_;
    std::mutex mutex_;
    Clock::time_point windowStart_;
    bool started_ = false;
    size_t written_ = 0;
    size_t leftOut_ = 0;
};

}  // namespace devserver
