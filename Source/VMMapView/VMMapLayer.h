#pragma once

#include <memory>

#include "QuartzCore/CALayer.h"

class VMMapLayerDelegate {
  public:
    virtual ~VMMapLayerDelegate() = default;
};

// The map view's backing layer; it hands the layer animations it is given to its
// coreAnimationDelegate, which turns them into camera animations.
class VMMapLayer : public CALayer {
  public:
    static std::shared_ptr<VMMapLayer> layer() {
        return std::shared_ptr<VMMapLayer>(new VMMapLayer());
    }
    std::shared_ptr<VMMapLayerDelegate> coreAnimationDelegate() const {
        return coreAnimationDelegate_.lock();
    }
    void setCoreAnimationDelegate(std::weak_ptr<VMMapLayerDelegate> d) {
        coreAnimationDelegate_ = std::move(d);
    }

  protected:
    VMMapLayer() = default;

  private:
    std::weak_ptr<VMMapLayerDelegate> coreAnimationDelegate_;
};
