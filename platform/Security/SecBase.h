#pragma once

#include <cstdint>

// Status codes of the security calls; 0 is success, the rest are negative as callers log them.
using OSStatus = std::int32_t;

inline constexpr OSStatus errSecSuccess = 0;
inline constexpr OSStatus errSecParam = -50;
inline constexpr OSStatus errSecAllocate = -108;
inline constexpr OSStatus errSecDecode = -26275;
inline constexpr OSStatus errSecCertificateExpired = -67818;
inline constexpr OSStatus errSecInternalComponent = -2070;
