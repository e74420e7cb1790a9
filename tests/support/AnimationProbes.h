#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "QuartzCore/CAAnimation.h"
#include "QuartzCore/CALayer.h"
#include "QuartzCore/CALayerAnimationEngine.h"

namespace testsupport {

// Presentation values by key path, starting from the model's, for animations applied without a
// layer.
struct AnimationTarget : CAAnimationTarget {
    std::map<std::string, CAValue, std::less<>> v;
    std::optional<CAValue> valueForKeyPath(std::string_view key) const override {
        auto it = v.find(key);
        if (it == v.end()) return std::nullopt;
        return it->second;
    }
    void setValueForKeyPath(std::string_view key, const CAValue& value) override {
        v.insert_or_assign(std::string(key), value);
    }
};

// An animation delegate that logs "start", "stop YES" and "stop NO", and the animation it last
// heard about.
struct AnimationLog : NSObject, CAAnimationDelegate {
    std::vector<std::string> log;
    std::shared_ptr<CAAnimation> last;
    void animationDidStart(const std::shared_ptr<CAAnimation>& a) override {
        last = a;
        log.push_back("start");
    }
    void animationDidStop(const std::shared_ptr<CAAnimation>& a, bool finished) override {
        last = a;
        log.push_back(finished ? "stop YES" : "stop NO");
    }
};

// Counts the writes of one key path of one layer's model while it lives, as layers tell them to
// the animation engine; writes made with actions disabled go untold. It is the engine's one
// observer of model changes until it goes.
class ModelWrites {
  public:
    ModelWrites(const CALayer& layer, std::string keyPath)
        : layer_(&layer), keyPath_(std::move(keyPath)) {
        CALayerAnimationEngine::install();
        CALayerAnimationEngine::shared().setModelChangeObserver(
            [this](CALayer& changed, std::string_view key) {
                if (&changed == layer_ && key == keyPath_) ++count_;
            });
    }
    ~ModelWrites() { CALayerAnimationEngine::shared().setModelChangeObserver(nullptr); }
    ModelWrites(const ModelWrites&) = delete;
    ModelWrites& operator=(const ModelWrites&) = delete;

    int count() const { return count_; }
    void reset() { count_ = 0; }

  private:
    const CALayer* layer_;
    std::string keyPath_;
    int count_ = 0;
};

}  // namespace testsupport
