#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Clock.h"
#include "NSObject.h"
#include "ThreadChecker.h"

class NSTimer;

// One run loop per thread. A turn fires the timers that are due, then the blocks performed
// before the turn began (blocks performed during the turn wait for the next one), then ready
// file descriptors, then the before-waiting observers. With nothing to do it sleeps until the
// next timer, a wake-up from another thread or a ready descriptor.
// The loop belongs to its thread: performBlock, performAfterDelay, stop and wakeUp may come from
// any thread; everything else is for the loop's own thread, and debug and sanitizer builds
// abort on a call from another.
class NSRunLoop : public NSObject {
  public:
    using Block = std::function<void()>;
    using Token = std::uint64_t;

    ~NSRunLoop() override;

    static std::shared_ptr<NSRunLoop> currentRunLoop();
    static std::shared_ptr<NSRunLoop> mainRunLoop();
    static bool isMainThread();
    // Wakes every live run loop, e.g. after the manual clock moved.
    static void wakeAll();

    // Runs the block on a later turn of this loop. Safe from any thread.
    void performBlock(Block block);
    // Runs the block after the delay on this loop (0 means the next turn), FIFO among equal delays.
    // From another thread the delay counts from the call; the loop schedules the timer on its
    // next turn.
    std::shared_ptr<NSTimer> performAfterDelay(NSTimeInterval delay, Block block);
    // Schedules the timer at its fire date, or moves it there if it is scheduled already.
    void addTimer(const std::shared_ptr<NSTimer>& timer);

    // A descriptor watched with poll(2); the handler receives the returned events.
    Token addFileDescriptor(int fd, short events, std::function<void(short)> handler);
    void removeFileDescriptor(Token token);

    // Called at the end of every turn that did work and before the loop sleeps.
    Token addBeforeWaitingObserver(Block observer);
    void removeBeforeWaitingObserver(Token token);

    // One turn. Waits up to maxWait seconds (real time) for work when none is ready.
    // Returns whether anything ran.
    bool runOnce(CFTimeInterval maxWait = 0);
    // Turns until a turn finds nothing to do (bounded, so a self-feeding loop cannot hang).
    void runUntilIdle();
    // Turns until the predicate holds or the real-time timeout passes; returns the predicate.
    bool runUntil(const std::function<bool()>& predicate, CFTimeInterval timeoutSeconds);
    // Turns until stop() is called.
    void run();
    void stop();

    void wakeUp();
    std::thread::id threadId() const { return thread_; }
    // The earliest fire date of a valid timer, or a negative value when there is none.
    CFTimeInterval nextTimerDate();

  private:
    explicit NSRunLoop(std::thread::id owner);
    static std::shared_ptr<NSRunLoop> makeForCurrentThread();

    bool isCurrent() const { return std::this_thread::get_id() == thread_; }
    void unscheduleTimer(const NSTimer& timer);
    std::vector<std::shared_ptr<NSTimer>> takeDueTimers(CFTimeInterval now);
    bool fireDueTimers();
    bool runPerformed();
    bool pollSources(int timeoutMs);
    void notifyBeforeWaiting();

    std::thread::id thread_;
    ThreadChecker threadChecker_;
    int wakeFd_ = -1;

    std::mutex mutex_;  // guards performed_
    std::deque<Block> performed_;

    // Timers in firing order: by date, then by when they were scheduled, so that equal dates
    // fire in scheduling order. timerPlaces_ finds a scheduled timer when it moves.
    using TimerQueue = std::map<std::pair<CFTimeInterval, std::uint64_t>, std::shared_ptr<NSTimer>>;
    TimerQueue timers_;
    std::unordered_map<const NSTimer*, TimerQueue::iterator> timerPlaces_;
    std::uint64_t timerSeq_ = 0;

    struct Source {
        int fd;
        short events;
        std::shared_ptr<std::function<void(short)>> handler;
    };
    std::map<Token, Source> sources_;
    std::vector<std::pair<Token, std::shared_ptr<Block>>> observers_;
    Token nextToken_ = 1;
    bool stopped_ = false;
    bool inObservers_ = false;
};
