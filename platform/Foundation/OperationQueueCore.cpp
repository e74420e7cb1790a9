#include "OperationQueueCore.h"

#include <algorithm>

namespace {
thread_local const OperationQueueCore* tWorkerOf = nullptr;
}

bool OperationQueueCore::add(const std::shared_ptr<NSOperation>& operation,
                             std::function<void()> whenFinished) {
    if (!operation) return false;
    {
        // Finished is set before the operation takes this lock to hand out its blocks: either
        // the test below sees it, or the watch set here is handed out.
        std::lock_guard lock(operation->mutex_);
        if (operation->enqueued_ || operation->isFinished()) return false;
        operation->enqueued_ = true;
        operation->queue_ = weak_from_this();
        operation->whenFinished_ = std::move(whenFinished);
    }
    std::lock_guard lock(mutex_);
    // It may have finished itself since; it then never takes a slot.
    if (operation->isFinished()) return true;
    pending_.push_back(operation);
    wakeWorkersLocked();
    return true;
}

void OperationQueueCore::operationFinished(const NSOperation* operation) {
    std::lock_guard lock(mutex_);
    auto same = [operation](const auto& o) { return o.get() == operation; };
    if (std::erase_if(active_, same) == 0) std::erase_if(pending_, same);
    wakeWorkersLocked();
    if (pending_.empty() && active_.empty()) doneCv_.notify_all();
}

int OperationQueueCore::maxConcurrent() const {
    std::lock_guard lock(mutex_);
    return maxConcurrent_;
}

void OperationQueueCore::setMaxConcurrent(int count) {
    std::lock_guard lock(mutex_);
    maxConcurrent_ = count < 0 ? -1 : count;
    wakeWorkersLocked();
}

std::vector<std::shared_ptr<NSOperation>> OperationQueueCore::operations() const {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<NSOperation>> all = active_;
    all.insert(all.end(), pending_.begin(), pending_.end());
    return all;
}

std::size_t OperationQueueCore::count() const {
    std::lock_guard lock(mutex_);
    return active_.size() + pending_.size();
}

void OperationQueueCore::cancelAll() {
    // Outside the lock: a subclass's cancel() may finish the operation, which takes it.
    for (auto& operation : operations()) operation->cancel();
}

void OperationQueueCore::waitAll() {
    std::unique_lock lock(mutex_);
    doneCv_.wait(lock, [this] { return pending_.empty() && active_.empty(); });
}

void OperationQueueCore::shutdown() {
    const bool onWorker = tWorkerOf == this;
    if (!onWorker) waitAll();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        workers.swap(workers_);
    }
    workCv_.notify_all();
    for (auto& worker : workers) {
        if (worker.get_id() == std::this_thread::get_id())
            worker.detach();
        else
            worker.join();
    }
}

std::size_t OperationQueueCore::limitLocked() const {
    if (maxConcurrent_ >= 0) return static_cast<std::size_t>(maxConcurrent_);
    return std::max(4u, std::thread::hardware_concurrency());
}

bool OperationQueueCore::canStartLocked() const {
    return !pending_.empty() && active_.size() < limitLocked();
}

void OperationQueueCore::wakeWorkersLocked() {
    if (stopping_ || !canStartLocked()) return;
    const std::size_t startable = std::min(pending_.size(), limitLocked() - active_.size());
    if (startable > idle_ && workers_.size() < limitLocked())
        workers_.emplace_back([self = shared_from_this()] { self->work(); });
    workCv_.notify_all();
}

void OperationQueueCore::work() {
    tWorkerOf = this;
    std::unique_lock lock(mutex_);
    for (;;) {
        while (!stopping_ && !canStartLocked()) {
            ++idle_;
            workCv_.wait(lock);
            --idle_;
        }
        if (stopping_) return;
        // Highest priority first; max_element keeps the earliest of equals, hence FIFO.
        auto next = std::max_element(
            pending_.begin(), pending_.end(),
            [](const auto& a, const auto& b) { return a->queuePriority() < b->queuePriority(); });
        auto operation = *next;
        pending_.erase(next);
        active_.push_back(operation);
        lock.unlock();
        operation->start();
        operation.reset();
        lock.lock();
    }
}
