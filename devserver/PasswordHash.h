#pragma once

#include <string>
#include <string_view>

namespace devserver {

// Passwords are kept as a random salt and SHA-256(salt + password), both in hex.
struct PasswordHash {
    std::string salt;
    std::string hash;

    static PasswordHash create(std::string_view password);
    bool matches(std::string_view password) const;
};

std::string sha256Hex(std::string_view salt, std::string_view text);
// Cryptographically random bytes as lower-case hex (tokens, salts).
std::string randomHex(size_t bytes);

}  // namespace devserver
