#include "LogThrottle.h"

#include <utility>

namespace devserver {

LogThrottle::LogThrottle(Sink sink, LogLines bound, std::function<Clock::time_point()> now)
    : sink_(std::move(sink)), bound_(bound), now_(std::move(now)), writer_([this] { run(); }) {}

LogThrottle::~LogThrottle() {
    flush();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    writer_.join();
}

void LogThrottle::write(const std::string& line) {
    {
        std::lock_guard lock(mutex_);
        const auto now = now_();
        if (!started_ || now - windowStart_ >= bound_.window) {
            // A count that finds no room waits for the next window, growing.
            if (waiting_.size() < bound_.waiting) oweLocked();
            windowStart_ = now;
            started_ = true;
            written_ = 0;
        }
        if (written_ >= bound_.perWindow || waiting_.size() >= bound_.waiting) {
            ++leftOut_;
            return;
        }
        ++written_;
        waiting_.push_back(line);
    }
    changed_.notify_all();
}

void LogThrottle::flush() {
    std::unique_lock lock(mutex_);
    oweLocked();
    changed_.notify_all();
    changed_.wait(lock, [this] { return waiting_.empty() && !sinking_; });
}

void LogThrottle::oweLocked() {
    if (leftOut_ == 0) return;
    waiting_.push_back(std::to_string(leftOut_) + (leftOut_ == 1 ? " more line" : " more lines") +
                       " left out");
    leftOut_ = 0;
}

void LogThrottle::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty()) return;
        std::string line = std::move(waiting_.front());
        waiting_.pop_front();
        sinking_ = true;
        lock.unlock();
        sink_(line);
        lock.lock();
        sinking_ = false;
        changed_.notify_all();
    }
}

}  // namespace devserver
