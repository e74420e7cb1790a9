#pragma once

#include <condition_variable>
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
    // Drops queued tasks, lets a running one finish and joins the thread.
    void stop();
    std::thread::id threadId() const;

  private:
    void run();

    const std::string name_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    bool paused_ = false;
    bool stopping_ = false;
    std::thread thread_;
};
