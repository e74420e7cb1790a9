#include "Security/SecKey.h"

#include <openssl/evp.h>
#include <openssl/rsa.h>

namespace {
struct KeyContextDeleter {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
}  // namespace

SecKey::~SecKey() { EVP_PKEY_free(key_); }

std::shared_ptr<SecKey> SecKey::createWithKey(EVP_PKEY* key) {
    if (key == nullptr) {
        return nullptr;
    }
    return std::shared_ptr<SecKey>(new SecKey(key));
}

std::size_t SecKey::blockSize() const {
    const int size = EVP_PKEY_get_size(key_);
    return size > 0 ? static_cast<std::size_t>(size) : 0;
}

OSStatus SecKey::encrypt(SecPadding padding, std::span<const std::uint8_t> plainText,
                         std::span<std::uint8_t> cipherText, std::size_t& cipherTextLen) const {
    cipherTextLen = 0;
    if (EVP_PKEY_get_base_id(key_) != EVP_PKEY_RSA || cipherText.size() < blockSize()) {
        return errSecParam;
    }
    std::unique_ptr<EVP_PKEY_CTX, KeyContextDeleter> ctx(EVP_PKEY_CTX_new(key_, nullptr));
    if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(
            ctx.get(), padding == kSecPaddingPKCS1 ? RSA_PKCS1_PADDING : RSA_NO_PADDING) != 1) {
        return errSecInternalComponent;
    }
    std::size_t written = cipherText.size();
    if (EVP_PKEY_encrypt(ctx.get(), cipherText.data(), &written, plainText.data(),
                         plainText.size()) != 1) {
        return errSecParam;
    }
    cipherTextLen = written;
    return errSecSuccess;
}
