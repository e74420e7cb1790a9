#include "UIViewAnimationWithBlocks.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Foundation/NSRunLoop.h"
#include "QuartzCore/CABasicAnimation.h"
#include "QuartzCore/CALayerAnimationEngine.h"
#include "QuartzCore/CALayerKeyPath.h"
#include "UIKit/UIView.h"

namespace {

// The changes one animations block made, by layer and key path, with the values before.
struct Change {
    std::weak_ptr<CALayer> layer;
    std::string keyPath;
    CAValue before;
};

struct Context {
    std::vector<Change> changes;
};

// Nested blocks each record their own changes.
std::vector<Context*>& contexts() {
    static std::vector<Context*> stack;
    return stack;
}

bool isViewLayer(CALayer& layer) {
    return dynamic_cast<UIView*>(layer.delegate().get()) != nullptr;
}

void record(CALayer& layer, std::string_view keyPath) {
    if (contexts().empty() || !isViewLayer(layer)) return;
    auto& changes = contexts().back()->changes;
    for (const auto& c : changes)
        if (c.layer.lock().get() == &layer && c.keyPath == keyPath) return;
    if (auto before = CALayerValueForKeyPath(layer.modelValues(), keyPath))
        changes.push_back({layer.weakSelf<CALayer>(), std::string(keyPath), *before});
}

std::shared_ptr<CAMediaTimingFunction> curveFor(unsigned options) {
    switch (options & (3u << 16)) {
        case UIViewAnimationOptionCurveEaseIn:
            return CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseIn);
        case UIViewAnimationOptionCurveEaseOut:
            return CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseOut);
        case UIViewAnimationOptionCurveLinear:
            return CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionLinear);
        default:
            return CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut);
    }
}

// Counts the animations of one block down to its completion.
struct Group {
    int outstanding = 0;
    bool finished = true;
    std::function<void(bool)> completion;
};

// Two hops: whatever the block scheduled for the next turn runs first.
void completeLater(std::function<void(bool)> completion, bool finished) {
    if (!completion) return;
    NSRunLoop::currentRunLoop()->performBlock([completion = std::move(completion), finished] {
        NSRunLoop::currentRunLoop()->performBlock([completion, finished] { completion(finished); });
    });
}

}  // namespace

void UIViewAnimateWithDuration(NSTimeInterval duration, std::function<void()> animations,
                               std::function<void(bool finished)> completion) {
    UIViewAnimateWithDuration(duration, 0, 0, std::move(animations), std::move(completion));
}

void UIViewAnimateWithDuration(NSTimeInterval duration, NSTimeInterval delay, unsigned options,
                               std::function<void()> animations,
                               std::function<void(bool finished)> completion) {
    auto& engine = CALayerAnimationEngine::shared();
    CALayerAnimationEngine::install();
    Context context;
    contexts().push_back(&context);
    engine.setModelChangeObserver(record);
    if (animations) animations();
    contexts().pop_back();
    if (contexts().empty()) engine.setModelChangeObserver(nullptr);
    // A nested block animates its own changes: the enclosing blocks leave those properties.
    for (Context* outer : contexts()) {
        std::erase_if(outer->changes, [&](const Change& o) {
            return std::any_of(
                context.changes.begin(), context.changes.end(), [&](const Change& c) {
                    return c.keyPath == o.keyPath && c.layer.lock() == o.layer.lock();
                });
        });
    }

    if (!(duration > 0)) return completeLater(std::move(completion), true);

    auto group = std::make_shared<Group>();
    group->completion = std::move(completion);
    const CFTimeInterval now = CACurrentMediaTime();
    for (auto& change : context.changes) {
        auto layer = change.layer.lock();
        if (!layer) continue;
        auto after = CALayerValueForKeyPath(layer->modelValues(), change.keyPath);
        if (!after || *after == change.before) continue;
        std::optional<CAValue> from = change.before;
        if (options & UIViewAnimationOptionBeginFromCurrentState)
            from = CALayerValueForKeyPath(layer->presentationValues(now), change.keyPath);
        auto anim = CABasicAnimation::animationWithKeyPath(change.keyPath);
        anim->setFromValue(from);
        anim->setToValue(after);
        anim->setDuration(duration);
        anim->setTimingFunction(curveFor(options));
        if (delay > 0) {
            anim->setBeginTime(now + delay);
            anim->setFillMode(kCAFillModeBackwards);
        }
        if (options & UIViewAnimationOptionRepeat) anim->setRepeatCount(HUGE_VALF);
        anim->setAutoreverses(options & UIViewAnimationOptionAutoreverse);
        ++group->outstanding;
        anim->setCompletion([group](bool finished) {
            group->finished = group->finished && finished;
            if (--group->outstanding == 0)
                completeLater(std::move(group->completion), group->finished);
        });
        layer->addAnimation(anim, change.keyPath);
    }
    if (group->outstanding == 0) completeLater(std::move(group->completion), true);
}
