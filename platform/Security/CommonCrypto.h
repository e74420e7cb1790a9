#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Symmetric ciphers and digests on OpenSSL, shaped like the phone platform's C calls.

// 32-bit codes as on the platform: any other value is refused with kCCParamError.
enum CCOperation : std::uint32_t { kCCEncrypt = 0, kCCDecrypt = 1 };
// The key length picks AES-128, -192 or -256.
enum CCAlgorithm : std::uint32_t { kCCAlgorithmAES128 = 0 };
enum CCOptions : unsigned { kCCOptionPKCS7Padding = 0x1, kCCOptionECBMode = 0x2 };

using CCCryptorStatus = std::int32_t;
inline constexpr CCCryptorStatus kCCSuccess = 0;
inline constexpr CCCryptorStatus kCCParamError = -4300;
inline constexpr CCCryptorStatus kCCBufferTooSmall = -4301;
inline constexpr CCCryptorStatus kCCAlignmentError = -4303;
inline constexpr CCCryptorStatus kCCDecodeError = -4304;
inline constexpr CCCryptorStatus kCCKeySizeError = -4310;

inline constexpr std::size_t kCCKeySizeAES128 = 16;
inline constexpr std::size_t kCCKeySizeAES192 = 24;
inline constexpr std::size_t kCCKeySizeAES256 = 32;
inline constexpr std::size_t kCCBlockSizeAES128 = 16;

// One-shot encryption or decryption. iv must hold 16 bytes in CBC mode (null means zeros) and
// is ignored in ECB mode. On kCCBufferTooSmall dataOutMoved holds the room needed.
CCCryptorStatus CCCrypt(CCOperation op, CCAlgorithm alg, unsigned options,
                        std::span<const std::uint8_t> key, const std::uint8_t* iv,
                        std::span<const std::uint8_t> dataIn, std::span<std::uint8_t> dataOut,
                        std::size_t& dataOutMoved);

inline constexpr std::size_t CC_MD5_DIGEST_LENGTH = 16;
// Writes the 16-byte digest into md and returns md.
std::uint8_t* CC_MD5(std::span<const std::uint8_t> data, std::uint8_t* md);
