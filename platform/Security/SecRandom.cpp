#include "Security/SecRandom.h"

#include <openssl/rand.h>

#include <climits>

OSStatus SecRandomCopyBytes(std::span<std::uint8_t> bytes) {
    if (bytes.size() > INT_MAX) {
        return errSecParam;
    }
    if (bytes.empty()) {
        return errSecSuccess;
    }
    return RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) == 1 ? errSecSuccess
                                                                         : errSecInternalComponent;
}
