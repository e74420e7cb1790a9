#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "Security/SecCertificate.h"
#include "Security/SecKey.h"
#include "Security/SecPolicy.h"
#include "Security/SecRandom.h"
#include "Security/SecTrust.h"
#include "TestCertificate.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr long kDay = 86400;

// The public key of a certificate that evaluated as trusted.
std::shared_ptr<SecKey> trustedKey(const TestCertificate& cert) {
    std::shared_ptr<SecTrust> trust;
    if (SecTrust::createWithCertificates(SecCertificate::createWithData(cert.der),
                                         SecPolicy::createBasicX509(), trust) != errSecSuccess ||
        trust->evaluate() != errSecSuccess) {
        return nullptr;
    }
    return trust->copyPublicKey();
}

TEST(Certificate, OnlyOneWellFormedCertificateIsRead) {
    const Bytes der = makeRSACertificate(1024).der;
    Bytes twice = der;
    twice.insert(twice.end(), der.begin(), der.end());
    Bytes trailing = der;
    trailing.push_back(0);
    const struct {
        const char* name;
        Bytes data;
        bool read;
    } cases[] = {
        {"certificate", der, true},
        {"nothing", {}, false},
        {"text", Bytes{'n', 'o', 't', ' ', 'D', 'E', 'R'}, false},
        {"cut short", Bytes(der.begin(), der.end() - 1), false},
        {"trailing byte", trailing, false},
        {"two certificates", twice, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SecCertificate::createWithData(c.data) != nullptr, c.read);
    }
}

TEST(Trust, NeedsACertificateAndAPolicyAndTheValidityPeriodDecides) {
    std::shared_ptr<SecTrust> refused;
    EXPECT_EQ(SecTrust::createWithCertificates(nullptr, SecPolicy::createBasicX509(), refused),
              errSecParam);
    EXPECT_EQ(SecTrust::createWithCertificates(
                  SecCertificate::createWithData(makeRSACertificate(1024).der), nullptr, refused),
              errSecParam);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(SecKey::createWithKey(nullptr), nullptr);

    const struct {
        const char* name;
        long notBefore;
        long notAfter;
        OSStatus status;
    } cases[] = {
        {"current", -kDay, kDay, errSecSuccess},
        {"expired", -2 * kDay, -kDay, errSecCertificateExpired},
        {"not yet valid", kDay, 2 * kDay, errSecCertificateExpired},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TestCertificate cert = makeRSACertificate(1024, c.notBefore, c.notAfter);
        std::shared_ptr<SecTrust> trust;
        ASSERT_EQ(SecTrust::createWithCertificates(SecCertificate::createWithData(cert.der),
                                                   SecPolicy::createBasicX509(), trust),
                  errSecSuccess);
        // No key is handed out before a verdict.
        EXPECT_EQ(trust->copyPublicKey(), nullptr);
        EXPECT_EQ(trust->evaluate(), c.status);
        EXPECT_EQ(trust->copyPublicKey() != nullptr, c.status == errSecSuccess);
    }
}

TEST(Key, RSAEncryptsForThePrivateKeyAndRefusesWhatDoesNotFit) {
    for (const unsigned bits : {1024u, 2048u}) {
        SCOPED_TRACE(bits);
        const TestCertificate cert = makeRSACertificate(bits);
        const auto key = trustedKey(cert);
        ASSERT_NE(key, nullptr);
        const std::size_t block = bits / 8;

        // PKCS#1 v1.5 takes up to 11 bytes less than the block, padded at random.
        const Bytes plain(block - 11, 'm');
        Bytes first(block);
        Bytes second(block);
        std::size_t length = 0;
        ASSERT_EQ(key->encrypt(kSecPaddingPKCS1, plain, first, length), errSecSuccess);
        EXPECT_EQ(length, block);
        ASSERT_EQ(key->encrypt(kSecPaddingPKCS1, plain, second, length), errSecSuccess);
        EXPECT_NE(first, second);
        EXPECT_EQ(cert.decrypt(first), plain);
        EXPECT_EQ(cert.decrypt(second), plain);

        // Without padding a whole block below the modulus goes through unchanged in size.
        Bytes raw(block, 'r');
        raw[0] = 0;
        Bytes sealed(block);
        ASSERT_EQ(key->encrypt(kSecPaddingNone, raw, sealed, length), errSecSuccess);
        EXPECT_EQ(cert.decrypt(sealed, kSecPaddingNone), raw);

        Bytes out(block);
        EXPECT_EQ(key->encrypt(kSecPaddingPKCS1, Bytes(block - 10, 'm'), out, length), errSecParam);
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(key->encrypt(kSecPaddingNone, Bytes(block - 1, 'r'), out, length), errSecParam);
        Bytes small(block - 1);
        EXPECT_EQ(key->encrypt(kSecPaddingPKCS1, Bytes(1, 'm'), small, length), errSecParam);
    }
    // Only RSA keys encrypt.
    const auto ec = trustedKey(makeECCertificate());
    ASSERT_NE(ec, nullptr);
    Bytes out(std::max<std::size_t>(ec->blockSize(), 256));
    std::size_t length = 1;
    EXPECT_EQ(ec->encrypt(kSecPaddingPKCS1, Bytes(8, 'm'), out, length), errSecParam);
    EXPECT_EQ(length, 0u);
}

TEST(Random, FillsTheWholeBuffer) {
    Bytes first(1 << 16, 0);
    Bytes second(1 << 16, 0);
    ASSERT_EQ(SecRandomCopyBytes(first), errSecSuccess);
    ASSERT_EQ(SecRandomCopyBytes(second), errSecSuccess);
    EXPECT_NE(first, second);
    // Sixteen zero bytes at the end would mean the tail was never written.
    EXPECT_FALSE(std::all_of(first.end() - 16, first.end(), [](std::uint8_t b) { return b == 0; }));
}

}  // namespace
