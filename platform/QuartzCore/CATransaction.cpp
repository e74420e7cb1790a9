#include "CATransaction.h"

#include <optional>
#include <vector>

#include "Foundation/NSRunLoop.h"
#include "QuartzCore/CALayerAnimationEngine.h"

namespace {

// The animations added within one transaction, counted down to its completion block.
struct Tracker {
    int outstanding = 0;
    bool committed = false;
    std::function<void()> completion;

    void runIfDone() {
        if (!committed || outstanding > 0 || !completion) return;
        auto block = std::move(completion);
        completion = nullptr;
        NSRunLoop::currentRunLoop()->performBlock(std::move(block));
    }
};

struct Level {
    std::optional<bool> disableActions;
    std::optional<CFTimeInterval> duration;
    std::shared_ptr<CAMediaTimingFunction> timing;
    std::shared_ptr<Tracker> tracker = std::make_shared<Tracker>();
};

thread_local std::vector<Level> tStack;

template <class F>
auto lookUp(F field) -> decltype(field(tStack.back())) {
    for (auto it = tStack.rbegin(); it != tStack.rend(); ++it)
        if (auto v = field(*it)) return v;
    return {};
}

}  // namespace

void CATransaction::begin() {
    // Changes inside may animate: the layers need the engine from now on.
    CALayerAnimationEngine::install();
    tStack.emplace_back();
}

void CATransaction::commit() {
    if (tStack.empty()) return;
    auto tracker = tStack.back().tracker;
    tStack.pop_back();
    tracker->committed = true;
    tracker->runIfDone();
}

bool CATransaction::isOpen() { return !tStack.empty(); }

bool CATransaction::disableActions() {
    return lookUp([](const Level& l) { return l.disableActions; }).value_or(false);
}

void CATransaction::setDisableActions(bool disable) {
    if (!tStack.empty()) tStack.back().disableActions = disable;
}

CFTimeInterval CATransaction::animationDuration() {
    return lookUp([](const Level& l) { return l.duration; }).value_or(0.25);
}

void CATransaction::setAnimationDuration(CFTimeInterval duration) {
    if (!tStack.empty()) tStack.back().duration = duration;
}

std::shared_ptr<CAMediaTimingFunction> CATransaction::animationTimingFunction() {
    return lookUp([](const Level& l) { return l.timing; });
}

void CATransaction::setAnimationTimingFunction(std::shared_ptr<CAMediaTimingFunction> function) {
    if (!tStack.empty()) tStack.back().timing = std::move(function);
}

std::function<void()> CATransaction::completionBlock() {
    return tStack.empty() ? nullptr : tStack.back().tracker->completion;
}

void CATransaction::setCompletionBlock(std::function<void()> block) {
    if (!block) return;
    // Outside a transaction there is nothing to wait for: the block still runs, a turn later.
    if (tStack.empty()) return NSRunLoop::currentRunLoop()->performBlock(std::move(block));
    tStack.back().tracker->completion = std::move(block);
}

std::function<void(bool)> CATransaction::trackAnimation() {
    std::vector<std::shared_ptr<Tracker>> trackers;
    for (auto& level : tStack) {
        ++level.tracker->outstanding;
        trackers.push_back(level.tracker);
    }
    if (trackers.empty()) return nullptr;
    return [trackers](bool) {
        // Innermost first, as the transactions were committed.
        for (auto it = trackers.rbegin(); it != trackers.rend(); ++it) {
            --(*it)->outstanding;
            (*it)->runIfDone();
        }
    };
}
