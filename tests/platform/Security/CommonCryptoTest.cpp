#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Hex.h"
#include "Security/CommonCrypto.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::fromHex;
using testsupport::toHex;

Bytes bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

struct Crypted {
    CCCryptorStatus status;
    Bytes out;
};

// Runs CCCrypt with an output buffer of outSize bytes (room for input plus a block by default)
// cut to what it reports as moved.
Crypted crypt(CCOperation op, unsigned options, const Bytes& key, const Bytes& in,
              const std::uint8_t* iv = nullptr, std::size_t outSize = SIZE_MAX) {
    Bytes out(outSize == SIZE_MAX ? in.size() + kCCBlockSizeAES128 : outSize);
    std::size_t moved = 0;
    const CCCryptorStatus status =
        CCCrypt(op, kCCAlgorithmAES128, options, key, iv, in, out, moved);
    out.resize(status == kCCSuccess ? moved : 0);
    return {status, out};
}

TEST(MD5, StandardVectors) {
    const struct {
        std::string_view input;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
         "0",
         "57edf4a22be3c955ac49da2e2107b67a"},
        // Data is digested whole, zero bytes included.
        {std::string_view("a\0b", 3), "70350f6027bce3713f6b76473084309b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.input));
        std::uint8_t digest[CC_MD5_DIGEST_LENGTH];
        EXPECT_EQ(CC_MD5(bytes(c.input), digest), digest);
        EXPECT_EQ(toHex(digest), c.digest);
    }
}

TEST(AES, StandardVectorsBothWays) {
    const std::string iv = "000102030405060708090a0b0c0d0e0f";
    const std::string plain = "6bc1bee22e409f96e93d7e117393172a";
    const struct {
        const char* key;
        bool ecb;
        const char* cipher;
    } cases[] = {
        {"2b7e151628aed2a6abf7158809cf4f3c", true, "3ad77bb40d7a3660a89ecaf32466ef97"},
        {"2b7e151628aed2a6abf7158809cf4f3c", false, "7649abac8119b246cee98e9b12e9197d"},
        {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b", false,
         "4f021db243bc633d7178183a9fa071e8"},
        {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4", true,
         "f3eed1bdb5d2a03c064b5a7e3db181f8"},
    };
    const Bytes ivBytes = fromHex(iv);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + (c.ecb ? " ECB" : " CBC"));
        const unsigned options = c.ecb ? unsigned{kCCOptionECBMode} : 0u;
        const Crypted sealed =
            crypt(kCCEncrypt, options, fromHex(c.key), fromHex(plain), ivBytes.data());
        EXPECT_EQ(sealed.status, kCCSuccess);
        EXPECT_EQ(toHex(sealed.out), c.cipher);
        const Crypted opened =
            crypt(kCCDecrypt, options, fromHex(c.key), fromHex(c.cipher), ivBytes.data());
        EXPECT_EQ(opened.status, kCCSuccess);
        EXPECT_EQ(toHex(opened.out), plain);
    }
}

TEST(AES, PaddingFillsUpToTheNextWholeBlock) {
    const Bytes key(kCCKeySizeAES128, 7);
    for (const std::size_t length : {0u, 1u, 15u, 16u, 17u, 100u}) {
        SCOPED_TRACE(length);
        const Bytes plain(length, 'p');
        const Crypted sealed = crypt(kCCEncrypt, kCCOptionPKCS7Padding, key, plain);
        ASSERT_EQ(sealed.status, kCCSuccess);
        const std::size_t pad = kCCBlockSizeAES128 - length % kCCBlockSizeAES128;
        EXPECT_EQ(sealed.out.size(), length + pad);
        EXPECT_EQ(crypt(kCCDecrypt, kCCOptionPKCS7Padding, key, sealed.out).out, plain);
        // Opened without removing the padding, the tail shows it: pad bytes of the value pad.
        Bytes padded = plain;
        padded.insert(padded.end(), pad, static_cast<std::uint8_t>(pad));
        EXPECT_EQ(crypt(kCCDecrypt, 0, key, sealed.out).out, padded);
    }
}

