#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Hex.h"
#include "TempDir.h"
#include "VAvaMD5Addition.h"
#include "VMAES.h"
#include "VMRSA.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::fromHex;
using testsupport::toHex;

Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes aesDecrypt(const Bytes& cipher, const Bytes& key32, const std::uint8_t* iv, bool ecb) {
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> ctx(EVP_CIPHER_CTX_new(),
                                                                   EVP_CIPHER_CTX_free);
    EVP_DecryptInit_ex(ctx.get(), ecb ? EVP_aes_256_ecb() : EVP_aes_256_cbc(), nullptr,
                       key32.data(), iv);
    Bytes out(cipher.size() + 16);
    int n = 0, m = 0;
    EXPECT_EQ(EVP_DecryptUpdate(ctx.get(), out.data(), &n, cipher.data(),
                                static_cast<int>(cipher.size())),
              1);
    EXPECT_EQ(EVP_DecryptFinal_ex(ctx.get(), out.data() + n, &m), 1);
    out.resize(static_cast<std::size_t>(n + m));
    return out;
}

TEST(MD5, KnownDigests) {
    EXPECT_EQ(ma_MD5String("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(ma_MD5String("The quick brown fox jumps over the lazy dog"),
              "9e107d9d372bb6826bd81d3542a419d6");
    EXPECT_EQ(ma_MD5String(std::string_view("")), std::nullopt);
    EXPECT_EQ(ma_MD5String(std::span<const std::uint8_t>()), std::nullopt);
    // A string is digested up to its first zero byte; data is digested whole.
    const std::string withZero("abc\0def", 7);
    EXPECT_EQ(ma_MD5String(withZero), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_NE(ma_MD5String(bytes(withZero)), ma_MD5String(withZero));
    EXPECT_EQ(ma_MD5String(std::string_view("\0abc", 4)), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(AES, KnownAnswerECBWithShortKeyZeroFilled) {
    const Bytes plain(16, 0);
    const auto cipher = VMAES::encryptUsingECBModeForData(plain, bytes("k"));
    ASSERT_TRUE(cipher);
    // A full block of input gains a full block of padding.
    EXPECT_EQ(toHex(*cipher), "6cac22c6fe8eab81e3abb751eb6a7ba80231a4314979d153afcef0c3e58f985a");
}

TEST(AES, KnownAnswerCBCFromTheStandardVectors) {
    // The first block of the published AES-256-CBC vectors; padding adds a second block.
    const Bytes key = fromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    const Bytes iv = fromHex("000102030405060708090a0b0c0d0e0f");
    const Bytes plain = fromHex("6bc1bee22e409f96e93d7e117393172a");
    const auto cipher = VMAES::encryptUsingCBCModeForData(plain, key, iv.data());
    ASSERT_TRUE(cipher);
    ASSERT_EQ(cipher->size(), 32u);
    EXPECT_EQ(toHex(Bytes(cipher->begin(), cipher->begin() + 16)),
              "f58c4c04d6e5f1ba779eabfb5f7bfbd6");
    EXPECT_EQ(aesDecrypt(*cipher, key, iv.data(), false), plain);
}

TEST(AES, KeyLongerThan32BytesUsesTheFirst32AndOddLengthsPad) {
    Bytes longKey(40);
    for (std::size_t i = 0; i < longKey.size(); ++i) longKey[i] = static_cast<std::uint8_t>(i);
    const Bytes key32(longKey.begin(), longKey.begin() + 32);
    const Bytes plain = bytes("seventeen bytes!!");
    const auto cipher = VMAES::encryptUsingECBModeForData(plain, longKey);
    ASSERT_TRUE(cipher);
    EXPECT_EQ(cipher->size(), 32u);
    EXPECT_EQ(cipher, VMAES::encryptUsingECBModeForData(plain, key32));
    EXPECT_EQ(aesDecrypt(*cipher, key32, nullptr, true), plain);
}

TEST(AES, EmptyInputsAndRandomKeys) {
    EXPECT_EQ(VMAES::encryptUsingECBModeForData(bytes("data"), Bytes()), std::nullopt);
    EXPECT_EQ(VMAES::encryptUsingECBModeForData(Bytes(), bytes("key")), std::nullopt);
    const auto a = VMAES::AESKeyWithSize(32);
    const auto b = VMAES::AESKeyWithSize(32);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->size(), 32u);
    EXPECT_NE(*a, *b);
}

// A self-signed certificate made for the test, with its private key kept for decrypting.
struct TestCertificate {
    Bytes der;
    std::shared_ptr<EVP_PKEY> key;
};

TestCertificate makeCertificate(int bits, long notBeforeOffset, long notAfterOffset) {
    std::shared_ptr<EVP_PKEY> key(EVP_RSA_gen(static_cast<unsigned>(bits)), EVP_PKEY_free);
    std::unique_ptr<X509, void (*)(X509*)> cert(X509_new(), X509_free);
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), notBeforeOffset);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), notAfterOffset);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("test"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    X509_sign(cert.get(), key.get(), EVP_sha256());
    unsigned char* der = nullptr;
    const int length = i2d_X509(cert.get(), &der);
    Bytes out(der, der + length);
    OPENSSL_free(der);
    return {out, key};
}

