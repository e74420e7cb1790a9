#include "VMAES.h"

#include <algorithm>
#include <array>

#include "Security/CommonCrypto.h"
#include "Security/SecRandom.h"

std::optional<std::vector<std::uint8_t>> VMAES::AESKeyWithSize(std::size_t size) {
    std::vector<std::uint8_t> key(size);
    if (SecRandomCopyBytes(key) != errSecSuccess) {
        return std::nullopt;
    }
    return key;
}

std::optional<std::vector<std::uint8_t>> VMAES::encryptUsingECBModeForData(
    std::span<const std::uint8_t> data, std::span<const std::uint8_t> key) {
    return encryptData(data, true, key, nullptr);
}

std::optional<std::vector<std::uint8_t>> VMAES::encryptUsingCBCModeForData(
    std::span<const std::uint8_t> data, std::span<const std::uint8_t> key, const std::uint8_t* iv) {
    return encryptData(data, false, key, iv);
}

std::optional<std::vector<std::uint8_t>> VMAES::encryptData(std::span<const std::uint8_t> data,
                                                            bool useECBMode,
                                                            std::span<const std::uint8_t> key,
                                                            const std::uint8_t* iv) {
    if (data.empty() || key.empty()) {
        return std::nullopt;
    }
    std::array<std::uint8_t, kCCKeySizeAES256> keyBuffer{};
    std::copy_n(key.begin(), std::min(key.size(), keyBuffer.size()), keyBuffer.begin());

    std::vector<std::uint8_t> out(data.size() + kCCBlockSizeAES128);
    unsigned options = kCCOptionPKCS7Padding;
    if (useECBMode) {
        options |= kCCOptionECBMode;
    }
    std::size_t moved = 0;
    if (CCCrypt(kCCEncrypt, kCCAlgorithmAES128, options, keyBuffer, useECBMode ? nullptr : iv, data,
                out, moved) != kCCSuccess) {
        return std::nullopt;
    }
    out.resize(moved);
    return out;
}