TEST(AES, InitialisationVectors) {
    const Bytes key(kCCKeySizeAES256, 1);
    const Bytes plain(32, 'x');
    const Bytes zeros(kCCBlockSizeAES128, 0);
    const Bytes other(kCCBlockSizeAES128, 9);
    // No vector in CBC mode means zeros; ECB mode takes none.
    EXPECT_EQ(crypt(kCCEncrypt, 0, key, plain).out,
              crypt(kCCEncrypt, 0, key, plain, zeros.data()).out);
    EXPECT_NE(crypt(kCCEncrypt, 0, key, plain).out,
              crypt(kCCEncrypt, 0, key, plain, other.data()).out);
    EXPECT_EQ(crypt(kCCEncrypt, kCCOptionECBMode, key, plain, other.data()).out,
              crypt(kCCEncrypt, kCCOptionECBMode, key, plain).out);
}

TEST(AES, RefusesWhatItCannotDoWithoutWriting) {
    const struct {
        const char* name;
        CCOperation op;
        CCAlgorithm alg;
        unsigned options;
        std::size_t keyLength;
        std::size_t inLength;
        std::size_t outLength;
        CCCryptorStatus status;
        std::size_t moved;
    } cases[] = {
        {"short key", kCCEncrypt, kCCAlgorithmAES128, 0, 15, 16, 32, kCCKeySizeError, 0},
        {"no key", kCCEncrypt, kCCAlgorithmAES128, 0, 0, 16, 32, kCCKeySizeError, 0},
        {"long key", kCCDecrypt, kCCAlgorithmAES128, 0, 33, 16, 32, kCCKeySizeError, 0},
        {"unaligned", kCCEncrypt, kCCAlgorithmAES128, 0, 16, 17, 32, kCCAlignmentError, 0},
        {"room for the input only", kCCEncrypt, kCCAlgorithmAES128, kCCOptionPKCS7Padding, 16, 16,
         31, kCCBufferTooSmall, 32},
        {"empty input still pads", kCCEncrypt, kCCAlgorithmAES128, kCCOptionPKCS7Padding, 16, 0, 0,
         kCCBufferTooSmall, 16},
        {"decrypting into less", kCCDecrypt, kCCAlgorithmAES128, kCCOptionPKCS7Padding, 16, 32, 16,
         kCCBufferTooSmall, 32},
        {"unknown algorithm", kCCEncrypt, static_cast<CCAlgorithm>(7), 0, 16, 16, 32, kCCParamError,
         0},
        {"unknown operation", static_cast<CCOperation>(2), kCCAlgorithmAES128, 0, 16, 16, 32,
         kCCParamError, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes key(c.keyLength, 3);
        const Bytes in(c.inLength, 4);
        Bytes out(c.outLength, 0xAA);
        std::size_t moved = 99;
        EXPECT_EQ(CCCrypt(c.op, c.alg, c.options, key, nullptr, in, out, moved), c.status);
        EXPECT_EQ(moved, c.moved);
        EXPECT_EQ(out, Bytes(c.outLength, 0xAA));
    }
}

TEST(AES, DamagedCipherTextDoesNotDecrypt) {
    const Bytes key(kCCKeySizeAES128, 5);
    // A last block whose final byte is 0 is no valid padding.
    Bytes block(kCCBlockSizeAES128, 'b');
    block.back() = 0;
    const Bytes badPadding = crypt(kCCEncrypt, kCCOptionECBMode, key, block).out;
    EXPECT_EQ(crypt(kCCDecrypt, kCCOptionECBMode | kCCOptionPKCS7Padding, key, badPadding).status,
              kCCDecodeError);
    const Bytes sealed = crypt(kCCEncrypt, kCCOptionPKCS7Padding, key, bytes("sealed")).out;
    const Bytes cut(sealed.begin(), sealed.end() - 1);
    EXPECT_EQ(crypt(kCCDecrypt, kCCOptionPKCS7Padding, key, cut).status, kCCDecodeError);
}

}  // namespace
