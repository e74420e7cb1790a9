#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Standard Base64 (A-Z a-z 0-9 + /, "=" padding) for byte buffers and UTF-8 strings.

// Decodes, skipping every character outside the alphabet; nullopt when no byte results.
std::optional<std::vector<std::uint8_t>> madataWithBase64EncodedString(std::string_view text);
// With a wrap width of 4 or more, CRLF follows each full line of (width rounded down to a
// multiple of 4) characters, the last one too, unless the padded tail group ends it. nullopt for
// empty data.
std::optional<std::string> mabase64EncodedStringWithWrapWidth(std::span<const std::uint8_t> data,
                                                              std::size_t wrapWidth);
std::optional<std::string> mabase64EncodedString(std::span<const std::uint8_t> data);

// Decodes and reads the bytes as UTF-8; nullopt when decoding fails or the bytes are not UTF-8.
std::optional<std::string> mastringWithBase64EncodedString(std::string_view text);
std::optional<std::string> mabase64EncodedStringWithWrapWidth(std::string_view text,
                                                              std::size_t wrapWidth);
std::optional<std::string> mabase64EncodedString(std::string_view text);
std::optional<std::string> mabase64DecodedString(std::string_view text);
std::optional<std::vector<std::uint8_t>> mabase64DecodedData(std::string_view text);
