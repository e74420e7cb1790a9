#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// One of the engine's worker threads: runs posted tasks in order until stopped. While paused it
// keeps tasks queued.
class EngineWorker {
  public:
    using Task = std::function<void()>;

    explicit EngineWorker(std::string name);
    ~EngineWorker();
    EngineWorker(const EngineWorker&) = delete;
    EngineWorker& operator=(const EngineWorker&) = delete;

    void start();
    void post(Task task);
    void setPaused(bool paused);
    // Waits until every task posted before the call has run; false when the deadline passes
    // first or the worker stops.
    bool drain(std::chrono::steady_clock::time_point deadline);
    // Drops queued tasks, lets a running one finish and joins the thread.
    void stop();
    std::thread::id threadId() const;

  private:
    void run();

    const std::string name_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable ran_;
    std::deque<Task> tasks_;
    std::uint64_t posted_ = 0;
    std::uint64_t finished_ = 0;
    bool paused_ = false;
    bool stopping_ = false;
    std::thread thread_;
};
