#pragma once

#include <memory>

#include "Foundation/NSObject.h"

// What a trust evaluation checks. The basic X.509 policy asks for a well-formed certificate
// inside its validity period; there is no store of trusted roots on this platform.
class SecPolicy : public NSObject {
  public:
    static std::shared_ptr<SecPolicy> createBasicX509();

  private:
    SecPolicy() = default;
};
