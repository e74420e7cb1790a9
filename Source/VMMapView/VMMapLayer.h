#pragma once

#include <memory>
#include <string>

#include "QuartzCore/CAAnimation.h"
#include "QuartzCore/CALayer.h"

class VMMapLayer;

// Offered every animation the map layer is given; a "can handle" of false means the delegate
// takes it over and the layer does not run it.
class VMMapLayerDelegate {
  public:
    virtual ~VMMapLayerDelegate() = default;
    virtual bool mapLayerCanHandleAnimation(VMMapLayer&, const std::shared_ptr<CAAnimation>&,
                                            const std::string& /*key*/) {
        return true;
    }
    virtual void mapLayerDidAddAnimation(VMMapLayer&, const std::shared_ptr<CAAnimation>&,
                                         const std::string& /*key*/) {}
    virtual bool mapLayerCanHandleAnimationForKey(VMMapLayer&, const std::string& /*key*/) {
        return true;
    }
    virtual void mapLayerDidRemoveAnimationForKey(VMMapLayer&, const std::string& /*key*/) {}
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
    void addAnimation(const std::shared_ptr<CAAnimation>& animation,
                      const std::string& key) override {
        if (auto d = coreAnimationDelegate();
            d && !d->mapLayerCanHandleAnimation(*this, animation, key))
            return d->mapLayerDidAddAnimation(*this, animation, key);
        CALayer::addAnimation(animation, key);
    }
    void removeAnimationForKey(const std::string& key) override {
        if (auto d = coreAnimationDelegate(); d && !d->mapLayerCanHandleAnimationForKey(*this, key))
            return d->mapLayerDidRemoveAnimationForKey(*this, key);
        CALayer::removeAnimationForKey(key);
    }

  protected:
    VMMapLayer() = default;

  private:
    std::weak_ptr<VMMapLayerDelegate> coreAnimationDelegate_;
};
