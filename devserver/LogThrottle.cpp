#include "LogThrottle.h"

#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>

namespace devserver {

namespace {

std::string countLine(size_t count) {
    return std::to_string(count) + (count == 1 ? " more line" : " more lines") + " left out";
}

}  // namespace

LogThrottle::LogThrottle(Sink sink, LogLines bound, std::function<Clock::time_point()> now)
    : shared_(std::make_shared<Shared>()), bound_(bound), now_(std::move(now)) {
    shared_->sink = std::move(sink);
    writer_ = std::thread([shared = shared_] { run(*shared); });
}

LogThrottle::~LogThrottle() {
    const bool taken = lastFlush(Clock::now() + bound_.lastFlush);
    {
        std::lock_guard lock(shared_->mutex);
        if (!taken) {
            // What the sink never took is owed as one count, for it to take should it return.
            size_t count = leftOut_;
            for (const Line& line : shared_->waiting) count += line.lines;
            shared_->waiting.clear();
            if (count > 0) shared_->waiting.push_back({countLine(count), count});
        }
        shared_->stopping = true;
    }
    shared_->changed.notify_all();
    if (taken)
        writer_.join();
    else
        writer_.detach();
}

void LogThrottle::write(const std::string& line) {
    {
        std::lock_guard lock(shared_->mutex);
        const auto now = now_();
        if (!started_ || now - windowStart_ >= bound_.window) {
            // A count that finds no room waits for the next window, growing.
            if (shared_->waiting.size() < bound_.waiting) oweLocked();
            windowStart_ = now;
            started_ = true;
            written_ = 0;
        }
        if (written_ >= bound_.perWindow || shared_->waiting.size() >= bound_.waiting) {
            ++leftOut_;
            return;
        }
        ++written_;
        shared_->waiting.push_back({line});
    }
    shared_->changed.notify_all();
}

void LogThrottle::flush() {
    std::unique_lock lock(shared_->mutex);
    oweLocked();
    shared_->changed.notify_all();
    shared_->changed.wait(lock, [this] { return shared_->waiting.empty() && !shared_->sinking; });
}

bool LogThrottle::lastFlush(Clock::time_point until) {
    std::unique_lock lock(shared_->mutex);
    oweLocked();
    shared_->changed.notify_all();
    const bool taken = shared_->changed.wait_until(
        lock, shared_->stalled ? Clock::now() : until,
        [this] { return shared_->waiting.empty() && !shared_->sinking; });
    if (!taken) shared_->stalled = true;
    return taken;
}

void LogThrottle::oweLocked() {
    if (leftOut_ == 0) return;
    shared_->waiting.push_back({countLine(leftOut_), leftOut_});
    leftOut_ = 0;
}

void LogThrottle::run(Shared& shared) {
    std::unique_lock lock(shared.mutex);
    for (;;) {
        shared.changed.wait(lock, [&] { return shared.stopping || !shared.waiting.empty(); });
        if (shared.waiting.empty()) return;
        std::string line = std::move(shared.waiting.front().text);
        shared.waiting.pop_front();
        shared.sinking = true;
        lock.unlock();
        shared.sink(line);
        lock.lock();
        shared.sinking = false;
        shared.stalled = false;
        shared.changed.notify_all();
    }
}

LogThrottle::Sink standardErrorSink(std::string prefix) {
    return [prefix = std::move(prefix)](const std::string& line) {
        const std::string text = prefix + line + "\n";
        for (std::string_view left = text; !left.empty();) {
            const ssize_t written = ::write(STDERR_FILENO, left.data(), left.size());
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) return;
            left.remove_prefix(static_cast<size_t>(written));
        }
    };
}

}  // namespace devserver
