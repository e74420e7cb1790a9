#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// MD5 digests as 32 lowercase hexadecimal characters; nullopt for empty input.

// Digests the UTF-8 bytes up to the first zero byte.
std::optional<std::string> vm_MD5String(std::string_view text);
std::optional<std::string> vm_MD5String(std::span<const std::uint8_t> data);
