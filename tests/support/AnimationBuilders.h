#pragma once

#include <memory>
#include <optional>

#include "QuartzCore/CABasicAnimation.h"

namespace testsupport {

// A basic animation of keyPath over duration seconds; an end left out comes from the layer.
inline std::shared_ptr<CABasicAnimation> basicAnimation(const char* keyPath,
                                                        CFTimeInterval duration,
                                                        std::optional<CAValue> from,
                                                        std::optional<CAValue> to) {
    auto anim = CABasicAnimation::animationWithKeyPath(keyPath);
    anim->setFromValue(std::move(from));
    anim->setToValue(std::move(to));
    anim->setDuration(duration);
    return anim;
}

}  // namespace testsupport
