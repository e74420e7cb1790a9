#include "VAGetMapDataOperationQueue.h"

#include <algorithm>

std::shared_ptr<VAGetMapDataOperationQueue> VAGetMapDataOperationQueue::sharedQueue() {
    static const std::shared_ptr<VAGetMapDataOperationQueue> shared(
        new VAGetMapDataOperationQueue());
    return shared;
}

VAGetMapDataOperationQueue::VAGetMapDataOperationQueue() {
    thread_ = std::thread([this] { opThread(); });
}

VAGetMapDataOperationQueue::~VAGetMapDataOperationQueue() {
    std::shared_ptr<VAGetMapDataOperation> running;
    {
        std::lock_guard lock(lock_);
        stopping_ = true;
        running = runningOperation_;
    }
    changed_.notify_all();
    if (running) running->cancel();
    thread_.join();
}

void VAGetMapDataOperationQueue::addOperation(
    const std::shared_ptr<VAGetMapDataOperation>& operation) {
    if (!operation) return;
    {
        std::lock_guard lock(lock_);
        const auto place =
            std::find_if(operationList_.begin(), operationList_.end(), [&](const auto& waiting) {
                return waiting->queuePriority() <= operation->queuePriority();
            });
        operationList_.insert(place, operation);
    }
    changed_.notify_all();
}

std::vector<std::shared_ptr<VAGetMapDataOperation>> VAGetMapDataOperationQueue::operations() {
    std::lock_guard lock(lock_);
    return {operationList_.begin(), operationList_.end()};
}

std::size_t VAGetMapDataOperationQueue::operationCount() {
    std::lock_guard lock(lock_);
    return operationList_.size();
}

std::shared_ptr<VAGetMapDataOperation> VAGetMapDataOperationQueue::runningOperation() {
    std::lock_guard lock(lock_);
    return runningOperation_;
}

void VAGetMapDataOperationQueue::cancelAllOperations() { std::lock_guard lock(lock_); }

void VAGetMapDataOperationQueue::waitUntilAllOperationsAreFinished() {
    std::lock_guard lock(lock_);
}

void VAGetMapDataOperationQueue::opThread() {
    std::unique_lock lock(lock_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !operationList_.empty(); });
        if (stopping_) return;
        runningOperation_ = std::move(operationList_.front());
        operationList_.pop_front();
        const auto operation = runningOperation_;
        lock.unlock();
        // The operation runs its connection on this thread's run loop until it is done.
        operation->start();
        lock.lock();
        runningOperation_ = nullptr;
    }
}
