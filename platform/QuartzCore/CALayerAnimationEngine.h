#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "QuartzCore/CALayer.h"
#include "QuartzCore/CALayerAnimations.h"

class CADisplayLink;

// Runs the animations of every layer. It is installed as the layers' animation hooks when the
// first animation is made: it keeps each layer's running animations, lays their values over the
// layer's model values when the layer is drawn, drops finished ones from their layer, and while
// anything moves marks the composed frame as changed on every screen refresh.
class CALayerAnimationEngine : public CALayerAnimationHooks {
  public:
    using ModelChangeObserver = std::function<void(CALayer&, std::string_view keyPath)>;

    ~CALayerAnimationEngine() override;

    static void install();
    static CALayerAnimationEngine& shared();

    // Who hears of a model value about to change (block-based view animations record the old
    // value there); one at a time, none by default.
    void setModelChangeObserver(ModelChangeObserver observer) { observer_ = std::move(observer); }

    void didAddAnimation(CALayer& layer, const std::shared_ptr<CAAnimation>& anim,
                         const std::string& key) override;
    void didRemoveAnimation(CALayer& layer, const std::shared_ptr<CAAnimation>& anim,
                            const std::string& key) override;
    void applyPresentation(const CALayer& layer, CFTimeInterval t,
                           CALayerPresentation& values) override;
    void willChangeModelValue(CALayer& layer, const char* keyPath) override;

  private:
    struct Record {
        std::weak_ptr<CALayer> layer;
        std::unique_ptr<CALayerAnimations> animations;
    };
    Record* recordFor(const CALayer& layer, bool create);
    void tick();
    void startTicking();

    std::map<const CALayer*, Record> records_;
    std::shared_ptr<CADisplayLink> link_;
    ModelChangeObserver observer_;
};
