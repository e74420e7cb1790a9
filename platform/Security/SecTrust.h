#pragma once

#include <memory>
#include <utility>

#include "Foundation/NSObject.h"
#include "Security/SecBase.h"

class SecCertificate;
class SecKey;
class SecPolicy;

// A certificate to be judged under a policy, and the key it vouches for.
class SecTrust : public NSObject {
  public:
    static OSStatus createWithCertificates(const std::shared_ptr<SecCertificate>& certificate,
                                           const std::shared_ptr<SecPolicy>& policy,
                                           std::shared_ptr<SecTrust>& trust);

    // errSecSuccess when the certificate satisfies the policy.
    OSStatus evaluate();
    // The certificate's public key once evaluation succeeded, else null.
    std::shared_ptr<SecKey> copyPublicKey() const;

  private:
    SecTrust(std::shared_ptr<SecCertificate> certificate, std::shared_ptr<SecPolicy> policy)
        : certificate_(std::move(certificate)), policy_(std::move(policy)) {}

    std::shared_ptr<SecCertificate> certificate_;
    std::shared_ptr<SecPolicy> policy_;
    bool evaluated_ = false;
};
