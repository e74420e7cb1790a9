#include "Dispatch.h"

#include <algorithm>
#include <array>
#include <thread>

#include "NSRunLoop.h"

namespace {

// The shared workers behind every queue but the main one. Lanes are served highest priority
// first. A worker that blocks in a sync wait is not counted, so waits cannot starve the pool of
// the very threads that would end them; extra threads made that way stay for later use.
class ThreadPool {
  public:
    using Block = std::function<void()>;

    ThreadPool() : target_(std::max(4u, std::thread::hardware_concurrency())) {}

    ~ThreadPool() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        cv_.notify_all();
        for (auto& t : threads_) t.join();
    }

    void submit(DispatchQueuePriority priority, Block block) {
        std::lock_guard lock(mutex_);
        lanes_[static_cast<std::size_t>(priority)].push_back(std::move(block));
        ++queued_;
        growIfStarvedLocked();
        cv_.notify_one();
    }

    void blockingBegin() {
        if (!tIsWorker) return;
        std::lock_guard lock(mutex_);
        ++blocked_;
        growIfStarvedLocked();
    }

    void blockingEnd() {
        if (!tIsWorker) return;
        std::lock_guard lock(mutex_);
        --blocked_;
    }

  private:
    void growIfStarvedLocked() {
        if (stopping_ || queued_ <= idle_) return;
        if (threads_.size() - blocked_ >= target_) return;
        threads_.emplace_back([this] { work(); });
    }

    void work() {
        tIsWorker = true;
        std::unique_lock lock(mutex_);
        for (;;) {
            while (!stopping_ && queued_ == 0) {
                ++idle_;
                cv_.wait(lock);
                --idle_;
            }
            if (stopping_) return;
            auto lane = std::find_if(lanes_.begin(), lanes_.end(),
                                     [](const auto& l) { return !l.empty(); });
            Block block = std::move(lane->front());
            lane->pop_front();
            --queued_;
            lock.unlock();
            block();
            block = nullptr;  // captured state goes before the lock is retaken
            lock.lock();
        }
    }

    static thread_local bool tIsWorker;

    const std::size_t target_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::array<std::deque<Block>, 4> lanes_;
    std::size_t queued_ = 0;
    std::size_t idle_ = 0;
    std::size_t blocked_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

thread_local bool ThreadPool::tIsWorker = false;

ThreadPool& pool() {
    static ThreadPool instance;
    return instance;
}

// Queues whose blocks this thread is inside of, innermost last.
thread_local std::vector<const DispatchQueue*> tRunning;

class RunningScope {
  public:
    explicit RunningScope(const DispatchQueue* queue) { tRunning.push_back(queue); }
    ~RunningScope() { tRunning.pop_back(); }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;
};

// Blocks until a flag is raised, telling the pool the thread is waiting.
struct Latch {
    std::mutex mutex;
    std::condition_variable cv;
    bool raised = false;

    void raise() {
        std::lock_guard lock(mutex);
        raised = true;
        cv.notify_all();
    }
    void wait() {
        pool().blockingBegin();
        std::unique_lock lock(mutex);
        cv.wait(lock, [this] { return raised; });
        lock.unlock();
        pool().blockingEnd();
    }
};

}  // namespace

struct DispatchQueue::Waiter : Latch {};

DispatchQueue::DispatchQueue(Kind kind, std::string label, DispatchQueuePriority priority)
    : kind_(kind), label_(std::move(label)), priority_(priority) {}

