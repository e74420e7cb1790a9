#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>

#include "Foundation/NSURL.h"

// Kinds of configuration the map kit asks its configuration server for; a request may combine
// several.
enum VMMapManifestType : unsigned {
    VMMapManifestTypeException = 1,
    VMMapManifestTypeCommon = 2,
    VMMapManifestTypeRealStatus = 4,
    VMMapManifestTypeOfflineMapWithProvince = 8,
};

// The configuration server's answers: which logs may be uploaded, the real-time traffic settings
// and the offline catalogue by province.
class VMMapManifest {
  public:
    using CompletionBlock = std::function<void(std::optional<nlohmann::json> result)>;
    static constexpr double kManifestTimeout = 15.0;

    // The words of the set bits, in increasing bit order, joined by ";"; nothing for no known bit.
    static std::optional<std::string> typeStringWithType(unsigned type);
    static std::shared_ptr<NSURL> manifestURLWithType(unsigned type);
    // The reply's "result" when its "status" is the text "1"; nothing otherwise.
    static std::optional<nlohmann::json> resultWithResponseData(std::span<const std::uint8_t> data);
    // Sends the request on a global queue and calls the block there with the answer (nothing on
    // any failure, a time-out included: the answer is in by `timeout` seconds or not taken).
    // Without a block, or without a known type bit (logged), nothing is sent.
    static void performManifestRequestWithType(unsigned type, CompletionBlock completionBlock,
                                               double timeout = kManifestTimeout);
};
