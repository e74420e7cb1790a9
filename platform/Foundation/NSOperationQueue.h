#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "NSObject.h"
#include "NSOperation.h"

// Runs operations on worker threads of its own, at most maxConcurrentOperationCount at a time
// (counting concurrent operations until they finish themselves). Among operations waiting for a
// slot the highest queuePriority starts first, and equal priorities start in the order added.
// Workers are made as slots are used and joined when the queue goes; destroying the queue first
// waits for its operations, so owners cancel them beforehand when they must not wait.
class NSOperationQueue : public NSObject {
  public:
    // Without a limit set, as many operations run as the machine has cores (at least 4).
    static constexpr int NSOperationQueueDefaultMaxConcurrentOperationCount = -1;

    static std::shared_ptr<NSOperationQueue> create();
    ~NSOperationQueue() override;

    // Returns false, and leaves the operation alone, when it is already in a queue or finished.
    bool addOperation(const std::shared_ptr<NSOperation>& operation);
    // The same, and once the operation it took has finished, `whenFinished` runs on the thread
    // that finished it, after the operation's completion block. For an owner that counts what
    // it queued: the test and the watch are one step, so that an operation another queue holds
    // or that has finished is refused before anything of it changes, and the completion block,
    // its maker's, stays as it is.
    bool addOperation(const std::shared_ptr<NSOperation>& operation,
                      std::function<void()> whenFinished);
    void addOperationWithBlock(std::function<void()> block);

    int maxConcurrentOperationCount() const;
    void setMaxConcurrentOperationCount(int count);

    // Operations added and not yet finished.
    std::vector<std::shared_ptr<NSOperation>> operations() const;
    std::size_t operationCount() const;

    void cancelAllOperations();
    // Must not be called from one of this queue's operations, which would wait for itself.
    void waitUntilAllOperationsAreFinished();

  private:
    NSOperationQueue();

    std::shared_ptr<OperationQueueCore> core_;
};
