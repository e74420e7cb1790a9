#pragma once

// Work queues in the manner of the platform's dispatch library, shaped as C++ objects:
//   dispatch_get_main_queue()           -> DispatchQueue::main()
//   dispatch_get_global_queue(prio, 0)  -> DispatchQueue::global(DispatchQueuePriority::...)
//   dispatch_queue_create(l, SERIAL)    -> DispatchQueue::createSerial(label)
//   dispatch_queue_create(l, CONCURRENT)-> DispatchQueue::createConcurrent(label)
//   dispatch_async / dispatch_sync      -> queue->async(block) / queue->sync(block)
//   dispatch_barrier_async / _sync      -> queue->barrierAsync(block) / queue->barrierSync(block)
//   dispatch_after                      -> queue->after(seconds, block)
//   dispatch_once                       -> dispatchOnce(token, block)
//   dispatch_group_*                    -> DispatchGroup
//
// The main queue is the main run loop: its blocks run on later turns, FIFO, even when queued
// from the main thread. Every other queue runs on one small process-wide thread pool; serial and
// concurrent queues keep their own order and only borrow pool threads. A sync call runs its block
// on the calling thread once the queue lets it, as the platform does, so waiting callers never
// tie up pool threads. Timers of every queue live on the main run loop, which is what lets the
// manual clock drive them in tests.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "Clock.h"
#include "NSObject.h"

enum class DispatchQueuePriority { High, Default, Low, Background };

class DispatchQueue : public NSObject {
  public:
    using Block = std::function<void()>;

    static std::shared_ptr<DispatchQueue> main();
    static std::shared_ptr<DispatchQueue> global(
        DispatchQueuePriority priority = DispatchQueuePriority::Default);
    static std::shared_ptr<DispatchQueue> createSerial(std::string label);
    static std::shared_ptr<DispatchQueue> createConcurrent(std::string label);

    const std::string& label() const { return label_; }

    void async(Block block);
    void sync(const Block& block);
    // On the main, global and serial queues a barrier is an ordinary block: the first two do not
    // honour barriers (as on the platform) and the last is exclusive anyway.
    void barrierAsync(Block block);
    void barrierSync(const Block& block);
    // Runs the block on this queue once the delay has passed on Clock's scale.
    void after(NSTimeInterval delay, Block block);

  private:
    enum class Kind { Main, Global, Serial, Concurrent };
    struct Waiter;
    struct Item {
        Block block;
        bool barrier = false;
        std::shared_ptr<Waiter> waiter;  // set for a sync caller waiting for its turn
    };

    DispatchQueue(Kind kind, std::string label, DispatchQueuePriority priority);

    void submit(Block block, bool barrier);
    void runSync(const Block& block, bool barrier);
    bool isExclusive(const Item& item) const { return item.barrier || kind_ == Kind::Serial; }
    void takeRunnableLocked(std::vector<Item>& out);
    void launch(std::vector<Item>& items);
    void drainFrom(Item item);
    void finished(bool exclusive, std::vector<Item>& next);
    bool runningOnThisThread() const;

    const Kind kind_;
    const std::string label_;
    const DispatchQueuePriority priority_;

    std::mutex mutex_;  // guards the three below
    std::deque<Item> items_;
    int running_ = 0;  // non-exclusive blocks in flight
    bool exclusiveRunning_ = false;
};

using DispatchOnceToken = std::once_flag;

template <class F>
void dispatchOnce(DispatchOnceToken& token, F&& block) {
    std::call_once(token, std::forward<F>(block));
}

// Tracks a set of blocks: wait for all of them, or have a block queued when the last one ends.
class DispatchGroup : public NSObject {
  public:
    using Block = std::function<void()>;

    static std::shared_ptr<DispatchGroup> create();

    void enter();
    void leave();
    void async(const std::shared_ptr<DispatchQueue>& queue, Block block);
    void wait();
    void notify(const std::shared_ptr<DispatchQueue>& queue, Block block);

  private:
    DispatchGroup() = default;

    std::mutex mutex_;
    std::condition_variable emptied_;
    std::size_t count_ = 0;
    std::vector<std::pair<std::shared_ptr<DispatchQueue>, Block>> notify_;
};
