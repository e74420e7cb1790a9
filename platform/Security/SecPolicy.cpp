#include "Security/SecPolicy.h"

std::shared_ptr<SecPolicy> SecPolicy::createBasicX509() {
    return std::shared_ptr<SecPolicy>(new SecPolicy());
}
