#include "Security/SecCertificate.h"

#include <openssl/x509.h>

#include <climits>

SecCertificate::~SecCertificate() { X509_free(x509_); }

std::shared_ptr<SecCertificate> SecCertificate::createWithData(std::span<const std::uint8_t> der) {
    if (der.empty() || der.size() > LONG_MAX) {
        return nullptr;
    }
    const unsigned char* cursor = der.data();
    X509* x509 = d2i_X509(nullptr, &cursor, static_cast<long>(der.size()));
    if (x509 == nullptr) {
        return nullptr;
    }
    // Trailing bytes mean the input was not a single certificate.
    if (cursor != der.data() + der.size()) {
        X509_free(x509);
        return nullptr;
    }
    return std::shared_ptr<SecCertificate>(new SecCertificate(x509));
}
