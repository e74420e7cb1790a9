#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Deadline.h"
#include "Foundation/NSOperation.h"
#include "Foundation/NSOperationQueue.h"
#include "Gate.h"

namespace {

using testsupport::Gate;

// Starts its work elsewhere and returns; finishes only when told to, like a transfer.
class TransferOperation : public NSOperation {
  public:
    bool isConcurrent() const override { return true; }
    void start() override {
        if (isCancelled()) {
            setFinished(true);
            return;
        }
        setExecuting(true);
        started = true;
    }
    void transferEnded() {
        setExecuting(false);
        setFinished(true);
    }
    std::atomic<bool> started{false};
};

std::shared_ptr<NSBlockOperation> op(std::function<void()> block) {
    return NSBlockOperation::blockOperationWithBlock(std::move(block));
}

TEST(OperationQueueTest, LimitOfTwoRunsTwoAtOnceButNeverThree) {
    auto queue = NSOperationQueue::create();
    queue->setMaxConcurrentOperationCount(2);
    std::atomic<int> running{0};
    std::atomic<int> maxRunning{0};
    std::atomic<int> completions{0};
    std::atomic<bool> paired{false};
    for (int i = 0; i < 40; ++i) {
        auto operation = op([&, i] {
            const int now = ++running;
            int seen = maxRunning.load();
            while (now > seen && !maxRunning.compare_exchange_weak(seen, now)) {
            }
            // The first two wait for each other, which proves the queue runs two together.
            if (i < 2 && testsupport::waitUntil([&] { return running.load() >= 2; })) paired = true;
            testsupport::busyFor(200e-6);  // a window for a third to start in
            --running;
        });
        operation->setCompletionBlock([&] { ++completions; });
        EXPECT_TRUE(queue->addOperation(operation));
    }
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(paired.load());
    EXPECT_EQ(maxRunning.load(), 2);
    EXPECT_EQ(completions.load(), 40);
}

TEST(OperationQueueTest, HigherPriorityStartsFirstAndEqualPrioritiesInOrder) {
    auto queue = NSOperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    Gate gate;
    std::atomic<bool> holding{false};
    queue->addOperation(op([&] {
        holding = true;
        gate.pass();
    }));
    ASSERT_TRUE(testsupport::waitUntil([&] { return holding.load(); }));
    std::vector<std::string> order;  // written by one worker at a time
    auto add = [&](const char* name, NSOperationQueuePriority priority) {
        auto operation = op([&order, name] { order.emplace_back(name); });
        operation->setQueuePriority(priority);
        queue->addOperation(operation);
    };
    add("low", NSOperationQueuePriorityLow);
    add("normal1", NSOperationQueuePriorityNormal);
    add("veryHigh", NSOperationQueuePriorityVeryHigh);
    add("veryLow", NSOperationQueuePriorityVeryLow);
    add("normal2", NSOperationQueuePriorityNormal);
    add("high", NSOperationQueuePriorityHigh);
    gate.open();
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(order, (std::vector<std::string>{"veryHigh", "high", "normal1", "normal2", "low",
                                               "veryLow"}));
}

TEST(OperationQueueTest, CancelledOperationsNeverRunTheirBlocks) {
    auto queue = NSOperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    Gate gate;
    auto holder = op([&] { gate.pass(); });
    queue->addOperation(holder);
    std::atomic<int> ran{0};
    std::atomic<int> completions{0};
    std::vector<std::shared_ptr<NSBlockOperation>> waiting;
    for (int i = 0; i < 5; ++i) {
        waiting.push_back(op([&] { ++ran; }));
        waiting.back()->setCompletionBlock([&] { ++completions; });
        queue->addOperation(waiting.back());
    }
    waiting[0]->cancel();
    queue->cancelAllOperations();
    EXPECT_TRUE(holder->isCancelled());  // it runs on: a started block is not interrupted
    gate.open();
    queue->waitUntilAllOperationsAreFinished();

    EXPECT_EQ(ran.load(), 0);
    EXPECT_EQ(completions.load(), 5);
    for (const auto& operation : waiting) {
        EXPECT_TRUE(operation->isFinished());
        EXPECT_FALSE(operation->isExecuting());
    }
    EXPECT_FALSE(queue->addOperation(waiting[0])) << "a finished operation cannot be queued again";
}

TEST(OperationQueueTest, ConcurrentOperationHoldsItsSlotUntilItFinishesItself) {
    auto queue = NSOperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    auto transfer = std::make_shared<TransferOperation>();
    std::atomic<bool> transferDone{false};
    transfer->setCompletionBlock([&] { transferDone = true; });
    std::atomic<bool> nextRan{false};
    std::atomic<bool> nextSawTransferFinished{false};
    ASSERT_TRUE(queue->addOperation(transfer));
    EXPECT_FALSE(queue->addOperation(transfer));
    queue->addOperation(op([&] {
        nextSawTransferFinished = transfer->isFinished();
        nextRan = true;
    }));

    ASSERT_TRUE(testsupport::waitUntil([&] { return transfer->started.load(); }));
    EXPECT_TRUE(transfer->isExecuting());
    EXPECT_FALSE(nextRan.load());
    EXPECT_EQ(queue->operationCount(), 2u);

    std::thread ender([&] { transfer->transferEnded(); });
    ender.join();
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(transferDone.load());
    EXPECT_TRUE(nextRan.load());
    EXPECT_TRUE(nextSawTransferFinished.load()) << "the next operation took a held slot";
}

// An owner's watch comes with its queue taking the operation, in one step, while another queue
// adds the same operation and a third thread finishes it: a watch runs once where its queue took
// the operation and never elsewhere, and the block the operation's maker set runs once.
TEST(OperationQueueTest, AWatchComesOnlyWithTheOperationItsQueueTakes) {
    constexpr int kRounds = 100;
    constexpr int kQueues = 2;
    for (int round = 0; round < kRounds; ++round) {
        const auto transfer = std::make_shared<TransferOperation>();
        std::atomic<int> completions{0};
        transfer->setCompletionBlock([&] { ++completions; });
        std::shared_ptr<NSOperationQueue> queues[kQueues];
        for (auto& queue : queues) queue = NSOperationQueue::create();
        std::atomic<int> watched[kQueues] = {};
        bool taken[kQueues] = {};
        std::atomic<int> ready{0};
        const auto begin = [&] {
            ++ready;
            while (ready.load() < kQueues + 1) std::this_thread::yield();
        };
        std::vector<std::thread> threads;
        for (int i = 0; i < kQueues; ++i) {
            threads.emplace_back([&, i] {
                begin();
                taken[i] = queues[i]->addOperation(transfer, [&watched, i] { ++watched[i]; });
            });
        }
        threads.emplace_back([&] {
            begin();
            transfer->transferEnded();
        });
        for (auto& thread : threads) thread.join();

        ASSERT_LE(std::count(std::begin(taken), std::end(taken), true), 1) << "round " << round;
        ASSERT_TRUE(testsupport::waitUntil([&] { return completions.load() == 1; }));
        for (int i = 0; i < kQueues; ++i) {
            if (taken[i]) {
                ASSERT_TRUE(testsupport::waitUntil([&] { return watched[i] == 1; }));
            }
        }
        for (auto& queue : queues) queue->waitUntilAllOperationsAreFinished();
        for (int i = 0; i < kQueues; ++i) {
            ASSERT_EQ(watched[i].load(), taken[i] ? 1 : 0) << "round " << round << " queue " << i;
        }
        EXPECT_FALSE(queues[0]->addOperation(transfer, [&] { ++watched[0]; }));
        EXPECT_EQ(completions.load(), 1);
    }
}

TEST(OperationQueueTest, DestroyingTheQueueWaitsForItsOperationsAndJoinsWorkers) {
    std::atomic<int> ran{0};
    std::weak_ptr<NSBlockOperation> last;
    {
        auto queue = NSOperationQueue::create();
        queue->setMaxConcurrentOperationCount(3);
        for (int i = 0; i < 30; ++i) {
            auto operation = op([&] { ++ran; });
            last = operation;
            queue->addOperation(operation);
        }
        queue->addOperationWithBlock([&] { ++ran; });
    }
    EXPECT_EQ(ran.load(), 31);
    EXPECT_TRUE(last.expired()) << "the queue keeps no finished operation";
}

}  // namespace
