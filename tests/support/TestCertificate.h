#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "Security/SecKey.h"

// A self-signed certificate made for a test, with its private key kept for decrypting what was
// encrypted for it.
struct TestCertificate {
    std::vector<std::uint8_t> der;
    std::shared_ptr<EVP_PKEY> key;

    // Nothing when the private key cannot decrypt the cipher text under that padding.
    std::optional<std::vector<std::uint8_t>> decrypt(std::span<const std::uint8_t> cipher,
                                                     SecPadding padding = kSecPaddingPKCS1) const;
};

// An RSA certificate valid from now + notBefore to now + notAfter seconds.
TestCertificate makeRSACertificate(unsigned bits, long notBefore = 0, long notAfter = 86400);
// A certificate for an elliptic-curve key, which signs but cannot encrypt.
TestCertificate makeECCertificate();
