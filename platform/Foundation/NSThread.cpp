#include "NSThread.h"

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "NSRunLoop.h"

struct NSThread::State {
    std::function<void()> block;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> executing{false};
    std::atomic<bool> finished{false};

    std::mutex mutex;  // guards the four below
    std::condition_variable ready;
    std::string name;
    std::shared_ptr<NSRunLoop> runLoop;
    std::vector<std::function<void()>> early;  // performed before the loop existed

    static void body(const std::shared_ptr<State>& state) {
        auto loop = NSRunLoop::currentRunLoop();
        {
            std::lock_guard lock(state->mutex);
            if (!state->name.empty())
                pthread_setname_np(pthread_self(), state->name.substr(0, 15).c_str());
            for (auto& block : state->early) loop->performBlock(std::move(block));
            state->early.clear();
            state->runLoop = loop;
            state->executing = true;
        }
        state->ready.notify_all();
        if (state->cancelled) loop->stop();
        if (state->block) {
            state->block();
            state->block = nullptr;
        } else {
            loop->run();
        }
        state->executing = false;
        state->finished = true;
        {
            // The loop goes with the thread: whoever still posts to it learns nobody listens.
            std::lock_guard lock(state->mutex);
            state->runLoop.reset();
        }
        state->ready.notify_all();
    }
};

NSThread::NSThread(std::function<void()> block) : state_(std::make_shared<State>()) {
    state_->block = std::move(block);
}

std::shared_ptr<NSThread> NSThread::create(std::function<void()> block) {
    return std::shared_ptr<NSThread>(new NSThread(std::move(block)));
}

std::shared_ptr<NSThread> NSThread::detachNewThreadWithBlock(std::function<void()> block) {
    auto thread = create(std::move(block));
    thread->start();
    return thread;
}

bool NSThread::isMainThread() { return NSRunLoop::isMainThread(); }

NSThread::~NSThread() {
    cancel();
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach();
    else
        thread_.join();
}

void NSThread::start() {
    if (thread_.joinable() || state_->finished) return;
    thread_ = std::thread([state = state_] { State::body(state); });
    std::unique_lock lock(state_->mutex);
    state_->ready.wait(lock, [this] { return state_->runLoop != nullptr || state_->finished; });
}

void NSThread::cancel() {
    state_->cancelled = true;
    if (auto loop = runLoop()) loop->stop();
}

bool NSThread::isCancelled() const { return state_->cancelled; }

bool NSThread::isExecuting() const { return state_->executing; }

bool NSThread::isFinished() const { return state_->finished; }

std::string NSThread::name() const {
    std::lock_guard lock(state_->mutex);
    return state_->name;
}

void NSThread::setName(std::string name) {
    std::lock_guard lock(state_->mutex);
    state_->name = std::move(name);
}

std::shared_ptr<NSRunLoop> NSThread::runLoop() const {
    std::lock_guard lock(state_->mutex);
    return state_->runLoop;
}

void NSThread::performBlock(std::function<void()> block) {
    std::unique_lock lock(state_->mutex);
    if (!state_->runLoop) {
        state_->early.push_back(std::move(block));
        return;
    }
    auto loop = state_->runLoop;
    lock.unlock();
    loop->performBlock(std::move(block));
}
