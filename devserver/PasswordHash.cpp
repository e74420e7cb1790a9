#include "PasswordHash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
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

std::string pbkdf2Hex(std::string_view salt, std::string_view password, int iterations) {
    unsigned char key[32];
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.data()),
                          static_cast<int>(salt.size()), iterations, EVP_sha256(), sizeof key,
                          key) != 1) {
        throw std::runtime_error("PBKDF2 failed");
    }
    return toHex(key, sizeof key);
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

std::string tokenHash(std::string_view token) { return sha256Hex({}, token); }

std::string randomHex(size_t bytes) {
    std::vector<unsigned char> buffer(bytes);
    if (RAND_bytes(buffer.data(), static_cast<int>(buffer.size())) != 1) {
        throw std::runtime_error("no random bytes");
    }
    return toHex(buffer.data(), buffer.size());
}

PasswordHash PasswordHash::create(std::string_view password, int iterations) {
    if (iterations < 1) throw std::invalid_argument("PBKDF2 needs at least one iteration");
    PasswordHash result;
    result.salt = randomHex(16);
    result.iterations = iterations;
    result.hash = pbkdf2Hex(result.salt, password, iterations);
    return result;
}

PasswordHash PasswordHash::standIn(int iterations) {
    // A key no password derives to, short of breaking SHA-256; the caller knows the name is
    // unknown and refuses whatever the check says. A salt of a real one's length: what it is
    // matters not.
    return {std::string(32, '0'), std::string(64, '0'), std::max(iterations, 1)};
}

bool PasswordHash::matches(std::string_view password) const {
    if (iterations < 1) return false;
    const std::string candidate = pbkdf2Hex(salt, password, iterations);
    // Constant time, so that the reply time tells nothing about the stored hash.
    return candidate.size() == hash.size() &&
           CRYPTO_memcmp(candidate.data(), hash.data(), hash.size()) == 0;
}

}  // namespace devserver
