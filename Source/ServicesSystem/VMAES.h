#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// AES-256 with PKCS#7 padding over byte buffers. Stateless.
class VMAES {
  public:
    // size bytes from the secure random generator; nullopt when it fails.
    static std::optional<std::vector<std::uint8_t>> AESKeyWithSize(std::size_t size);

    static std::optional<std::vector<std::uint8_t>> encryptUsingECBModeForData(
        std::span<const std::uint8_t> data, std::span<const std::uint8_t> key);
    // iv points at 16 bytes.
    static std::optional<std::vector<std::uint8_t>> encryptUsingCBCModeForData(
        std::span<const std::uint8_t> data, std::span<const std::uint8_t> key,
        const std::uint8_t* iv);
    // The key is zero-filled or cut to 32 bytes. nullopt for empty data or key, or on failure.
    static std::optional<std::vector<std::uint8_t>> encryptData(std::span<const std::uint8_t> data,
                                                                bool useECBMode,
                                                                std::span<const std::uint8_t> key,
                                                                const std::uint8_t* iv);
};
