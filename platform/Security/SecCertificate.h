#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "Foundation/NSObject.h"

typedef struct x509_st X509;

// An X.509 certificate read from its DER bytes.
class SecCertificate : public NSObject {
  public:
    ~SecCertificate() override;
    // Null when the bytes are not one well-formed DER certificate.
    static std::shared_ptr<SecCertificate> createWithData(std::span<const std::uint8_t> der);

    X509* x509() const { return x509_; }

  private:
    explicit SecCertificate(X509* x509) : x509_(x509) {}
    X509* x509_;
};
