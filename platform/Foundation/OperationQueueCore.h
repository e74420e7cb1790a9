#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "NSOperation.h"

// The state an NSOperationQueue shares with its workers and operations. It is held apart from
// the queue so that an operation finishing while the queue is being destroyed still finds it.
class OperationQueueCore : public std::enable_shared_from_this<OperationQueueCore> {
  public:
    bool add(const std::shared_ptr<NSOperation>& operation, std::function<void()> whenFinished);
    void operationFinished(const NSOperation* operation);

    int maxConcurrent() const;
    void setMaxConcurrent(int count);
    std::vector<std::shared_ptr<NSOperation>> operations() const;
    std::size_t count() const;
    void cancelAll();
    void waitAll();
    // Waits for the operations (unless called from a worker) and joins the workers.
    void shutdown();

  private:
    std::size_t limitLocked() const;
    bool canStartLocked() const;
    void wakeWorkersLocked();
    void work();

    mutable std::mutex mutex_;
    std::condition_variable workCv_;
    std::condition_variable doneCv_;
    std::vector<std::shared_ptr<NSOperation>> pending_;  // in the order added
    std::vector<std::shared_ptr<NSOperation>> active_;   // started, not finished
    int maxConcurrent_ = -1;
    std::size_t idle_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};
