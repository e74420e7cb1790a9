#pragma once

#include <optional>
#include <string_view>

#include "QuartzCore/CALayer.h"
#include "QuartzCore/CAValue.h"

// The animatable properties of a layer by key path: "position", "position.x", "bounds",
// "bounds.size", "opacity", "transform", "transform.scale", "transform.rotation.z",
// "backgroundColor", ... nullopt / false for a key path that is not animatable or a value of
// the wrong kind.
std::optional<CAValue> CALayerValueForKeyPath(const CALayerPresentation& values,
                                              std::string_view keyPath);
bool CALayerSetValueForKeyPath(CALayerPresentation& values, std::string_view keyPath,
                               const CAValue& value);
