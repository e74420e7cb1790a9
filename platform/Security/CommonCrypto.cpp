#include "Security/CommonCrypto.h"

#include <openssl/evp.h>

#include <climits>
#include <memory>

namespace {

struct CipherContextDeleter {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

const EVP_CIPHER* aesCipher(std::size_t keyLength, bool ecb) {
    switch (keyLength) {
        case kCCKeySizeAES128:
            return ecb ? EVP_aes_128_ecb() : EVP_aes_128_cbc();
        case kCCKeySizeAES192:
            return ecb ? EVP_aes_192_ecb() : EVP_aes_192_cbc();
        case kCCKeySizeAES256:
            return ecb ? EVP_aes_256_ecb() : EVP_aes_256_cbc();
        default:
            return nullptr;
    }
}

}  // namespace

CCCryptorStatus CCCrypt(CCOperation op, CCAlgorithm alg, unsigned options,
                        std::span<const std::uint8_t> key, const std::uint8_t* iv,
                        std::span<const std::uint8_t> dataIn, std::span<std::uint8_t> dataOut,
                        std::size_t& dataOutMoved) {
    dataOutMoved = 0;
    if ((op != kCCEncrypt && op != kCCDecrypt) || alg != kCCAlgorithmAES128 ||
        dataIn.size() > INT_MAX - kCCBlockSizeAES128) {
        return kCCParamError;
    }
    const bool ecb = (options & kCCOptionECBMode) != 0;
    const bool padding = (options & kCCOptionPKCS7Padding) != 0;
    const EVP_CIPHER* cipher = aesCipher(key.size(), ecb);
    if (cipher == nullptr) {
        return kCCKeySizeError;
    }
    if (!padding && dataIn.size() % kCCBlockSizeAES128 != 0) {
        return kCCAlignmentError;
    }
    std::size_t needed = dataIn.size();
    if (op == kCCEncrypt && padding) {
        needed = (dataIn.size() / kCCBlockSizeAES128 + 1) * kCCBlockSizeAES128;
    }
    if (dataOut.size() < needed) {
        dataOutMoved = needed;
        return kCCBufferTooSmall;
    }
    const std::uint8_t zeroIv[kCCBlockSizeAES128] = {};
    std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter> ctx(EVP_CIPHER_CTX_new());
    if (!ctx ||
        EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key.data(),
                          ecb ? nullptr : (iv != nullptr ? iv : zeroIv), op == kCCEncrypt) != 1) {
        return kCCParamError;
    }
    EVP_CIPHER_CTX_set_padding(ctx.get(), padding ? 1 : 0);
    int written = 0;
    if (EVP_CipherUpdate(ctx.get(), dataOut.data(), &written, dataIn.data(),
                         static_cast<int>(dataIn.size())) != 1) {
        return kCCDecodeError;
    }
    int finalWritten = 0;
    if (EVP_CipherFinal_ex(ctx.get(), dataOut.data() + written, &finalWritten) != 1) {
        return kCCDecodeError;
    }
    dataOutMoved = static_cast<std::size_t>(written + finalWritten);
    return kCCSuccess;
}

std::uint8_t* CC_MD5(std::span<const std::uint8_t> data, std::uint8_t* md) {
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), md, &length, EVP_md5(), nullptr);
    return md;
}
