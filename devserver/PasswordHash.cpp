#include "PasswordHash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace devserver {

namespace {

std::string toHex(const unsigned char* bytes, size_t length) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}

}  // namespace

std::string sha256Hex(std::string_view salt, std::string_view text) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), salt.data(), salt.size()) != 1 ||
        EVP_DigestUpdate(ctx.get(), text.data(), text.size()) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) {
        throw std::runtime_error("SHA-256 failed");
    }
    return toHex(digest, length);
}

std::string randomHex(size_t bytes) {
    std::vector<unsigned char> buffer(bytes);
    if (RAND_bytes(buffer.data(), static_cast<int>(buffer.size())) != 1) {
        throw std::runtime_error("no random bytes");
    }
    return toHex(buffer.data(), buffer.size());
}

PasswordHash PasswordHash::create(std::string_view password) {
    PasswordHash result;
    result.salt = randomHex(16);
    result.hash = sha256Hex(result.salt, password);
    return result;
}

bool PasswordHash::matches(std::string_view password) const {
    const std::string candidate = sha256Hex(salt, password);
    // Constant time, so that the reply time tells nothing about the stored hash.
    return candidate.size() == hash.size() &&
           CRYPTO_memcmp(candidate.data(), hash.data(), hash.size()) == 0;
}

}  // namespace devserver
