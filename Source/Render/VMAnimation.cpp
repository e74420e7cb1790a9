#include "VMAnimation.h"

std::shared_ptr<VMBasicAnimation> VMBasicAnimation::animationWithKeyPath(std::string keyPath) {
    auto a = std::shared_ptr<VMBasicAnimation>(new VMBasicAnimation());
    a->keyPath = std::move(keyPath);
    return a;
}

std::shared_ptr<VMKeyFrameAnimation> VMKeyFrameAnimation::animationWithKeyPath(
    std::string keyPath) {
    auto a = std::shared_ptr<VMKeyFrameAnimation>(new VMKeyFrameAnimation());
    a->keyPath = std::move(keyPath);
    return a;
}
