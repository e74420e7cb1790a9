#include "TestCertificate.h"

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <stdexcept>

namespace {

std::shared_ptr<EVP_PKEY> owned(EVP_PKEY* key) {
    if (key == nullptr) throw std::runtime_error("key generation failed");
    return {key, EVP_PKEY_free};
}

TestCertificate selfSigned(std::shared_ptr<EVP_PKEY> key, long notBefore, long notAfter) {
    std::unique_ptr<X509, void (*)(X509*)> cert(X509_new(), X509_free);
    X509_NAME* name = cert ? X509_get_subject_name(cert.get()) : nullptr;
    const bool made = name != nullptr && X509_set_version(cert.get(), 2) == 1 &&
                      ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1) == 1 &&
                      X509_gmtime_adj(X509_getm_notBefore(cert.get()), notBefore) != nullptr &&
                      X509_gmtime_adj(X509_getm_notAfter(cert.get()), notAfter) != nullptr &&
                      X509_set_pubkey(cert.get(), key.get()) == 1 &&
                      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                                 reinterpret_cast<const unsigned char*>("test"), -1,
                                                 -1, 0) == 1 &&
                      X509_set_issuer_name(cert.get(), name) == 1 &&
                      X509_sign(cert.get(), key.get(), EVP_sha256()) > 0;
    unsigned char* der = nullptr;
    const int length = made ? i2d_X509(cert.get(), &der) : -1;
    if (length <= 0) throw std::runtime_error("certificate could not be made");
    TestCertificate out{{der, der + length}, std::move(key)};
    OPENSSL_free(der);
    return out;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> TestCertificate::decrypt(
    std::span<const std::uint8_t> cipher, SecPadding padding) const {
    std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX*)> ctx(EVP_PKEY_CTX_new(key.get(), nullptr),
                                                               EVP_PKEY_CTX_free);
    std::size_t length = 0;
    if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(
            ctx.get(), padding == kSecPaddingPKCS1 ? RSA_PKCS1_PADDING : RSA_NO_PADDING) != 1 ||
        EVP_PKEY_decrypt(ctx.get(), nullptr, &length, cipher.data(), cipher.size()) != 1) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out(length);
    if (EVP_PKEY_decrypt(ctx.get(), out.data(), &length, cipher.data(), cipher.size()) != 1) {
        return std::nullopt;
    }
    out.resize(length);
    return out;
}

TestCertificate makeRSACertificate(unsigned bits, long notBefore, long notAfter) {
    return selfSigned(owned(EVP_RSA_gen(bits)), notBefore, notAfter);
}

TestCertificate makeECCertificate() { return selfSigned(owned(EVP_EC_gen("P-256")), 0, 86400); }