// The shared queues are never destroyed: a pool worker still finishing a block while the process
// exits may reach for them after the statics made later than the pool are gone.
std::shared_ptr<DispatchQueue> DispatchQueue::main() {
    static const auto* queue = new std::shared_ptr<DispatchQueue>(
        new DispatchQueue(Kind::Main, "main", DispatchQueuePriority::Default));
    return *queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::global(DispatchQueuePriority priority) {
    static const auto* queues = new std::array<std::shared_ptr<DispatchQueue>, 4>([] {
        const char* labels[] = {"global.high", "global.default", "global.low", "global.background"};
        std::array<std::shared_ptr<DispatchQueue>, 4> made;
        for (std::size_t i = 0; i < made.size(); ++i)
            made[i].reset(
                new DispatchQueue(Kind::Global, labels[i], static_cast<DispatchQueuePriority>(i)));
        return made;
    }());
    return (*queues)[static_cast<std::size_t>(priority)];
}

std::shared_ptr<DispatchQueue> DispatchQueue::createSerial(std::string label) {
    return std::shared_ptr<DispatchQueue>(
        new DispatchQueue(Kind::Serial, std::move(label), DispatchQueuePriority::Default));
}

std::shared_ptr<DispatchQueue> DispatchQueue::createConcurrent(std::string label) {
    return std::shared_ptr<DispatchQueue>(
        new DispatchQueue(Kind::Concurrent, std::move(label), DispatchQueuePriority::Default));
}

void DispatchQueue::async(Block block) { submit(std::move(block), false); }

void DispatchQueue::barrierAsync(Block block) { submit(std::move(block), true); }

void DispatchQueue::sync(const Block& block) { runSync(block, false); }

void DispatchQueue::barrierSync(const Block& block) { runSync(block, true); }

void DispatchQueue::after(NSTimeInterval delay, Block block) {
    if (!block) return;
    auto mainLoop = NSRunLoop::mainRunLoop();
    if (kind_ == Kind::Main) {
        mainLoop->performAfterDelay(delay, std::move(block));
        return;
    }
    mainLoop->performAfterDelay(
        delay, [self = sharedSelf<DispatchQueue>(), block = std::move(block)]() mutable {
            self->async(std::move(block));
        });
}

void DispatchQueue::submit(Block block, bool barrier) {
    if (!block) return;
    switch (kind_) {
        case Kind::Main:
            NSRunLoop::mainRunLoop()->performBlock(std::move(block));
            return;
        case Kind::Global:
            pool().submit(priority_, std::move(block));
            return;
        case Kind::Serial:
        case Kind::Concurrent:
            break;
    }
    std::vector<Item> runnable;
    {
        std::lock_guard lock(mutex_);
        items_.push_back(Item{std::move(block), barrier, nullptr});
        takeRunnableLocked(runnable);
    }
    launch(runnable);
}

void DispatchQueue::runSync(const Block& block, bool barrier) {
    if (!block) return;
    // Waiting on a queue from inside its own block could never end; run it in place instead.
    if (kind_ == Kind::Global || runningOnThisThread()) {
        RunningScope scope(this);
        block();
        return;
    }
    if (kind_ == Kind::Main) {
        if (NSRunLoop::isMainThread()) {
            block();
            return;
        }
        auto done = std::make_shared<Latch>();
        NSRunLoop::mainRunLoop()->performBlock([&block, done] {
            block();
            done->raise();
        });
        done->wait();
        return;
    }

    auto waiter = std::make_shared<Waiter>();
    std::vector<Item> runnable;
    {
        std::lock_guard lock(mutex_);
        items_.push_back(Item{nullptr, barrier, waiter});
        takeRunnableLocked(runnable);
    }
    launch(runnable);
    waiter->wait();
    {
        RunningScope scope(this);
        block();
    }
    std::vector<Item> next;
    finished(barrier || kind_ == Kind::Serial, next);
    launch(next);
}

bool DispatchQueue::runningOnThisThread() const {
    return std::find(tRunning.begin(), tRunning.end(), this) != tRunning.end();
}

void DispatchQueue::takeRunnableLocked(std::vector<Item>& out) {
    while (!items_.empty() && !exclusiveRunning_) {
        if (isExclusive(items_.front())) {
            if (running_ > 0) return;
            exclusiveRunning_ = true;
        } else {
            ++running_;
        }
        out.push_back(std::move(items_.front()));
        items_.pop_front();
    }
}

void DispatchQueue::launch(std::vector<Item>& items) {
    for (auto& item : items) {
        if (item.waiter) {
            item.waiter->raise();
            continue;
        }
        pool().submit(priority_,
                      [self = sharedSelf<DispatchQueue>(), item = std::move(item)]() mutable {
                          self->drainFrom(std::move(item));
                      });
    }
    items.clear();
}

// Runs the item, then keeps this pool thread on the queue while the next block may run at once,
// which spares a serial queue under load a hand-off per block.
void DispatchQueue::drainFrom(Item item) {
    for (;;) {
        {
            RunningScope scope(this);
            item.block();
        }
        std::vector<Item> next;
        finished(isExclusive(item), next);
        auto own = std::find_if(next.begin(), next.end(), [](const Item& i) { return !i.waiter; });
        if (own == next.end()) {
            launch(next);
            return;
        }
        item = std::move(*own);
        next.erase(own);
        launch(next);
    }
}

void DispatchQueue::finished(bool exclusive, std::vector<Item>& next) {
    std::lock_guard lock(mutex_);
    if (exclusive)
        exclusiveRunning_ = false;
    else
        --running_;
    takeRunnableLocked(next);
}

std::shared_ptr<DispatchGroup> DispatchGroup::create() {
    return std::shared_ptr<DispatchGroup>(new DispatchGroup());
}

void DispatchGroup::enter() {
    std::lock_guard lock(mutex_);
    ++count_;
}

void DispatchGroup::leave() {
    std::vector<std::pair<std::shared_ptr<DispatchQueue>, Block>> due;
    {
        std::lock_guard lock(mutex_);
        // An unbalanced leave would otherwise wrap the count and hang every later wait.
        if (count_ == 0) return;
        if (--count_ > 0) return;
        due.swap(notify_);
        emptied_.notify_all();
    }
    for (auto& [queue, block] : due) queue->async(std::move(block));
}

void DispatchGroup::async(const std::shared_ptr<DispatchQueue>& queue, Block block) {
    enter();
    queue->async([self = sharedSelf<DispatchGroup>(), block = std::move(block)] {
        block();
        self->leave();
    });
}

void DispatchGroup::wait() {
    pool().blockingBegin();
    std::unique_lock lock(mutex_);
    emptied_.wait(lock, [this] { return count_ == 0; });
    lock.unlock();
    pool().blockingEnd();
}

void DispatchGroup::notify(const std::shared_ptr<DispatchQueue>& queue, Block block) {
    {
        std::lock_guard lock(mutex_);
        if (count_ > 0) {
            notify_.emplace_back(queue, std::move(block));
            return;
        }
    }
    queue->async(std::move(block));
}
