#include "Security/SecTrust.h"

#include <openssl/x509.h>

#include "Security/SecCertificate.h"
#include "Security/SecKey.h"
#include "Security/SecPolicy.h"

OSStatus SecTrust::createWithCertificates(const std::shared_ptr<SecCertificate>& certificate,
                                          const std::shared_ptr<SecPolicy>& policy,
                                          std::shared_ptr<SecTrust>& trust) {
    trust.reset();
    if (!certificate || !policy) {
        return errSecParam;
    }
    trust.reset(new SecTrust(certificate, policy));
    return errSecSuccess;
}

OSStatus SecTrust::evaluate() {
    X509* x509 = certificate_->x509();
    if (X509_cmp_current_time(X509_get0_notBefore(x509)) >= 0 ||
        X509_cmp_current_time(X509_get0_notAfter(x509)) <= 0) {
        evaluated_ = false;
        return errSecCertificateExpired;
    }
    evaluated_ = true;
    return errSecSuccess;
}

std::shared_ptr<SecKey> SecTrust::copyPublicKey() const {
    if (!evaluated_) {
        return nullptr;
    }
    return SecKey::createWithKey(X509_get_pubkey(certificate_->x509()));
}
