#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "NSError.h"

enum NSJSONReadingOptions : unsigned {
    // Containers are always mutable json values; the flags are accepted for fidelity.
    NSJSONReadingMutableContainers = 1,
    NSJSONReadingMutableLeaves = 2,
    // Allows a top-level value that is not an array or a dictionary.
    NSJSONReadingFragmentsAllowed = 4,
};
enum NSJSONWritingOptions : unsigned {
    NSJSONWritingFragmentsAllowed = 4,
};

// Errors are NSCocoaErrorDomain 3840 for unreadable input (with "NSDebugDescription" saying
// where) and 3852 for values that have no JSON form (binary data, NaN or infinite numbers,
// invalid UTF-8). Output is compact, keys sorted, slashes not escaped.
class NSJSONSerialization {
  public:
    static std::optional<nlohmann::json> JSONObjectWithData(std::string_view data,
                                                            unsigned options = 0,
                                                            NSError* error = nullptr);
    static std::optional<nlohmann::json> JSONObjectWithData(std::span<const std::uint8_t> data,
                                                            unsigned options = 0,
                                                            NSError* error = nullptr);
    static std::optional<std::string> dataWithJSONObject(const nlohmann::json& value,
                                                         unsigned options = 0,
                                                         NSError* error = nullptr);
    static bool isValidJSONObject(const nlohmann::json& value);
};
