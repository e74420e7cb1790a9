#include "EngineWorker.h"

#include <pthread.h>

EngineWorker::EngineWorker(std::string name) : name_(std::move(name)) {}

EngineWorker::~EngineWorker() { stop(); }

void EngineWorker::start() {
    std::lock_guard lock(mutex_);
    if (thread_.joinable() || stopping_) return;
    thread_ = std::thread([this] { run(); });
}

void EngineWorker::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        tasks_.push_back(std::move(task));
        ++posted_;
    }
    wake_.notify_one();
}

void EngineWorker::setPaused(bool paused) {
    {
        std::lock_guard lock(mutex_);
        paused_ = paused;
    }
    wake_.notify_one();
}

bool EngineWorker::drain(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = posted_;
    return ran_.wait_until(lock, deadline, [&] { return stopping_ || finished_ >= target; }) &&
           !stopping_;
}

void EngineWorker::stop() {
    std::thread thread;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        tasks_.clear();
        thread = std::move(thread_);
    }
    wake_.notify_one();
    ran_.notify_all();
    if (thread.joinable()) thread.join();
}

std::thread::id EngineWorker::threadId() const {
    std::lock_guard lock(mutex_);
    return thread_.get_id();
}

void EngineWorker::run() {
    pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || (!paused_ && !tasks_.empty()); });
        if (stopping_) return;
        Task task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        lock.lock();
        ++finished_;
        ran_.notify_all();
    }
}
