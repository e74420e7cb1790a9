#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Foundation/NSObject.h"
#include "VAGetMapDataOperation.h"

// Runs legacy map data operations one at a time on a thread of its own, highest priority first
// and, among equal priorities, newest first.
class VAGetMapDataOperationQueue : public NSObject {
  public:
    static std::shared_ptr<VAGetMapDataOperationQueue> sharedQueue();
    ~VAGetMapDataOperationQueue() override;

    void addOperation(const std::shared_ptr<VAGetMapDataOperation>& operation);
    // Waiting operations, in the order they will run.
    std::vector<std::shared_ptr<VAGetMapDataOperation>> operations();
    std::size_t operationCount();
    std::shared_ptr<VAGetMapDataOperation> runningOperation();
    // Take and release the lock only, as the queue always did.
    void cancelAllOperations();
    void waitUntilAllOperationsAreFinished();

  private:
    VAGetMapDataOperationQueue();
    void opThread();

    std::mutex lock_;  // guards everything below
    std::condition_variable changed_;
    std::deque<std::shared_ptr<VAGetMapDataOperation>> operationList_;
    std::shared_ptr<VAGetMapDataOperation> runningOperation_;
    bool stopping_ = false;
    std::thread thread_;
};
