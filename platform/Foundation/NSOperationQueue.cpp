#include "NSOperationQueue.h"

#include "OperationQueueCore.h"

NSOperationQueue::NSOperationQueue() : core_(std::make_shared<OperationQueueCore>()) {}

NSOperationQueue::~NSOperationQueue() { core_->shutdown(); }

std::shared_ptr<NSOperationQueue> NSOperationQueue::create() {
    return std::shared_ptr<NSOperationQueue>(new NSOperationQueue());
}

bool NSOperationQueue::addOperation(const std::shared_ptr<NSOperation>& operation) {
    return core_->add(operation, nullptr);
}

bool NSOperationQueue::addOperation(const std::shared_ptr<NSOperation>& operation,
                                    std::function<void()> whenFinished) {
    return core_->add(operation, std::move(whenFinished));
}

void NSOperationQueue::addOperationWithBlock(std::function<void()> block) {
    core_->add(NSBlockOperation::blockOperationWithBlock(std::move(block)), nullptr);
}

int NSOperationQueue::maxConcurrentOperationCount() const { return core_->maxConcurrent(); }

void NSOperationQueue::setMaxConcurrentOperationCount(int count) { core_->setMaxConcurrent(count); }

std::vector<std::shared_ptr<NSOperation>> NSOperationQueue::operations() const {
    return core_->operations();
}

std::size_t NSOperationQueue::operationCount() const { return core_->count(); }

void NSOperationQueue::cancelAllOperations() { core_->cancelAll(); }

void NSOperationQueue::waitUntilAllOperationsAreFinished() { core_->waitAll(); }
