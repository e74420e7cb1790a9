#include "CALayerAnimationEngine.h"

#include <mutex>

#include "Foundation/NSRunLoop.h"
#include "QuartzCore/CABasicAnimation.h"
#include "QuartzCore/CADisplayLink.h"
#include "QuartzCore/CALayerKeyPath.h"
#include "QuartzCore/CATransaction.h"

namespace {

// The presentation values of one layer as animations see them.
class PresentationTarget : public CAAnimationTarget {
  public:
    explicit PresentationTarget(CALayerPresentation& values) : values_(values) {}
    std::optional<CAValue> valueForKeyPath(std::string_view keyPath) const override {
        return CALayerValueForKeyPath(values_, keyPath);
    }
    void setValueForKeyPath(std::string_view keyPath, const CAValue& value) override {
        CALayerSetValueForKeyPath(values_, keyPath, value);
    }

  private:
    CALayerPresentation& values_;
};

}  // namespace

CALayerAnimationEngine& CALayerAnimationEngine::shared() {
    static const std::shared_ptr<CALayerAnimationEngine> engine =
        std::make_shared<CALayerAnimationEngine>();
    return *engine;
}

// A scheduled link is kept by its run loop; letting go of it needs invalidate().
CALayerAnimationEngine::~CALayerAnimationEngine() {
    if (link_) link_->invalidate();
}

void CALayerAnimationEngine::install() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The hooks slot holds a shared_ptr; the engine itself lives for the whole process.
        CALayer::setAnimationHooks(
            std::shared_ptr<CALayerAnimationHooks>(&shared(), [](CALayerAnimationHooks*) {}));
    });
}

CALayerAnimationEngine::Record* CALayerAnimationEngine::recordFor(const CALayer& layer,
                                                                  bool create) {
    auto it = records_.find(&layer);
    // A record whose layer died belongs to an earlier layer at the same address.
    if (it != records_.end() && it->second.layer.expired()) {
        records_.erase(it);
        it = records_.end();
    }
    if (it != records_.end()) return &it->second;
    if (!create) return nullptr;
    auto weak = const_cast<CALayer&>(layer).weakSelf<CALayer>();
    Record record;
    record.layer = weak;
    record.animations = std::make_unique<CALayerAnimations>(
        [weak](const std::shared_ptr<CAAnimation>& anim, const std::string& key) {
            if (auto layer = weak.lock()) layer->discardFinishedAnimation(anim.get(), key);
        },
        weak);
    return &records_.emplace(&layer, std::move(record)).first->second;
}

void CALayerAnimationEngine::didAddAnimation(CALayer& layer,
                                             const std::shared_ptr<CAAnimation>& anim,
                                             const std::string& key) {
    std::erase_if(records_, [](const auto& r) { return r.second.layer.expired(); });
    recordFor(layer, true)->animations->addAnimation(anim, key, CATransaction::trackAnimation());
    startTicking();
}

void CALayerAnimationEngine::didRemoveAnimation(CALayer& layer,
                                                const std::shared_ptr<CAAnimation>& anim,
                                                const std::string& key) {
    auto* record = recordFor(layer, false);
    if (!record) return;
    record->animations->removeAnimation(anim, key);
    if (record->animations->empty()) records_.erase(&layer);
}

void CALayerAnimationEngine::applyPresentation(const CALayer& layer, CFTimeInterval t,
                                               CALayerPresentation& values) {
    auto* record = recordFor(layer, false);
    if (!record) return;
    PresentationTarget target(values);
    record->animations->applyAt(t, target);
}

void CALayerAnimationEngine::willChangeModelValue(CALayer& layer, const char* keyPath) {
    if (CATransaction::disableActions()) return;
    if (observer_) observer_(layer, keyPath);
    if (!CATransaction::isOpen() || layer.delegate()) return;
    // A free-standing layer in a transaction: from what shows now to whatever the model ends up.
    auto from = CALayerValueForKeyPath(layer.presentationValues(CACurrentMediaTime()), keyPath);
    if (!from) return;
    auto anim = CABasicAnimation::animationWithKeyPath(keyPath);
    anim->setFromValue(from);
    anim->setDuration(CATransaction::animationDuration());
    auto timing = CATransaction::animationTimingFunction();
    anim->setTimingFunction(
        timing ? timing : CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionDefault));
    layer.addAnimation(anim, keyPath);
}

void CALayerAnimationEngine::startTicking() {
    if (link_) {
        link_->setPaused(false);
        return;
    }
    link_ = CADisplayLink::displayLinkWithBlock([this](CADisplayLink&) { tick(); });
    link_->addToRunLoop(NSRunLoop::currentRunLoop());
}

void CALayerAnimationEngine::tick() {
    bool running = false;
    std::erase_if(records_, [&](const auto& r) {
        if (r.second.layer.expired()) return true;
        running = running || r.second.animations->isRunning();
        return false;
    });
    CALayer::noteChanged();
    if (!running) link_->setPaused(true);
}
