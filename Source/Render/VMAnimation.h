#pragma once

#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Foundation/NSObject.h"
#include "OverlaySystem/VMGeometry.h"
#include "VMMediaTimingFunction.h"

// What a camera animation drives; the text of each is its own name.
inline constexpr const char* kVMAnimationKeyPathCenterMapPoint =
    "kVMAnimationKeyPathCenterMapPoint";
inline constexpr const char* kVMAnimationKeyPathMapPivot = "kVMAnimationKeyPathMapPivot";
inline constexpr const char* kVMAnimationKeyPathZoomer = "kVMAnimationKeyPathZoomer";
inline constexpr const char* kVMAnimationKeyPathRotation = "kVMAnimationKeyPathRotation";
inline constexpr const char* kVMAnimationKeyPathCamera = "kVMAnimationKeyPathCamera";

// A number for zoom, rotation and camera; a map point for the centre and the pivot.
using VMAnimationValue = std::variant<double, VMMapPoint>;

// A camera animation that the frame loop advances; the completion runs once, on whichever
// end comes first (expiry, replacement or removal).
class VMAnimation : public NSObject {
  public:
    std::shared_ptr<VMMediaTimingFunction> timingFunction =
        VMMediaTimingFunction::functionWithType(0);
    std::function<void()> completion;
    std::any userData;
    double duration = 0;
    double elapse = 0;

  protected:
    VMAnimation() = default;
};

class VMPropertyAnimation : public VMAnimation {
  public:
    std::string keyPath;
};

class VMBasicAnimation : public VMPropertyAnimation {
  public:
    static std::shared_ptr<VMBasicAnimation> animationWithKeyPath(std::string keyPath);
    std::optional<VMAnimationValue> fromValue;
    std::optional<VMAnimationValue> toValue;
};

class VMKeyFrameAnimation : public VMPropertyAnimation {
  public:
    static std::shared_ptr<VMKeyFrameAnimation> animationWithKeyPath(std::string keyPath);
    std::vector<VMAnimationValue> values;
    std::vector<double> keyTimes;
    std::vector<std::shared_ptr<VMMediaTimingFunction>> timingFunctions;
};
