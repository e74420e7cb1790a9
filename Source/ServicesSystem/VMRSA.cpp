#include "VMRSA.h"

#include <fstream>

#include "Foundation/NSLog.h"
#include "Security/SecCertificate.h"
#include "Security/SecKey.h"
#include "Security/SecPolicy.h"
#include "Security/SecTrust.h"
#include "VMBase64.h"

std::shared_ptr<VMRSA> VMRSA::create(std::span<const std::uint8_t> publicKeyData) {
    if (publicKeyData.empty()) {
        NSLog("public key data is nil.");
        return nullptr;
    }
    std::shared_ptr<VMRSA> rsa(new VMRSA());
    rsa->certificate_ = SecCertificate::createWithData(publicKeyData);
    if (!rsa->certificate_) {
        NSLog("Can not read certificate from pub.der");
        return nullptr;
    }
    rsa->policy_ = SecPolicy::createBasicX509();
    const OSStatus status =
        SecTrust::createWithCertificates(rsa->certificate_, rsa->policy_, rsa->trust_);
    if (status != errSecSuccess) {
        NSLog("SecTrustCreateWithCertificates fail. Error Code: %ld", static_cast<long>(status));
        return nullptr;
    }
    if (rsa->trust_->evaluate() != errSecSuccess) {
        return nullptr;
    }
    rsa->publicKey_ = rsa->trust_->copyPublicKey();
    if (!rsa->publicKey_) {
        NSLog("SecTrustCopyPublicKey fail");
        return nullptr;
    }
    const std::size_t block = rsa->publicKey_->blockSize();
    rsa->maxPlainLen_ = block > 12 ? block - 12 : 0;
    return rsa;
}

std::shared_ptr<VMRSA> VMRSA::create(const std::filesystem::path& publicKeyPath) {
    if (publicKeyPath.empty()) {
        NSLog("Can not find pub.der");
        return nullptr;
    }
    std::ifstream in(publicKeyPath, std::ios::binary);
    if (!in) {
        NSLog("Can not read from pub.der");
        return nullptr;
    }
    // Read through the stream, not its buffer: a read error (a directory opens like a file)
    // then sets badbit instead of throwing.
    std::vector<std::uint8_t> bytes;
    char chunk[4096];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    }
    if (in.bad()) {
        NSLog("Can not read from pub.der");
        return nullptr;
    }
    return create(std::span<const std::uint8_t>(bytes));
}

std::optional<std::vector<std::uint8_t>> VMRSA::encryptWithData(
    std::span<const std::uint8_t> data) const {
    if (data.size() > maxPlainLen_) {
        NSLog("content(%ld) is too long, must < %ld", static_cast<long>(data.size()),
              static_cast<long>(maxPlainLen_));
        return std::nullopt;
    }
    // Sized by the key rather than a fixed 128 bytes, so larger keys cannot overflow it.
    std::vector<std::uint8_t> cipher(publicKey_->blockSize());
    std::size_t length = 0;
    const OSStatus status = publicKey_->encrypt(kSecPaddingPKCS1, data, cipher, length);
    if (status != errSecSuccess) {
        NSLog("SecKeyEncrypt fail. Error Code: %ld", static_cast<long>(status));
        return std::nullopt;
    }
    cipher.resize(length);
    return cipher;
}

std::optional<std::vector<std::uint8_t>> VMRSA::encryptWithString(std::string_view text) const {
    return encryptWithData(
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::optional<std::string> VMRSA::encryptToString(std::string_view text) const {
    auto cipher = encryptWithString(text);
    if (!cipher) {
        return std::nullopt;
    }
    return base64forData(*cipher);
}

std::string VMRSA::base64forData(std::span<const std::uint8_t> data) {
    return mabase64EncodedString(data).value_or(std::string());
}
