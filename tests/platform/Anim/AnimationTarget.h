#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "QuartzCore/CAAnimation.h"

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
