#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "Security/CommonCrypto.h"
#include "TempDir.h"
#include "TestCertificate.h"
#include "VAvaMD5Addition.h"
#include "VMAES.h"
#include "VMRSA.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The platform's AES with PKCS#7 padding, against which the wrapper's choices are checked.
Bytes platformAES(CCOperation op, const Bytes& data, const Bytes& key32, const std::uint8_t* iv,
                  bool ecb) {
    Bytes out(data.size() + kCCBlockSizeAES128);
    std::size_t moved = 0;
    const unsigned options = kCCOptionPKCS7Padding | (ecb ? unsigned{kCCOptionECBMode} : 0u);
    EXPECT_EQ(CCCrypt(op, kCCAlgorithmAES128, options, key32, iv, data, out, moved), kCCSuccess);
    out.resize(moved);
    return out;
}

TEST(MD5String, KnownDigests) {
    EXPECT_EQ(vm_MD5String(std::string_view("")), std::nullopt);
    EXPECT_EQ(vm_MD5String(std::span<const std::uint8_t>()), std::nullopt);
    // A string is digested up to its first zero byte; data is digested whole.
    const std::string withZero("abc\0def", 7);
    EXPECT_EQ(vm_MD5String(withZero), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_NE(vm_MD5String(bytes(withZero)), vm_MD5String(withZero));
    EXPECT_EQ(vm_MD5String(std::string_view("\0abc", 4)), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(VMAES, KeysAreZeroFilledOrCutTo32BytesCBCUsesTheGivenVectorAndEmptyInputsGiveNothing) {
    Bytes shortKey32(32, 0);
    shortKey32[0] = 'k';
    // A full block of input gains a full block of padding.
    const auto zeroFilled = VMAES::encryptUsingECBModeForData(Bytes(16, 0), bytes("k"));
    ASSERT_TRUE(zeroFilled);
    EXPECT_EQ(*zeroFilled, platformAES(kCCEncrypt, Bytes(16, 0), shortKey32, nullptr, true));
    EXPECT_EQ(zeroFilled->size(), 32u);

    Bytes longKey(40);
    for (std::size_t i = 0; i < longKey.size(); ++i) longKey[i] = static_cast<std::uint8_t>(i);
    const Bytes key32(longKey.begin(), longKey.begin() + 32);
    const Bytes odd = bytes("seventeen bytes!!");
    const auto cut = VMAES::encryptUsingECBModeForData(odd, longKey);
    ASSERT_TRUE(cut);
    EXPECT_EQ(platformAES(kCCDecrypt, *cut, key32, nullptr, true), odd);

    const Bytes iv(16, 0x01);
    const auto cbc = VMAES::encryptUsingCBCModeForData(odd, key32, iv.data());
    ASSERT_TRUE(cbc);
    EXPECT_EQ(*cbc, platformAES(kCCEncrypt, odd, key32, iv.data(), false));

    EXPECT_EQ(VMAES::encryptUsingECBModeForData(bytes("data"), Bytes()), std::nullopt);
    EXPECT_EQ(VMAES::encryptUsingECBModeForData(Bytes(), bytes("key")), std::nullopt);
    const auto a = VMAES::AESKeyWithSize(32);
    const auto b = VMAES::AESKeyWithSize(32);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->size(), 32u);
    EXPECT_NE(*a, *b);
}

class RSATest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { cert1024_ = new TestCertificate(makeRSACertificate(1024)); }
    static void TearDownTestSuite() { delete cert1024_; }
    static TestCertificate* cert1024_;
};
TestCertificate* RSATest::cert1024_ = nullptr;

TEST_F(RSATest, EncryptsUpToTheKeyLimitAndRefusesMore) {
    const TestCertificate cert2048 = makeRSACertificate(2048);
    using Case = std::pair<const TestCertificate*, std::size_t>;
    for (const auto& [cert, limit] : {Case{cert1024_, 116}, Case{&cert2048, 244}}) {
        SCOPED_TRACE(limit);
        const auto rsa = VMRSA::create(std::span<const std::uint8_t>(cert->der));
        ASSERT_TRUE(rsa);
        EXPECT_EQ(rsa->maxPlainLen(), limit);
        const Bytes plain(limit, 'x');
        const auto cipher = rsa->encryptWithData(plain);
        ASSERT_TRUE(cipher);
        EXPECT_EQ(cipher->size(), limit + 12);
        EXPECT_EQ(cert->decrypt(*cipher), plain);
    }
    const auto rsa = VMRSA::create(std::span<const std::uint8_t>(cert1024_->der));
    testsupport::LogCapture log;
    EXPECT_EQ(rsa->encryptWithData(Bytes(117, 'x')), std::nullopt);
    EXPECT_TRUE(log.contains("content(117) is too long, must < 116"));
}

TEST_F(RSATest, StringFormsAndBase64) {
    const auto text = VMRSA::create(std::span<const std::uint8_t>(cert1024_->der))
                          ->encryptToString("时间 and text");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->size(), 172u);  // 128 bytes in Base64
    EXPECT_EQ(text->find_first_of("\r\n"), std::string::npos);

    EXPECT_EQ(VMRSA::base64forData(Bytes()), "");
    EXPECT_EQ(VMRSA::base64forData(Bytes{0xfb, 0xff}), "+/8=");
}

TEST_F(RSATest, LoadsFromAFileAndReportsMissingOrBadInputButNotAnExpiredCertificate) {
    const testsupport::TempDir temp;
    const auto& dir = temp.path();
    const auto path = dir / "pub.der";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(cert1024_->der.data()),
               static_cast<std::streamsize>(cert1024_->der.size()));
    EXPECT_TRUE(VMRSA::create(path));

    testsupport::LogCapture log;
    EXPECT_FALSE(VMRSA::create(std::filesystem::path()));
    EXPECT_FALSE(VMRSA::create(dir / "missing.der"));
    // A directory opens like a file but cannot be read.
    std::filesystem::create_directories(dir / "dir.der");
    EXPECT_FALSE(VMRSA::create(dir / "dir.der"));
    EXPECT_FALSE(VMRSA::create(std::span<const std::uint8_t>()));
    EXPECT_FALSE(VMRSA::create(std::span<const std::uint8_t>(bytes("not a certificate"))));
    for (const char* line : {"Can not find pub.der", "Can not read from pub.der",
                             "public key data is nil.", "Can not read certificate from pub.der"}) {
        EXPECT_TRUE(log.contains(line)) << line;
    }
    const auto lines = log.lines().size();
    // An expired certificate fails its evaluation silently.
    const TestCertificate expired = makeRSACertificate(1024, -2 * 86400, -86400);
    EXPECT_FALSE(VMRSA::create(std::span<const std::uint8_t>(expired.der)));
    EXPECT_EQ(log.lines().size(), lines);
}

}  // namespace
