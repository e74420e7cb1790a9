#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "NSObject.h"

enum NSOperationQueuePriority : int {
    NSOperationQueuePriorityVeryLow = -8,
    NSOperationQueuePriorityLow = -4,
    NSOperationQueuePriorityNormal = 0,
    NSOperationQueuePriorityHigh = 4,
    NSOperationQueuePriorityVeryHigh = 8,
};

class OperationQueueCore;

// A unit of work run once by an NSOperationQueue (or by calling start()).
//
// The default start() runs main() and is finished when main() returns. A concurrent
// (asynchronous) operation overrides start() to begin its work and return; it stays executing,
// holding its queue slot, until it calls setExecuting(false) and setFinished(true) itself. Those
// two setters stand in for the platform's key-value notices on "isExecuting" and "isFinished":
// they are how the queue learns that a slot is free.
class NSOperation : public NSObject {
  public:
    virtual void start();
    virtual void main() {}
    // Marks the operation cancelled; an operation that has not started yet never runs main().
    // Subclasses that hold a transfer override it to stop the transfer too.
    virtual void cancel();
    // Answers true for operations that finish on their own after start() returns.
    virtual bool isConcurrent() const { return false; }

    bool isCancelled() const { return cancelled_.load(); }
    bool isExecuting() const { return executing_.load(); }
    bool isFinished() const { return finished_.load(); }

    NSOperationQueuePriority queuePriority() const { return queuePriority_.load(); }
    void setQueuePriority(NSOperationQueuePriority priority);

    // Called once, on the thread that finishes the operation, after it became finished.
    // Replaces the block set before; a queue's own watch (see NSOperationQueue) is apart.
    void setCompletionBlock(std::function<void()> block);

  protected:
    NSOperation() = default;

    void setExecuting(bool executing) { executing_.store(executing); }
    void setFinished(bool finished);

  private:
    friend class OperationQueueCore;

    std::atomic<bool> cancelled_{false};
    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
    std::atomic<NSOperationQueuePriority> queuePriority_{NSOperationQueuePriorityNormal};

    std::mutex mutex_;  // guards the four below
    std::function<void()> completionBlock_;
    // What the one that queued it watches for, apart from the block its maker set.
    std::function<void()> whenFinished_;
    std::weak_ptr<OperationQueueCore> queue_;
    bool enqueued_ = false;
};

class NSBlockOperation : public NSOperation {
  public:
    static std::shared_ptr<NSBlockOperation> blockOperationWithBlock(std::function<void()> block);

    void main() override;

  private:
    explicit NSBlockOperation(std::function<void()> block) : block_(std::move(block)) {}

    std::function<void()> block_;
};
