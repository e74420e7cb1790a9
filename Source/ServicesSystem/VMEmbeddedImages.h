#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// The PNG bytes of an image compiled into the map kit, by name; empty when there is none.
std::span<const std::uint8_t> VMEmbeddedImageData(std::string_view name);
