#include "NSRunLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "NSTimer.h"

namespace {

// Captured during static initialisation, which runs on the process's main thread.
const std::thread::id gMainThread = std::this_thread::get_id();

std::mutex gRegistryMutex;
std::vector<std::weak_ptr<NSRunLoop>>& registry() {
    static std::vector<std::weak_ptr<NSRunLoop>> loops;
    return loops;
}

thread_local std::shared_ptr<NSRunLoop> tCurrent;

std::shared_ptr<NSRunLoop>& mainLoopSlot() {
    static std::shared_ptr<NSRunLoop> loop;
    return loop;
}
std::mutex gMainMutex;

}  // namespace

NSRunLoop::NSRunLoop(std::thread::id owner) : thread_(owner), threadChecker_("NSRunLoop", owner) {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) throw std::runtime_error("eventfd failed");
}

NSRunLoop::~NSRunLoop() {
    if (wakeFd_ >= 0) close(wakeFd_);
}

std::shared_ptr<NSRunLoop> NSRunLoop::makeForCurrentThread() {
    auto loop = std::shared_ptr<NSRunLoop>(new NSRunLoop(std::this_thread::get_id()));
    std::lock_guard lock(gRegistryMutex);
    auto& loops = registry();
    std::erase_if(loops, [](const auto& w) { return w.expired(); });
    loops.push_back(loop);
    return loop;
}

std::shared_ptr<NSRunLoop> NSRunLoop::currentRunLoop() {
    if (isMainThread()) return mainRunLoop();
    if (!tCurrent) tCurrent = makeForCurrentThread();
    return tCurrent;
}

std::shared_ptr<NSRunLoop> NSRunLoop::mainRunLoop() {
    std::lock_guard lock(gMainMutex);
    auto& slot = mainLoopSlot();
    if (!slot) {
        slot = std::shared_ptr<NSRunLoop>(new NSRunLoop(gMainThread));
        std::lock_guard reg(gRegistryMutex);
        registry().push_back(slot);
    }
    return slot;
}

bool NSRunLoop::isMainThread() { return std::this_thread::get_id() == gMainThread; }

void NSRunLoop::wakeAll() {
    std::vector<std::shared_ptr<NSRunLoop>> loops;
    {
        std::lock_guard lock(gRegistryMutex);
        for (auto& w : registry())
            if (auto l = w.lock()) loops.push_back(std::move(l));
    }
    for (auto& l : loops) l->wakeUp();
}

void NSRunLoop::wakeUp() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = write(wakeFd_, &one, sizeof one);
}

void NSRunLoop::performBlock(Block block) {
    {
        std::lock_guard lock(mutex_);
        performed_.push_back(std::move(block));
    }
    wakeUp();
}

std::shared_ptr<NSTimer> NSRunLoop::performAfterDelay(NSTimeInterval delay, Block block) {
    auto timer = NSTimer::timerWithTimeInterval(delay, false,
                                                [block = std::move(block)](NSTimer&) { block(); });
    if (isCurrent()) {
        addTimer(timer);
    } else {
        // The block lives in this loop, so the loop is there when it runs.
        performBlock([this, timer] { addTimer(timer); });
    }
    return timer;
}

void NSRunLoop::addTimer(const std::shared_ptr<NSTimer>& timer) {
    threadChecker_.verifyThread();
    unscheduleTimer(*timer);
    timer->didScheduleIn({}, std::static_pointer_cast<NSRunLoop>(shared_from_this()));
    const auto placed = timers_.emplace(std::make_pair(timer->fireDate(), timerSeq_++), timer);
    timerPlaces_.emplace(timer.get(), placed.first);
}

void NSRunLoop::unscheduleTimer(const NSTimer& timer) {
    const auto place = timerPlaces_.find(&timer);
    if (place == timerPlaces_.end()) return;
    timers_.erase(place->second);
    timerPlaces_.erase(place);
}

CFTimeInterval NSRunLoop::nextTimerDate() {
    threadChecker_.verifyThread();
    while (!timers_.empty() && !timers_.begin()->second->isValid())
        unscheduleTimer(*timers_.begin()->second);
    return timers_.empty() ? -1 : timers_.begin()->first.first;
}

std::vector<std::shared_ptr<NSTimer>> NSRunLoop::takeDueTimers(CFTimeInterval now) {
    std::vector<std::shared_ptr<NSTimer>> due;
    while (!timers_.empty() && timers_.begin()->first.first <= now) {
        due.push_back(timers_.begin()->second);
        unscheduleTimer(*due.back());
    }
    return due;
}