Bytes rsaDecrypt(EVP_PKEY* key, const Bytes& cipher) {
    std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX*)> ctx(EVP_PKEY_CTX_new(key, nullptr),
                                                               EVP_PKEY_CTX_free);
    EVP_PKEY_decrypt_init(ctx.get());
    EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING);
    std::size_t length = 0;
    EVP_PKEY_decrypt(ctx.get(), nullptr, &length, cipher.data(), cipher.size());
    Bytes out(length);
    EXPECT_EQ(EVP_PKEY_decrypt(ctx.get(), out.data(), &length, cipher.data(), cipher.size()), 1);
    out.resize(length);
    return out;
}

class RSATest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        cert1024_ = new TestCertificate(makeCertificate(1024, 0, 86400));
    }
    static void TearDownTestSuite() { delete cert1024_; }
    static TestCertificate* cert1024_;
};
TestCertificate* RSATest::cert1024_ = nullptr;

TEST_F(RSATest, EncryptsUpToTheKeyLimitAndRefusesMore) {
    const auto rsa = VMRSA::create(std::span<const std::uint8_t>(cert1024_->der));
    ASSERT_TRUE(rsa);
    EXPECT_EQ(rsa->maxPlainLen(), 116u);

    const Bytes plain(116, 'x');
    const auto cipher = rsa->encryptWithData(plain);
    ASSERT_TRUE(cipher);
    EXPECT_EQ(cipher->size(), 128u);
    EXPECT_EQ(rsaDecrypt(cert1024_->key.get(), *cipher), plain);

    testing::internal::CaptureStderr();
    EXPECT_EQ(rsa->encryptWithData(Bytes(117, 'x')), std::nullopt);
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                testing::HasSubstr("content(117) is too long, must < 116"));
}

TEST_F(RSATest, StringFormsAndBase64) {
    const auto rsa = VMRSA::create(std::span<const std::uint8_t>(cert1024_->der));
    ASSERT_TRUE(rsa);
    const auto text = rsa->encryptToString("时间 and text");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->size(), 172u);  // 128 bytes in Base64
    EXPECT_EQ(text->find_first_of("\r\n"), std::string::npos);

    EXPECT_EQ(VMRSA::base64forData(Bytes()), "");
    EXPECT_EQ(VMRSA::base64forData(bytes("Man")), "TWFu");
    EXPECT_EQ(VMRSA::base64forData(Bytes{0xfb, 0xff}), "+/8=");
}

TEST_F(RSATest, LoadsFromAFileAndReportsMissingOrBadInput) {
    const testsupport::TempDir temp;
    const auto& dir = temp.path();
    const auto path = dir / "pub.der";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(cert1024_->der.data()),
               static_cast<std::streamsize>(cert1024_->der.size()));
    EXPECT_TRUE(VMRSA::create(path));

    testing::internal::CaptureStderr();
    EXPECT_FALSE(VMRSA::create(std::filesystem::path()));
    EXPECT_FALSE(VMRSA::create(dir / "missing.der"));
    // A directory opens like a file but cannot be read.
    std::filesystem::create_directories(dir / "dir.der");
    EXPECT_FALSE(VMRSA::create(dir / "dir.der"));
    EXPECT_FALSE(VMRSA::create(std::span<const std::uint8_t>()));
    EXPECT_FALSE(VMRSA::create(std::span<const std::uint8_t>(bytes("not a certificate"))));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_THAT(log, testing::HasSubstr("Can not find pub.der"));
    EXPECT_THAT(log, testing::HasSubstr("Can not read from pub.der"));
    EXPECT_THAT(log, testing::HasSubstr("public key data is nil."));
    EXPECT_THAT(log, testing::HasSubstr("Can not read certificate from pub.der"));
}

TEST_F(RSATest, ExpiredCertificateFailsEvaluationSilently) {
    const TestCertificate expired = makeCertificate(1024, -2 * 86400, -86400);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(VMRSA::create(std::span<const std::uint8_t>(expired.der)));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(RSA, LargerKeysGetCipherTextOfTheirOwnSize) {
    const TestCertificate cert = makeCertificate(2048, 0, 86400);
    const auto rsa = VMRSA::create(std::span<const std::uint8_t>(cert.der));
    ASSERT_TRUE(rsa);
    EXPECT_EQ(rsa->maxPlainLen(), 244u);
    const Bytes plain(244, 7);
    const auto cipher = rsa->encryptWithData(plain);
    ASSERT_TRUE(cipher);
    EXPECT_EQ(cipher->size(), 256u);
    EXPECT_EQ(rsaDecrypt(cert.key.get(), *cipher), plain);
}

}  // namespace
