#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "PasswordHash.h"

namespace devserver {
namespace {

TEST(PasswordHashTest, IsPbkdf2HmacSha256OfThePasswordAndSalt) {
    // The published PBKDF2-HMAC-SHA256 vectors, first 32 bytes.
    struct Case {
        std::string password;
        std::string salt;
        int iterations;
        std::string key;
    };
    const std::vector<Case> cases = {
        {"passwd", "salt", 1, "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"},
        {"Password", "NaCl", 80000,
         "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"},
    };
    for (const auto& c : cases) {
        const PasswordHash stored{c.salt, c.key, c.iterations};
        EXPECT_TRUE(stored.matches(c.password)) << c.password;
        EXPECT_FALSE(stored.matches(c.password + "x")) << c.password;
        EXPECT_FALSE((PasswordHash{c.salt, c.key, c.iterations + 1}.matches(c.password)));
    }
}

TEST(PasswordHashTest, CreateSaltsEachHashAndMatchesOnlyItsPassword) {
    const auto first = PasswordHash::create("zw123456", 1000);
    const auto second = PasswordHash::create("zw123456", 1000);
    EXPECT_EQ(first.iterations, 1000);
    EXPECT_EQ(first.salt.size(), 32u);
    EXPECT_EQ(first.hash.size(), 64u);
    EXPECT_NE(first.salt, second.salt);
    EXPECT_NE(first.hash, second.hash);
    EXPECT_TRUE(first.matches("zw123456"));
    EXPECT_FALSE(first.matches("zw12345"));
    EXPECT_FALSE(first.matches(""));
    // A row whose iteration count is missing or damaged matches nothing.
    EXPECT_FALSE((PasswordHash{first.salt, first.hash, 0}.matches("zw123456")));
    EXPECT_THROW(PasswordHash::create("zw123456", 0), std::invalid_argument);
}

}  // namespace
}  // namespace devserver
