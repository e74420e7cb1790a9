#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace devserver {

// Slow enough that a stolen data file does not give the passwords away cheaply.
inline constexpr int kPasswordIterations = 600'000;

// A password kept as PBKDF2-HMAC-SHA256 of the password with a random salt: the salt text, the
// iteration count and the derived key in hex.
struct PasswordHash {
    std::string salt;
    std::string hash;
    int iterations = 0;

    // Lower counts are for tests that create many accounts.
    static PasswordHash create(std::string_view password, int iterations = kPasswordIterations);
    // Checked in place of an account that does not exist, so that a sign-in takes as long for
    // an unknown name as for a wrong password. Matches no password.
    static PasswordHash standIn(int iterations);
    // Constant-time comparison; a hash without a usable iteration count matches nothing.
    bool matches(std::string_view password) const;
};

std::string sha256Hex(std::string_view salt, std::string_view text);
// What the data file keeps of a session token: a token is random enough for a plain digest.
std::string tokenHash(std::string_view token);
// Cryptographically random bytes as lower-case hex (tokens, salts).
std::string randomHex(size_t bytes);

}  // namespace devserver
