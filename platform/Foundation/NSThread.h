#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "NSObject.h"

class NSRunLoop;

// A thread owned by whoever holds it: it is cancelled, its run loop stopped and the thread
// joined when the last reference goes, so a looping block must watch a flag its owner clears
// first. Made without a block, the thread runs its own run loop until cancelled, and
// performBlock() hands it work.
class NSThread : public NSObject {
  public:
    static std::shared_ptr<NSThread> create(std::function<void()> block = {});
    // Made and started at once, as the platform's detached threads are.
    static std::shared_ptr<NSThread> detachNewThreadWithBlock(std::function<void()> block);
    static bool isMainThread();

    ~NSThread() override;

    // Returns once the thread runs and its run loop exists. Starting twice does nothing.
    void start();
    void cancel();
    bool isCancelled() const;
    bool isExecuting() const;
    bool isFinished() const;

    // Set before start() it also names the system thread (first 15 bytes, the kernel's limit).
    std::string name() const;
    void setName(std::string name);

    // The thread's run loop; null until started and once the thread has ended.
    std::shared_ptr<NSRunLoop> runLoop() const;
    // Runs the block on the thread's run loop. Blocks given before start() run once it starts.
    void performBlock(std::function<void()> block);

  private:
    // Shared with the running thread, which may outlive this object when it drops the last
    // reference itself (it is then detached rather than joined).
    struct State;

    explicit NSThread(std::function<void()> block);

    std::shared_ptr<State> state_;
    std::thread thread_;
};