bool NSRunLoop::fireDueTimers() {
    bool ran = false;
    for (auto& timer : takeDueTimers(Clock::now())) {
        // An earlier block this turn may have invalidated it or moved its date.
        if (!timer->isValid() || timerPlaces_.contains(timer.get())) continue;
        ran = true;
        timer->fire();
        // A block that set a new fire date has scheduled the timer already; that date stands.
        if (!timer->repeats() || !timer->isValid() || timerPlaces_.contains(timer.get())) continue;
        timer->advanceSchedule({}, Clock::now());
        addTimer(timer);
    }
    return ran;
}

bool NSRunLoop::runPerformed() {
    std::deque<Block> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(performed_);
    }
    for (auto& block : batch) block();
    return !batch.empty();
}

bool NSRunLoop::pollSources(int timeoutMs) {
    std::vector<pollfd> fds;
    std::vector<Token> tokens;
    fds.push_back({wakeFd_, POLLIN, 0});
    for (const auto& [token, src] : sources_) {
        fds.push_back({src.fd, src.events, 0});
        tokens.push_back(token);
    }
    int n = ::poll(fds.data(), fds.size(), timeoutMs);
    if (n <= 0) return false;
    if (fds[0].revents & POLLIN) {
        std::uint64_t v;
        while (read(wakeFd_, &v, sizeof v) > 0) {
        }
    }
    bool ran = false;
    for (size_t i = 1; i < fds.size(); ++i) {
        if (!fds[i].revents) continue;
        auto it = sources_.find(tokens[i - 1]);
        if (it == sources_.end()) continue;  // removed by an earlier handler this turn
        auto handler = it->second.handler;
        (*handler)(fds[i].revents);
        ran = true;
    }
    return ran;
}

NSRunLoop::Token NSRunLoop::addFileDescriptor(int fd, short events,
                                              std::function<void(short)> handler) {
    threadChecker_.verifyThread();
    const Token t = nextToken_++;
    sources_[t] =
        Source{fd, events, std::make_shared<std::function<void(short)>>(std::move(handler))};
    return t;
}

void NSRunLoop::removeFileDescriptor(Token token) {
    threadChecker_.verifyThread();
    sources_.erase(token);
}

NSRunLoop::Token NSRunLoop::addBeforeWaitingObserver(Block observer) {
    threadChecker_.verifyThread();
    const Token t = nextToken_++;
    observers_.emplace_back(t, std::make_shared<Block>(std::move(observer)));
    return t;
}

void NSRunLoop::removeBeforeWaitingObserver(Token token) {
    threadChecker_.verifyThread();
    std::erase_if(observers_, [token](const auto& o) { return o.first == token; });
}

void NSRunLoop::notifyBeforeWaiting() {
    if (inObservers_) return;
    inObservers_ = true;
    auto copy = observers_;
    for (auto& [token, obs] : copy) {
        // One removed by an earlier observer this pass may belong to an owner that has gone.
        const bool registered = std::any_of(observers_.begin(), observers_.end(),
                                            [t = token](const auto& o) { return o.first == t; });
        if (registered) (*obs)();
    }
    inObservers_ = false;
}

bool NSRunLoop::runOnce(CFTimeInterval maxWait) {
    threadChecker_.verifyThread();
    auto keep = shared_from_this();
    bool ran = fireDueTimers();
    ran |= runPerformed();
    ran |= pollSources(0);
    if (ran) {
        notifyBeforeWaiting();
        return true;
    }
    if (maxWait <= 0) return false;

    notifyBeforeWaiting();
    if (runPerformed()) return true;
    CFTimeInterval wait = maxWait;
    const CFTimeInterval next = nextTimerDate();
    // Under the manual clock only advance() makes a timer due, and it wakes the loop.
    if (next >= 0 && !Clock::isManual()) wait = std::min(wait, std::max(0.0, next - Clock::now()));
    const int ms = static_cast<int>(std::ceil(wait * 1000.0));
    ran = pollSources(ms);
    ran |= fireDueTimers();
    ran |= runPerformed();
    if (ran) notifyBeforeWaiting();
    return ran;
}

void NSRunLoop::runUntilIdle() {
    for (int i = 0; i < 100000 && runOnce(0); ++i) {
    }
}

bool NSRunLoop::runUntil(const std::function<bool()>& predicate, CFTimeInterval timeoutSeconds) {
    const CFTimeInterval deadline = Clock::realNow() + timeoutSeconds;
    while (!predicate()) {
        const CFTimeInterval left = deadline - Clock::realNow();
        if (left <= 0) return predicate();
        runOnce(std::min(left, 0.1));
    }
    return true;
}

void NSRunLoop::run() {
    stopped_ = false;
    while (!stopped_) runOnce(1.0);
}

void NSRunLoop::stop() {
    performBlock([this] { stopped_ = true; });
}
