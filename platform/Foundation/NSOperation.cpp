#include "NSOperation.h"

#include <algorithm>

#include "OperationQueueCore.h"

void NSOperation::start() {
    if (isFinished() || isExecuting()) return;
    if (isCancelled()) {
        setFinished(true);
        return;
    }
    setExecuting(true);
    main();
    setExecuting(false);
    setFinished(true);
}

void NSOperation::cancel() { cancelled_.store(true); }

void NSOperation::setQueuePriority(NSOperationQueuePriority priority) {
    queuePriority_.store(static_cast<NSOperationQueuePriority>(
        std::clamp(static_cast<int>(priority), static_cast<int>(NSOperationQueuePriorityVeryLow),
                   static_cast<int>(NSOperationQueuePriorityVeryHigh))));
}

void NSOperation::setCompletionBlock(std::function<void()> block) {
    std::lock_guard lock(mutex_);
    completionBlock_ = std::move(block);
}

void NSOperation::setFinished(bool finished) {
    if (!finished || finished_.exchange(true)) return;
    std::function<void()> completion;
    std::function<void()> whenFinished;
    std::shared_ptr<OperationQueueCore> queue;
    {
        std::lock_guard lock(mutex_);
        completion.swap(completionBlock_);
        whenFinished.swap(whenFinished_);
        queue = queue_.lock();
    }
    // Kept alive across the calls: the queue may hold the last reference.
    auto keep = weak_from_this().lock();
    if (completion) completion();
    if (whenFinished) whenFinished();
    if (queue) queue->operationFinished(this);
}

std::shared_ptr<NSBlockOperation> NSBlockOperation::blockOperationWithBlock(
    std::function<void()> block) {
    return std::shared_ptr<NSBlockOperation>(new NSBlockOperation(std::move(block)));
}

void NSBlockOperation::main() {
    if (block_) block_();
}
