#include "LogThrottle.h"

#include <utility>

namespace devserver {

LogThrottle::LogThrottle(Sink sink, LogLines bound, std::function<Clock::time_point()> now)
    : sink_(std::move(sink)), bound_(bound), now_(std::move(now)) {}

LogThrottle::~LogThrottle() { flush(); }

void LogThrottle::write(const std::string& line) {
    std::lock_guard lock(mutex_);
    const auto now = now_();
    if (!started_ || now - windowStart_ >= bound_.window) {
        writeOwedLocked();
        windowStart_ = now;
        started_ = true;
        written_ = 0;
    }
    if (written_ >= bound_.perWindow) {
        ++leftOut_;
        return;
    }
    ++written_;
    sink_(line);
}

void LogThrottle::flush() {
    std::lock_guard lock(mutex_);
    writeOwedLocked();
}

void LogThrottle::writeOwedLocked() {
    if (leftOut_ == 0) return;
    sink_(std::to_string(leftOut_) + (leftOut_ == 1 ? " more line" : " more lines") + " left out");
    leftOut_ = 0;
}

}  // namespace devserver
