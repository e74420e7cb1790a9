#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// Lower-case hex of the bytes, two digits each.
std::string toHex(std::span<const std::uint8_t> bytes);
// The bytes of a hex text; throws std::invalid_argument on an odd length or a non-hex digit, so
// that a typo in a test vector fails loudly instead of decoding to something else.
std::vector<std::uint8_t> fromHex(std::string_view hex);

}  // namespace testsupport
