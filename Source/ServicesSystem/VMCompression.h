#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// zlib and gzip streams over byte buffers. Empty input comes back unchanged; a stream that
// does not decode completely gives nullopt.

// `limit` is the largest answer the caller can use: a stream that would inflate past it gives
// nullopt, and no more than limit + 1 bytes are ever held, so a small hostile body cannot ask
// for gigabytes.
std::optional<std::vector<std::uint8_t>> vmZlibInflate(std::span<const std::uint8_t> data,
                                                       std::size_t limit);
// Accepts gzip and zlib streams alike.
std::optional<std::vector<std::uint8_t>> vmGZipInflate(std::span<const std::uint8_t> data,
                                                       std::size_t limit);
std::optional<std::vector<std::uint8_t>> vmZlibDeflate(std::span<const std::uint8_t> data);
std::optional<std::vector<std::uint8_t>> vmGZipDeflate(std::span<const std::uint8_t> data);
