#pragma once

#include <string_view>

#include "ApiRouter.h"

namespace devserver {

// The key the search client must carry; any other is refused.
inline constexpr std::string_view kSearchApiKey = "brisfold-dev-search-key";

// "Search/ReGeocode": keys "key", "latitude", "longitude" (degrees). Answers the address of the
// nearest place of a small table within kSearchRadiusKm:
// {"code":"1","tip":"","regeocode":{"formattedAddress","addressComponent":{"province","city"}}};
// a bad key, a coordinate that is not one, or a point with no place near is refused with
// "code" "0" and a tip.
inline constexpr double kSearchRadiusKm = 50;
void registerSearchEndpoints(ApiRouter& router);

}  // namespace devserver
