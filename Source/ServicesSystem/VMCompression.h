#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// zlib and gzip streams over byte buffers. Empty input comes back unchanged; a stream that
// does not decode completely gives nullopt.

std::optional<std::vector<std::uint8_t>> vmZlibInflate(std::span<const std::uint8_t> data);
// Accepts gzip and zlib streams alike.
std::optional<std::vector<std::uint8_t>> vmGZipInflate(std::span<const std::uint8_t> data);
std::optional<std::vector<std::uint8_t>> vmZlibDeflate(std::span<const std::uint8_t> data);
std::optional<std::vector<std::uint8_t>> vmGZipDeflate(std::span<const std::uint8_t> data);
