#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/NSObject.h"

class SecCertificate;
class SecKey;
class SecPolicy;
class SecTrust;

// RSA encryption (PKCS#1 v1.5) with the public key of an X.509 certificate. Immutable once made.
class VMRSA : public NSObject {
  public:
    // From the DER bytes of a certificate; null (after a log line) when they give no usable key.
    static std::shared_ptr<VMRSA> create(std::span<const std::uint8_t> publicKeyData);
    // From a DER file; an empty path counts as missing.
    static std::shared_ptr<VMRSA> create(const std::filesystem::path& publicKeyPath);

    // nullopt (after a log line) when data is longer than maxPlainLen() or encryption fails.
    std::optional<std::vector<std::uint8_t>> encryptWithData(
        std::span<const std::uint8_t> data) const;
    std::optional<std::vector<std::uint8_t>> encryptWithString(std::string_view text) const;
    // The cipher text of the string in Base64.
    std::optional<std::string> encryptToString(std::string_view text) const;

    // Standard Base64 on one line; empty data gives "".
    static std::string base64forData(std::span<const std::uint8_t> data);

    std::uint64_t maxPlainLen() const { return maxPlainLen_; }

  private:
    VMRSA() = default;

    std::shared_ptr<SecKey> publicKey_;
    std::shared_ptr<SecCertificate> certificate_;
    std::shared_ptr<SecPolicy> policy_;
    std::shared_ptr<SecTrust> trust_;
    std::uint64_t maxPlainLen_ = 0;
};
