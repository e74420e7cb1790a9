#include "CALayerAnimations.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSRunLoop.h"
#include "Foundation/NSTimer.h"

struct CALayerAnimations::State {
    struct Entry {
        std::uint64_t id = 0;
        std::string key;
        std::shared_ptr<CAAnimation> anim;
        CFTimeInterval start = 0;
        bool started = false;
        bool stopped = false;
        StopObserver onStop;
        std::shared_ptr<NSTimer> startTimer, endTimer;
    };
    std::vector<Entry> entries;
    std::uint64_t nextId = 1;
    FinishedHandler onFinished;
    std::optional<std::weak_ptr<const NSObject>> owner;

    bool ownerGone() const { return owner && owner->expired(); }

    Entry* find(std::uint64_t id) {
        auto it = std::find_if(entries.begin(), entries.end(),
                               [id](const Entry& e) { return e.id == id; });
        return it == entries.end() ? nullptr : &*it;
    }
};

namespace {

void cancelTimers(std::shared_ptr<NSTimer>& a, std::shared_ptr<NSTimer>& b) {
    for (auto* t : {&a, &b}) {
        if (*t) (*t)->invalidate();
        t->reset();
    }
}

// Told on a later turn, as for an animation that ends, and in order with the starts of
// animations added in the same turn (those are timers too).
void tellStopped(const std::shared_ptr<CAAnimation>& anim,
                 const CALayerAnimations::StopObserver& onStop) {
    NSRunLoop::currentRunLoop()->performAfterDelay(0, [anim, onStop] {
        anim->notifyDidStop(false);
        if (onStop) onStop(false);
    });
}

// The owner is gone: nobody is told but the observer, which waits for every stop.
void tellObserverOnly(const CALayerAnimations::StopObserver& onStop) {
    if (onStop) NSRunLoop::currentRunLoop()->performAfterDelay(0, [onStop] { onStop(false); });
}

}  // namespace

CALayerAnimations::CALayerAnimations(FinishedHandler onFinished,
                                     std::optional<std::weak_ptr<const NSObject>> owner)
    : state_(std::make_shared<State>()) {
    state_->onFinished = std::move(onFinished);
    state_->owner = std::move(owner);
}

CALayerAnimations::~CALayerAnimations() {
    for (auto& e : state_->entries) {
        cancelTimers(e.startTimer, e.endTimer);
        if (!e.stopped) tellObserverOnly(e.onStop);
    }
}

void CALayerAnimations::addAnimation(const std::shared_ptr<CAAnimation>& anim, std::string_view key,
                                     StopObserver onStop) {
    if (!anim) return;
    const CFTimeInterval now = Clock::now();
    State::Entry entry;
    entry.id = state_->nextId++;
    entry.key = key;
    entry.anim = anim;
    entry.onStop = std::move(onStop);
    entry.start = anim->beginTime() > 0 ? anim->beginTime() : now;
    auto loop = NSRunLoop::currentRunLoop();
    std::weak_ptr<State> weak = state_;
    const std::uint64_t id = entry.id;

    entry.startTimer = loop->performAfterDelay(std::max(0.0, entry.start - now), [weak, id] {
        auto state = weak.lock();
        if (!state || state->ownerGone()) return;
        auto* e = state->find(id);
        if (!e || e->started) return;
        e->started = true;
        e->startTimer.reset();
        auto anim = e->anim;
        anim->notifyDidStart();
    });
    const CFTimeInterval end = entry.start + anim->activeDuration();
    if (std::isfinite(end)) {
        entry.endTimer = loop->performAfterDelay(std::max(0.0, end - now), [weak, id] {
            auto state = weak.lock();
            if (!state) return;
            auto* e = state->find(id);
            if (!e || e->stopped) return;
            if (state->ownerGone()) {
                e->stopped = true;
                if (e->onStop) e->onStop(false);
                return;
            }
            // A start due in the same turn is told first.
            const bool tellStart = !e->started;
            e->started = e->stopped = true;
            cancelTimers(e->startTimer, e->endTimer);
            auto anim = e->anim;
            const std::string key = e->key;
            auto onStop = e->onStop;
            if (anim->isRemovedOnCompletion()) {
                std::erase_if(state->entries, [id](const State::Entry& x) { return x.id == id; });
                if (state->onFinished) state->onFinished(anim, key);
            }
            if (tellStart) anim->notifyDidStart();
            anim->notifyDidStop(true);
            if (onStop) onStop(true);
        });
    }
    state_->entries.push_back(std::move(entry));
}

void CALayerAnimations::removeAnimation(const std::shared_ptr<CAAnimation>& anim,
                                        std::string_view key) {
    auto& entries = state_->entries;
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const State::Entry& e) { return e.anim == anim && e.key == key; });
    if (it == entries.end()) return;
    State::Entry entry = std::move(*it);
    entries.erase(it);
    cancelTimers(entry.startTimer, entry.endTimer);
    if (!entry.stopped) tellStopped(entry.anim, entry.onStop);
}

bool CALayerAnimations::empty() const { return state_->entries.empty(); }

bool CALayerAnimations::isRunning() const {
    return std::any_of(state_->entries.begin(), state_->entries.end(),
                       [](const State::Entry& e) { return !e.stopped; });
}

void CALayerAnimations::applyAt(CFTimeInterval now, CAAnimationTarget& target) const {
    for (const auto& e : state_->entries) e.anim->applyAt(now - e.start, target);
}
