#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "Foundation/NSObject.h"
#include "Security/SecBase.h"

typedef struct evp_pkey_st EVP_PKEY;

enum SecPadding { kSecPaddingNone = 0, kSecPaddingPKCS1 = 1 };

// A public RSA key taken from a certificate.
class SecKey : public NSObject {
  public:
    ~SecKey() override;
    // Takes ownership of the key.
    static std::shared_ptr<SecKey> createWithKey(EVP_PKEY* key);

    // The modulus size in bytes: the size of every cipher text.
    std::size_t blockSize() const;
    // Encrypts plainText into cipherText, which must hold blockSize() bytes; cipherTextLen
    // receives the bytes written.
    OSStatus encrypt(SecPadding padding, std::span<const std::uint8_t> plainText,
                     std::span<std::uint8_t> cipherText, std::size_t& cipherTextLen) const;

  private:
    explicit SecKey(EVP_PKEY* key) : key_(key) {}
    EVP_PKEY* key_;
};
